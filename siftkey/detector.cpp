#include "siftkey/detector.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <opencv2/features2d.hpp>
#include <tuple>
#include <utility>

namespace siftkey {
namespace {

// Layers per octave and the blur of the first level: the detector's usual values.
constexpr int kOctaveLayers = 3;
constexpr double kBaseSigma = 1.6;

bool AllFinite(const cv::KeyPoint& kp) {
    return std::isfinite(kp.pt.x) && std::isfinite(kp.pt.y) && std::isfinite(kp.size) &&
           std::isfinite(kp.angle) && std::isfinite(kp.response);
}

// The keypoints with their descriptors converted, in no particular order.
std::vector<SiftKeypoint> ConvertAll(const std::vector<cv::KeyPoint>& kps,
                                     const cv::Mat& descriptors) {
    CV_Assert(descriptors.rows == static_cast<int>(kps.size()));
    CV_Assert(kps.empty() ||
              (descriptors.type() == CV_32F && descriptors.cols == kDescriptorLength));
    std::vector<SiftKeypoint> out;
    out.reserve(kps.size());
    for (std::size_t i = 0; i < kps.size(); ++i) {
        SiftKeypoint k;
        if (ConvertKeypoint(kps[i], descriptors.ptr<float>(static_cast<int>(i)), &k)) {
            out.push_back(k);
        }
    }
    return out;
}

// Upright keypoints: the detected locations once each, orientation 0. The detector gives
// a location one keypoint per dominant orientation; those copies differ only in angle.
void MakeUpright(std::vector<cv::KeyPoint>* kps) {
    for (cv::KeyPoint& kp : *kps) kp.angle = 0.0f;
    auto key = [](const cv::KeyPoint& k) {
        return std::make_tuple(k.pt.x, k.pt.y, k.size, k.response, k.octave);
    };
    std::sort(kps->begin(), kps->end(),
              [&](const cv::KeyPoint& a, const cv::KeyPoint& b) { return key(a) < key(b); });
    kps->erase(
        std::unique(kps->begin(), kps->end(),
                    [&](const cv::KeyPoint& a, const cv::KeyPoint& b) { return key(a) == key(b); }),
        kps->end());
}

// The keypoint's place in the StrongerFirst order without its descriptor, in our
// conventions (a keypoint that ConvertKeypoint refuses sorts last).
struct Rank {
    bool finite;
    SiftKeypoint key;
};

Rank RankOf(const cv::KeyPoint& kp) {
    static const float kNoDescriptor[kDescriptorLength] = {};
    Rank rank{false, {}};
    rank.finite = ConvertKeypoint(kp, kNoDescriptor, &rank.key);
    return rank;
}

// Negative, zero or positive as `a` comes before, ties with or comes after `b` in the
// StrongerFirst order of their keypoints before the descriptors are compared.
int CompareRanks(const Rank& a, const Rank& b) {
    if (a.finite != b.finite) return a.finite ? -1 : 1;
    if (!a.finite) return 0;
    if (StrongerFirst(a.key, b.key)) return -1;
    if (StrongerFirst(b.key, a.key)) return 1;
    return 0;  // only the descriptors can tell these apart
}

// Keeps the `count` strongest detected keypoints, and every keypoint that ties with the last
// of them until the descriptors are compared, so that the final sort and cut pick exactly
// the keypoints the full list begins with.
void KeepStrongest(std::vector<cv::KeyPoint>* kps, std::size_t count) {
    if (kps->size() <= count) return;
    std::vector<std::pair<Rank, std::size_t>> ranked;
    ranked.reserve(kps->size());
    for (std::size_t i = 0; i < kps->size(); ++i) ranked.emplace_back(RankOf((*kps)[i]), i);
    std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
        const int order = CompareRanks(a.first, b.first);
        return order != 0 ? order < 0 : a.second < b.second;
    });
    std::size_t kept = count;
    while (kept < ranked.size() && CompareRanks(ranked[kept].first, ranked[count - 1].first) == 0) {
        ++kept;
    }
    std::vector<cv::KeyPoint> strongest;
    strongest.reserve(kept);
    for (std::size_t i = 0; i < kept; ++i) strongest.push_back((*kps)[ranked[i].second]);
    *kps = std::move(strongest);
}

// The detector's octave field of a keypoint found on the enlarged image (octave -1).
constexpr int kEnlargedOctave = 0xFF;

// Descriptors of the keypoints `kps` alone. The detector builds the scale space for the
// keypoints it is given from their lowest octave: one on the enlarged image (octave -1), as
// the full detection always has, is added while computing and dropped after, so that every
// descriptor is computed on the same scale space as in the full detection.
void ComputeDescriptors(cv::SIFT& sift, const cv::Mat& grey, std::vector<cv::KeyPoint>* kps,
                        cv::Mat* descriptors) {
    if (kps->empty()) return;
    const std::size_t count = kps->size();
    cv::KeyPoint anchor((*kps)[0]);
    anchor.octave = kEnlargedOctave | (1 << 8);  // octave -1, layer 1
    anchor.size = static_cast<float>(kBaseSigma);
    kps->push_back(anchor);
    cv::Mat all;
    sift.compute(grey, *kps, all);
    CV_Assert(kps->size() == count + 1 && all.rows == static_cast<int>(count + 1));
    kps->pop_back();
    *descriptors = all.rowRange(0, static_cast<int>(count)).clone();
}

}  // namespace

float OrientationFromDetectorAngle(float angle_deg) {
    constexpr double kPi = std::numbers::pi;
    double a = std::remainder(-static_cast<double>(angle_deg) * kPi / 180.0, 2.0 * kPi);
    if (a <= -kPi) a += 2.0 * kPi;
    float f = static_cast<float>(a);
    // Rounding to float can step just outside the half-open interval.
    if (f <= -static_cast<float>(kPi)) f = static_cast<float>(kPi);
    return f;
}

std::uint8_t DescriptorByte(float value) {
    if (!(value > 0.0f)) return 0;
    if (value >= 255.0f) return 255;
    return static_cast<std::uint8_t>(std::lround(value));
}

bool ConvertKeypoint(const cv::KeyPoint& kp, const float* descriptor, SiftKeypoint* out) {
    if (!AllFinite(kp)) return false;
    out->row_px = kp.pt.y - kDetectorOffsetPx;
    out->col_px = kp.pt.x - kDetectorOffsetPx;
    out->scale_px = kp.size / 2.0f;  // the detector's size is twice its sigma
    out->orientation_rad = OrientationFromDetectorAngle(kp.angle);
    out->response = kp.response;
    for (int i = 0; i < kDescriptorLength; ++i) out->descriptor[i] = DescriptorByte(descriptor[i]);
    return true;
}

bool StrongerFirst(const SiftKeypoint& a, const SiftKeypoint& b) {
    if (a.response != b.response) return a.response > b.response;
    return std::tie(a.row_px, a.col_px, a.scale_px, a.orientation_rad, a.descriptor) <
           std::tie(b.row_px, b.col_px, b.scale_px, b.orientation_rad, b.descriptor);
}

std::vector<SiftKeypoint> DetectKeypoints(const cv::Mat& grey, const DetectorOptions& options) {
    CV_Assert(grey.type() == CV_8UC1);
    cv::Ptr<cv::SIFT> sift = cv::SIFT::create(0, kOctaveLayers, options.contrast_threshold,
                                              options.edge_threshold, kBaseSigma, CV_32F);
    std::vector<cv::KeyPoint> kps;
    cv::Mat descriptors;
    if (options.max_keypoints > 0) {
        sift->detect(grey, kps);
        if (options.upright) MakeUpright(&kps);
        KeepStrongest(&kps, static_cast<std::size_t>(options.max_keypoints));
        ComputeDescriptors(*sift, grey, &kps, &descriptors);
    } else if (options.upright) {
        sift->detect(grey, kps);
        MakeUpright(&kps);
        if (!kps.empty()) sift->compute(grey, kps, descriptors);
    } else {
        sift->detectAndCompute(grey, cv::noArray(), kps, descriptors);
    }
    std::vector<SiftKeypoint> keys = ConvertAll(kps, descriptors);
    std::sort(keys.begin(), keys.end(), StrongerFirst);
    if (options.max_keypoints > 0 &&
        keys.size() > static_cast<std::size_t>(options.max_keypoints)) {
        keys.resize(static_cast<std::size_t>(options.max_keypoints));
    }
    return keys;
}

}  // namespace siftkey
