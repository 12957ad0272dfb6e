// What the SVG plot draws and where.
#include "orient/plot_layout.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "orient/plot_svg.h"
#include "orient/text_format.h"

namespace orient {
namespace {

bool IsFinitePoint(const ro::PointResult& p) {
    return std::isfinite(p.col1_px) && std::isfinite(p.row1_px);
}

// A step through 0 .. n-1 that visits every index once and jumps far between neighbours:
// near n times the golden section, prime to n.
std::size_t ScatterStep(std::size_t n) {
    std::size_t step = std::max<std::size_t>(1, static_cast<std::size_t>(0.618 * n));
    while (std::gcd(step, n) != 1) ++step;
    return step;
}

}  // namespace

Box FrameOf(const pair_run::RunInfo& run, const PlotPhotograph* photograph) {
    if (photograph != nullptr) {
        return {-0.5, -0.5, photograph->header.width - 0.5, photograph->header.height - 0.5};
    }
    const ro::Camera& c = run.camera1.camera;
    return {-0.5, -0.5, 2.0 * c.principal_column_px + 0.5, 2.0 * c.principal_row_px + 0.5};
}

Box ExtentOf(const Box& frame, const ro::OrientationResult& result) {
    Box box = frame;
    for (const ro::PointResult& p : result.points) {
        if (!IsFinitePoint(p)) continue;
        box.x0 = std::min(box.x0, p.col1_px);
        box.x1 = std::max(box.x1, p.col1_px);
        box.y0 = std::min(box.y0, p.row1_px);
        box.y1 = std::max(box.y1, p.row1_px);
    }
    return box;
}

std::vector<std::size_t> PointsToDraw(const ro::OrientationResult& result, ro::PointStatus status,
                                      std::size_t limit, const Box& extent) {
    std::vector<std::size_t> all;
    for (std::size_t k = 0; k < result.points.size(); ++k) {
        if (result.points[k].status == status && IsFinitePoint(result.points[k])) all.push_back(k);
    }
    if (all.size() <= limit) return all;
    if (limit == 0) return {};
    // Square cells, about `limit` of them, and never more than `limit` along a side.
    const double side = std::max(extent.Width(), extent.Height());
    double cell = std::sqrt(extent.Width() * extent.Height() / static_cast<double>(limit));
    if (!(cell > 0.0) || !std::isfinite(cell)) cell = side > 0.0 ? side : 1.0;
    cell = std::max(cell, side / static_cast<double>(limit));
    const auto count = [&](double length) {
        return std::clamp<std::size_t>(static_cast<std::size_t>(std::ceil(length / cell)), 1,
                                       limit);
    };
    const std::size_t columns = count(extent.Width());
    const std::size_t rows = count(extent.Height());
    std::vector<std::vector<std::size_t>> cells(columns * rows);
    for (const std::size_t k : all) {
        const ro::PointResult& p = result.points[k];
        const auto index = [&](double offset, std::size_t n) {
            return std::min(static_cast<std::size_t>(std::max(0.0, offset / cell)), n - 1);
        };
        cells[index(p.row1_px - extent.y0, rows) * columns + index(p.col1_px - extent.x0, columns)]
            .push_back(k);
    }
    // Round after round, one more point of every cell that has one; the cells in a scattered
    // order so that a last, partial round does not crowd one side.
    const std::size_t step = ScatterStep(cells.size());
    std::vector<std::size_t> chosen;
    chosen.reserve(limit);
    for (std::size_t round = 0; chosen.size() < limit; ++round) {
        for (std::size_t visit = 0, c = 0; visit < cells.size() && chosen.size() < limit;
             ++visit, c = (c + step) % cells.size()) {
            if (round < cells[c].size()) chosen.push_back(cells[c][round]);
        }
    }
    std::sort(chosen.begin(), chosen.end());
    return chosen;
}

double ParallaxScale(const ro::OrientationResult& result, const std::vector<std::size_t>& drawn,
                     const Box& frame) {
    double largest = 0.0;
    for (const std::size_t k : drawn) {
        const double y = std::fabs(result.points[k].y_parallax_px);
        if (std::isfinite(y)) largest = std::max(largest, y);
    }
    if (!(largest > 0.0)) return 0.0;
    double target = kParallaxLargestShare * frame.Height() / largest;
    const double rms = result.adjustment.y_parallax_rms_px;
    if (rms > 0.0 && std::isfinite(rms))
        target = std::min(target, kParallaxRmsShare * frame.Width() / rms);
    if (!(target > 0.0) || !std::isfinite(target)) return 0.0;
    const double power = std::pow(10.0, std::floor(std::log10(target)));
    for (const double step : {5.0, 4.0, 3.0, 2.0, 1.5}) {
        if (step * power <= target) return step * power;
    }
    return power;
}

std::optional<ParallaxVector> VectorOf(const ro::PointResult& point, double scale,
                                       const Box& frame) {
    if (!std::isfinite(point.y_parallax_px) || !frame.Holds(point.col1_px, point.row1_px)) {
        return std::nullopt;
    }
    const double to = point.row1_px - scale * point.y_parallax_px;
    const double cut_to = std::clamp(to, frame.y0, frame.y1);
    return ParallaxVector{point.col1_px, point.row1_px, cut_to, cut_to != to};
}

std::string Counted(std::size_t count, const std::string& noun) {
    return Format("%zu ", count) + noun + (count == 1 ? "" : "s");
}

std::string WarningLine(const ro::Warning& warning) {
    return "warning: " + warning.message.substr(0, warning.message.find(": ")) + " (" +
           warning.code + ")";
}

std::vector<std::string> Wrapped(const std::string& line, std::size_t width) {
    std::vector<std::string> lines;
    std::string current;
    bool fresh = true;  // nothing on the current line yet: spaces at a break are dropped
    for (std::size_t at = 0; at <= line.size();) {
        const std::size_t end = std::min(line.find(' ', at), line.size());
        const std::string word = line.substr(at, end - at);
        at = end + 1;
        if (!fresh && current.size() + 1 + word.size() > width) {
            lines.push_back(current);
            current.clear();
            fresh = true;
        }
        if (fresh) {
            if (word.empty() && !lines.empty()) continue;
            current = word;
            fresh = false;
        } else {
            current += " " + word;
        }
    }
    lines.push_back(current);
    return lines;
}

}  // namespace orient
