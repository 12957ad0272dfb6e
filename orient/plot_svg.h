// The plot of an orientation as a plain, self-contained SVG: the frame of photograph 1
// (or the photograph itself, embedded), the tie points as marks of a colour and a shape per
// status with a white outline (at most a spread selection of them when there are many,
// plot_layout.h), the y-parallax of every drawn inlier as an enlarged vector cut at the
// frame, the von Gruber regions with their inlier counts on boxes over the points, and a
// caption with sigma0, the five elements with their standard deviations (for a refused run
// the reason instead), every warning and a legend of every kind of mark drawn. Text is
// escaped so that any file name gives well-formed XML. One SVG unit is one pixel of
// photograph 1; the centre of its top-left pixel is at (0, 0).
#pragma once

#include <string>

#include "image/image_header.h"
#include "pair_run/run_info.h"
#include "robust_orientation/result.h"

namespace orient {

// Colours of the three kinds of tie point and of the y-parallax vectors.
inline constexpr char kInlierColour[] = "#1a9850";
inline constexpr char kRansacOutlierColour[] = "#d73027";
inline constexpr char kSnoopedColour[] = "#e66101";
inline constexpr char kParallaxColour[] = "#2166ac";

// The largest side of a photograph drawn under the plot, in pixels.
inline constexpr int kMaxPlotSide = 1000000;

// A photograph to draw under the points: its file's bytes and what its header says.
struct PlotPhotograph {
    std::string bytes;
    image::ImageHeader header;  // a PNG or JPEG of at most kMaxPlotSide pixels per side
};

// The SVG. Without a photograph the frame is the one centred on camera 1's principal point.
std::string PlotSvg(const ro::OrientationResult& result, const pair_run::RunInfo& run,
                    const PlotPhotograph* photograph);

}  // namespace orient
