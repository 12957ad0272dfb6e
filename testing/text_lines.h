// Splitting a program's text output into lines, for tests that compare it line by line.
#pragma once

#include <string>
#include <vector>

namespace test_support {

// The lines of `text` without their line feeds; a last line without its line feed counts
// too, and a text ending in a line feed has no empty last line.
std::vector<std::string> Lines(const std::string& text);

}  // namespace test_support
