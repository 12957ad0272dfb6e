// The input files of `orient`: two keypoint files, read as `relative` reads them, and
// camera files. Every failure comes back as a message naming the file and the reason.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "camera/camera_model.h"
#include "keypoints/keypoint.h"
#include "orient/plot_svg.h"

namespace orient {

// Largest camera file read; anything longer is not a camera file.
inline constexpr std::size_t kMaxCameraFileBytes = std::size_t{1} << 20;
// Largest photograph embedded in a plot.
inline constexpr std::size_t kMaxPhotographBytes = std::size_t{256} << 20;

struct KeypointFile {
    std::string file;
    keypoints::KeypointList keys;
    int dimensions = 0;  // the descriptor length of the header
};

// Reads both keypoint files, each on a thread of its own. On success returns no messages;
// otherwise one message per file that could not be read or parsed, e.g.
// "img1.key: cannot open: No such file or directory" or "img2.key: Invalid keypoint file
// format.", file 1 first.
std::vector<std::string> ReadKeypointFiles(KeypointFile& first, KeypointFile& second);

// The camera of a camera file ("-": standard input), or why it cannot be used: "FILE:
// cannot open: reason", "FILE:LINE: reason" for a refused line; standard input is named
// "standard input".
std::variant<ro::Camera, std::string> ReadCameraFile(const std::string& file);

// A PNG or JPEG photograph for the plot ("-": standard input), or why it cannot be used
// ("FILE: cannot open: reason", "FILE: not a PNG or JPEG photograph").
std::variant<PlotPhotograph, std::string> ReadPhotograph(const std::string& file);

}  // namespace orient
