// The keypoint text format, and writing a file so that it is either complete or absent.
//
// FormatKeyFile writes the header "count 128", then per keypoint one line
// "row column scale orientation" (two, two, two and three decimals) followed by the 128
// descriptor values in lines of 20, each value after a blank:
//
//   2 128
//   120.52 330.17 2.41 -1.203
//    0 12 255 7 ... (20 values)
//   ...
//
// Numbers are written without the locale (always a decimal point, never "-0.00").
// Orientations lie in (-pi, pi] also after rounding: a value that would be written as
// 3.142 or -3.142 is written as 3.141.
#pragma once

#include <string>
#include <vector>

#include "siftkey/detector.h"

namespace siftkey {

std::string FormatKeyFile(const std::vector<SiftKeypoint>& keys);

// `value` with `decimals` decimals (0 to 6), rounded half away from zero, without a minus
// sign when the written value is zero. `value` must be finite and below 1e12 in magnitude.
std::string FormatFixed(double value, int decimals);

// Writes `text` to `path`. A regular file (existing or new) is written under a temporary
// name in the same folder, flushed to disk and renamed over `path`, so `path` never holds
// a partial text; on failure the temporary file is removed and an existing file is left
// as it was. An existing file keeps its permissions, a new one gets 0666 less the umask. A
// symbolic link is followed. A device or pipe (e.g. /dev/stdout) is written directly. A
// folder is refused. Returns an empty string on success, else the reason (strerror text).
std::string WriteWholeFile(const std::string& path, const std::string& text);

}  // namespace siftkey
