// A plain model of featsheet's conversion, for checking the real one: the whole text read
// with strtol / strtof (an int outside the int range is no number), every field written
// with snprintf. Used by the featsheet fuzz target and the end-to-end robustness tests.
#pragma once

#include <string>

namespace test_support {

struct FeatsheetModel {
    bool ok = true;   // every announced entry converted
    std::string csv;  // the lines of the entries converted before any failure
};

// `text` is the file's content; an embedded NUL ends the readable text.
FeatsheetModel ConvertLikeFeatsheet(const std::string& text);

}  // namespace test_support
