// What the SVG plot draws and where, apart from the drawing itself: the frame and the
// extent, which tie points are drawn when there are too many to read, how much the
// y-parallax vectors are enlarged and where they are cut at the frame, and the wording of
// counts and warnings.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "pair_run/run_info.h"
#include "robust_orientation/result.h"

namespace orient {

struct PlotPhotograph;

// At most this many inliers are drawn (with their vectors), and at most this many tie points
// of each rejected kind; beyond it, that many spread evenly over the frame.
inline constexpr std::size_t kMaxDrawnInliers = 2000;
inline constexpr std::size_t kMaxDrawnRejected = 1000;

// The largest drawn y-parallax vector is at most this share of the frame's height, and the
// RMS y-parallax is drawn as at most kParallaxRmsShare of its width.
inline constexpr double kParallaxLargestShare = 0.2;
inline constexpr double kParallaxRmsShare = 0.03;

// An extent in pixels of photograph 1.
struct Box {
    double x0 = 0.0;
    double y0 = 0.0;
    double x1 = 0.0;
    double y1 = 0.0;
    double Width() const { return x1 - x0; }
    double Height() const { return y1 - y0; }
    bool Holds(double x, double y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

// The frame of photograph 1: the photograph's, else centred on camera 1's principal point.
Box FrameOf(const pair_run::RunInfo& run, const PlotPhotograph* photograph);

// The frame grown to hold every finite point of photograph 1 as well.
Box ExtentOf(const Box& frame, const ro::OrientationResult& result);

// The indices (into result.points) of the finite points of `status`: all of them when
// there are at most `limit`, else `limit` of them spread evenly over `extent` (the first
// point of every cell of a grid of about `limit` cells, then the second, ...), in the
// order of the points.
std::vector<std::size_t> PointsToDraw(const ro::OrientationResult& result, ro::PointStatus status,
                                      std::size_t limit, const Box& extent);

// Drawing pixels per pixel of y-parallax: a round 1, 1.5, 2, 3, 4 or 5 times a power of ten at
// which the RMS y-parallax of the inliers is kParallaxRmsShare of the frame's width and the largest
// of the `drawn` points is at most kParallaxLargestShare of its height; 0 when no drawn
// point has a finite y-parallax other than zero.
double ParallaxScale(const ro::OrientationResult& result, const std::vector<std::size_t>& drawn,
                     const Box& frame);

// The vector of a point at `scale`, from the point upwards for a positive y-parallax, cut
// at the frame; nothing for a point outside the frame or without a finite y-parallax.
struct ParallaxVector {
    double x = 0.0;
    double y_from = 0.0;
    double y_to = 0.0;
    bool cut = false;  // the vector reached beyond the frame
};
std::optional<ParallaxVector> VectorOf(const ro::PointResult& point, double scale,
                                       const Box& frame);

// "1 inlier", "2 inliers": `count` and the noun, plural by an added "s".
std::string Counted(std::size_t count, const std::string& noun);

// A warning in a line: its message up to the first ": " (the finding, without the advice),
// then its code in brackets.
std::string WarningLine(const ro::Warning& warning);

// `line` broken at spaces into lines of at most `width` characters (a longer word stays whole).
std::vector<std::string> Wrapped(const std::string& line, std::size_t width);

}  // namespace orient
