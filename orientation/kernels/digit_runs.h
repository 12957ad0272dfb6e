// Interface of the vector digit-run converter used by the streaming keypoint reader.
// Raw pointers only, so the kernel file shares no inline code with the rest.
#pragma once

#include <cstdint>

namespace fastmatch {

// Converts the digit runs of the 64 bytes at p into out[0..n), in order, and returns n.
// `digits` marks the digit bytes to use, `ends` the last byte of each run; every run is
// 1 to 3 digits long, is preceded (inside the window) by a non-digit or starts at p[0],
// and out has room for popcount(ends) values. Needs AVX-512 BW, VBMI and VBMI2.
int ConvertShortRunsAvx512(const char* p, std::uint64_t digits, std::uint64_t ends, int* out);

}  // namespace fastmatch
