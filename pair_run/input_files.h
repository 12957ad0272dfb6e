// The keypoint and camera files of a pair, read as `relative` reads keypoint files. Every
// failure comes back as a message naming the file and the reason.
#pragma once

#include <cstddef>
#include <string>
#include <variant>
#include <vector>

#include "camera/camera_model.h"
#include "keypoints/keypoint.h"

namespace pair_run {

// Largest camera file read; anything longer is not a camera file.
inline constexpr std::size_t kMaxCameraFileBytes = std::size_t{1} << 20;

struct KeypointFile {
    std::string file;
    keypoints::KeypointList keys;
    int dimensions = 0;  // the descriptor length of the header
};

// Reads `key_file.file` ("-": standard input) into `key_file`; empty when it was read and
// parsed, else e.g. "img1.key: cannot open: No such file or directory" or "img2.key: Invalid
// keypoint file format.".
std::string ReadKeypointFile(KeypointFile& key_file);

// Reads both keypoint files, each on a thread of its own. On success returns no messages;
// otherwise one message per file that could not be read or parsed, file 1 first.
std::vector<std::string> ReadKeypointFiles(KeypointFile& first, KeypointFile& second);

// Why two keypoint files cannot be matched ("cannot match descriptors of different lengths:
// ..."), empty when they can.
std::string DescriptorMismatch(const KeypointFile& first, const KeypointFile& second);

// The camera of a camera file ("-": standard input), or why it cannot be used: "FILE:
// cannot open: reason", "FILE:LINE: reason" for a refused line; standard input is named
// "standard input".
std::variant<ro::Camera, std::string> ReadCameraFile(const std::string& file);

}  // namespace pair_run
