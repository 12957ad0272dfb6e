// The scan of descriptor values used by the streaming keypoint reader: a portable window
// scan and a vector converter for whole windows of short digit runs.
// Raw pointers only, so the kernel file shares no inline code with the rest.
#pragma once

#include <cstddef>
#include <cstdint>

namespace keypoints::kernels {

// Bytes a window scan needs from p on: the 64-byte window and an 8-byte load that may
// start at its last byte.
inline constexpr std::size_t kWindowBytes = 64 + 8;

// Converts the short digit runs of one 64-byte window at once (see below).
using RunConverter = int (*)(const char* p, std::uint64_t digits, std::uint64_t ends, int* out);

// The vector converter this CPU runs, or nullptr.
RunConverter VectorRunConverter();

// How many of the 8 bytes at p are leading decimal digits (8 when all are).
int LeadingDigitCount(const char* p);

// One window of descriptor values at p (kWindowBytes readable): converts the plain digit
// runs (fewer than 8 digits, ended inside the window) that come before any byte that is
// neither digit nor space, in order, into out[*done..count), advancing *done; with
// `convert` when its conditions hold, else one run at a time. Returns where it stopped,
// relative to p: after the last value when all `count` are read, else at a run or byte
// that the next window or the full integer rules must take, or 64 when the rest of the
// window was spaces. A run may start at p[0] itself.
std::size_t ScanDigitWindow(const char* p, int* out, int count, int* done, RunConverter convert);

// Converts the digit runs of the 64 bytes at p into out[0..n), in order, and returns n.
// `digits` marks the digit bytes to use, `ends` the last byte of each run; every run is
// 1 to 3 digits long, is preceded (inside the window) by a non-digit or starts at p[0],
// and out has room for popcount(ends) values. Needs AVX-512 BW, VBMI and VBMI2.
int ConvertShortRunsAvx512(const char* p, std::uint64_t digits, std::uint64_t ends, int* out);

}  // namespace keypoints::kernels
