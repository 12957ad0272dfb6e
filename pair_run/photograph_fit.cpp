// Whether the photographs fit the camera and the --image1 photograph.
#include "pair_run/photograph_fit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "io/file_error.h"
#include "robust_orientation/camera_frame.h"

namespace pair_run {
namespace {

// The least size of the photograph behind a keypoint file: the pixel of its largest
// column and row, and one more. Zero without keypoints.
struct LeastSize {
    int columns = 0;
    int rows = 0;
};

LeastSize LeastSizeOf(const keypoints::KeypointList& keys) {
    double col_max = -1.0;
    double row_max = -1.0;
    for (const auto& k : keys) {
        if (std::isfinite(k.col)) col_max = std::max(col_max, static_cast<double>(k.col));
        if (std::isfinite(k.row)) row_max = std::max(row_max, static_cast<double>(k.row));
    }
    // Clamped so that any position read gives an int.
    const auto size = [](double max) {
        return max < 0.0 ? 0 : static_cast<int>(std::min(std::floor(max + 0.5), 1e9)) + 1;
    };
    return {size(col_max), size(row_max)};
}

std::string SizeText(double columns, double rows) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f x %.0f px", columns, rows);
    return text;
}

// Keypoints reach the edges of their photograph only when there are enough of them: fewer
// say that it is at least so large, not that it is so small.
constexpr std::size_t kMinKeypointsForSmall = 20;

bool FillsFrame(const LeastSize& size, std::size_t keypoints, const ro::FrameSize& frame) {
    if (size.columns > frame.columns_px || size.rows > frame.rows_px) return false;
    return keypoints < kMinKeypointsForSmall ||
           (size.columns >= kBuiltInFrameShare * frame.columns_px &&
            size.rows >= kBuiltInFrameShare * frame.rows_px);
}

void BuiltInCamera(const RunInfo& run, const KeypointFile& first, const KeypointFile& second,
                   std::vector<ro::Warning>& warnings) {
    const ro::FrameSize frame = ro::ImpliedFrame(ro::BuiltInCamera());
    std::string sizes;
    double worst_share = 1.0;
    const CameraUse* uses[] = {&run.camera1, &run.camera2};
    const KeypointFile* files[] = {&first, &second};
    for (int k = 0; k < 2; ++k) {
        if (!uses[k]->file.empty()) continue;
        const LeastSize size = LeastSizeOf(files[k]->keys);
        if (FillsFrame(size, files[k]->keys.size(), frame)) continue;
        worst_share =
            std::min({worst_share, size.columns / frame.columns_px, size.rows / frame.rows_px});
        const bool beyond = size.columns > frame.columns_px || size.rows > frame.rows_px;
        sizes += (sizes.empty() ? "the keypoints of " : " and those of ") +
                 io::ShownName(files[k]->file, "standard input") +
                 (beyond ? " need a photograph of at least " : " reach only ") +
                 SizeText(size.columns, size.rows);
    }
    if (sizes.empty()) return;
    warnings.push_back({kBuiltInCameraCode,
                        "the built-in camera (frame " + SizeText(frame.columns_px, frame.rows_px) +
                            ") was used, but " + sizes +
                            ": photographs of another size; give their camera with --camera",
                        worst_share});
}

void Image1(const KeypointFile& first, const std::string& image1_file,
            const image::ImageHeader& image1, std::vector<ro::Warning>& warnings) {
    const LeastSize size = LeastSizeOf(first.keys);
    if (size.columns == 0) return;
    const bool beyond = size.columns > image1.width || size.rows > image1.height;
    const bool small = first.keys.size() >= kMinKeypointsForSmall &&
                       2 * size.columns < image1.width && 2 * size.rows < image1.height;
    if (!beyond && !small) return;
    const std::string photo = "the --image1 photograph " +
                              io::ShownName(image1_file, "standard input") + " is " +
                              SizeText(image1.width, image1.height);
    const std::string keys = io::ShownName(first.file, "standard input");
    warnings.push_back({kImage1SizeCode,
                        photo + ", but the keypoints of " + keys +
                            (beyond ? " need one of at least " : " reach only ") +
                            SizeText(size.columns, size.rows) + ": it may not be photograph 1",
                        static_cast<double>(size.columns) / image1.width});
}

}  // namespace

std::vector<ro::Warning> InputWarnings(const RunInfo& run, const KeypointFile& first,
                                       const KeypointFile& second, const std::string& image1_file,
                                       const image::ImageHeader* image1) {
    std::vector<ro::Warning> warnings;
    BuiltInCamera(run, first, second, warnings);
    if (image1 != nullptr) Image1(first, image1_file, *image1, warnings);
    return warnings;
}

}  // namespace pair_run
