// The keypoint text format.
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

}  // namespace siftkey
