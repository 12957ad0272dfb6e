// The core's 8-bit multiply-add peak, measured the same way as the kernels are run.
#pragma once

#include <cstdint>

// Runs `rounds` rounds of 16 independent zmm vpdpbusd and returns a value that depends on
// all of them. Needs AVX-512 VNNI; each round is 16 * 64 = 1024 multiply-adds.
std::int64_t VpdpbusdPeakLoop(std::int64_t rounds);
