// The photograph under `orient`'s plot (its keypoint and camera files are read by
// pair_run/input_files.h). Every failure comes back as a message naming the file and the
// reason.
#pragma once

#include <cstddef>
#include <string>
#include <variant>

#include "orient/plot_svg.h"

namespace orient {

// Largest photograph embedded in a plot.
inline constexpr std::size_t kMaxPhotographBytes = std::size_t{256} << 20;

// A PNG or JPEG photograph for the plot ("-": standard input), or why it cannot be used
// ("FILE: cannot open: reason", "FILE: not a PNG or JPEG photograph").
std::variant<PlotPhotograph, std::string> ReadPhotograph(const std::string& file);

}  // namespace orient
