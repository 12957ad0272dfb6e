// Output files written completely or not at all.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace orient {

// Writes `text` to `stream` and flushes it. Empty on success, else the reason
// (e.g. "No space left on device").
std::string WriteStream(std::FILE* stream, std::string_view text);

// Writes `text` to the file `path`; "-" is standard output. A regular file (or a file
// still to be made) is written to a temporary file in the same folder, which replaces
// `path` only once it is complete and closed: a failed write leaves `path` as it was.
// Other files (devices such as /dev/null, pipes, /dev/stdout) are written in place.
// Empty on success, else "PATH: reason".
std::string WriteOutput(const std::string& path, std::string_view text);

}  // namespace orient
