// Keypoints and keypoint files made for tests, benchmarks and fuzz seeds: SIFT-like and
// uniform descriptors, lists with planted near-duplicates, the usual file layout, and
// random damage of the kinds that files from other tools and from people show.
// Everything is deterministic for a seed.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "keypoints/keypoint.h"

namespace scene {

// One keypoint with double-precision properties, as a generator makes it before it is
// written to a file (a file holds the decimal text, not the floats of KeypointSt).
struct KeyRecord {
    double row = 0.0;
    double col = 0.0;
    double scale = 0.0;
    double ori = 0.0;
    std::vector<int> descrip;
};

// A SIFT-like descriptor of `dims` values: sparse, non-negative, each component clipped at
// 0.2 of the norm and scaled to 0..255.
std::vector<int> SiftLikeDescriptor(std::mt19937& rng, int dims);

// `d` with every value moved by up to `amount` either way, kept in 0..255.
std::vector<int> Perturbed(const std::vector<int>& d, std::mt19937& rng, int amount = 3);

// The keypoint file text of `keys` in the usual layout: the header "count dims", then per
// keypoint "%.2f %.2f %.2f %.3f" (row, column, scale, orientation) and the descriptor
// values in lines of 20, each line starting with a blank.
std::string KeyFileText(const std::vector<KeyRecord>& keys, int dims);

// The keypoints as `relative` holds them (single-precision properties).
keypoints::KeypointList ToKeypointList(const std::vector<KeyRecord>& keys);

// `n` keypoints of `dims` values drawn uniformly from [lo, hi]; row i, column i / 2 + 1.
keypoints::KeypointList UniformKeys(int n, int dims, int lo, int hi, unsigned seed);

// `n` keypoints with SIFT-like descriptors, at random positions of a 3000 x 2000 frame
// with random scales and orientations; as a list, and as the text of a keypoint file.
std::vector<KeyRecord> SiftLikeRecords(int n, int dims, unsigned seed);
keypoints::KeypointList SiftLikeKeys(int n, int dims, unsigned seed);
std::string SiftLikeKeyFile(int n, int dims, unsigned seed);

// A second list of `n` uniform keypoints that holds perturbed copies of some keys of
// `first`, exact duplicates and near-duplicates next to each other (so that distances tie),
// and unrelated keys.
keypoints::KeypointList RelatedKeys(const keypoints::KeypointList& first, int n, int lo, int hi,
                                    unsigned seed);

// A valid keypoint file of `count` keypoints of `dims` values (0..255), from `seed`.
// `shift` moves every position (so a second photograph can match the first).
std::string MakeKeyFile(int count, int dims, std::uint32_t seed, float shift = 0.0f);

// Applies one to three damages to `text`: cuts, stray words and bytes, NUL bytes, huge and
// negative numbers, very long lines, CR LF line ends, empty files, lying headers. The same
// seed gives the same result. *what receives a short description, for failure messages.
std::string MutateKeyFile(const std::string& text, std::uint32_t seed, std::string* what);

}  // namespace scene
