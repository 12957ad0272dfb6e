#include "siftkey/reduced_detection.h"

#include <opencv2/imgproc.hpp>

#include "siftkey/pixel_limit.h"

namespace siftkey {

void ScaleToFullImage(cv::Size reduced, cv::Size full, std::vector<SiftKeypoint>* keys) {
    const double col_factor = static_cast<double>(full.width) / reduced.width;
    const double row_factor = static_cast<double>(full.height) / reduced.height;
    const double scale_factor = (col_factor + row_factor) / 2.0;
    for (SiftKeypoint& k : *keys) {
        k.col_px = static_cast<float>((k.col_px + 0.5) * col_factor - 0.5);
        k.row_px = static_cast<float>((k.row_px + 0.5) * row_factor - 0.5);
        k.scale_px = static_cast<float>(k.scale_px * scale_factor);
    }
}

std::vector<SiftKeypoint> DetectKeypointsAtMostSide(const cv::Mat& grey,
                                                    const DetectorOptions& options,
                                                    std::uint64_t max_side) {
    const PixelSize size = DetectionSize(static_cast<std::uint64_t>(grey.cols),
                                         static_cast<std::uint64_t>(grey.rows), max_side);
    const cv::Size reduced(static_cast<int>(size.width), static_cast<int>(size.height));
    if (reduced == grey.size()) return DetectKeypoints(grey, options);
    cv::Mat small;
    cv::resize(grey, small, reduced, 0, 0, cv::INTER_AREA);
    std::vector<SiftKeypoint> keys = DetectKeypoints(small, options);
    ScaleToFullImage(reduced, grey.size(), &keys);
    return keys;
}

}  // namespace siftkey
