// Random damage to keypoint files, of the kinds that files from other tools and from
// people show: cuts, stray words and bytes, NUL bytes, huge and negative numbers, very
// long lines, CR LF line ends, empty files, lying headers. Deterministic for a seed.
#pragma once

#include <cstdint>
#include <random>
#include <string>

// Applies one to three damages to `text`; the same seed gives the same result. *what
// receives a short description of the damages, for failure messages.
std::string MutateKeyFile(const std::string& text, std::uint32_t seed, std::string* what);

// A valid keypoint file of `count` keypoints of `dims` values (0..255), from `seed`.
// `shift` moves every position (so a second photograph can match the first).
std::string MakeKeyFile(int count, int dims, std::uint32_t seed, float shift = 0.0f);
