// The plain descriptor distance and neighbour search, the ratio, and the matches of two
// lists on the fast matcher.
#include "keypoints/matching.h"

#include <climits>
#include <cstdint>
#include <limits>

#include "keypoints/fast_matcher.h"
#include "keypoints/kernels/integer_root.h"

namespace keypoints {
namespace {

constexpr int kMaxRatioDecimals = 9;

}  // namespace

std::optional<DistanceRatio> ParseDistanceRatio(std::string_view text) {
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view decimals =
        point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
    if (whole.empty() && decimals.empty()) return std::nullopt;
    if (decimals.size() > kMaxRatioDecimals || whole.size() > 1) return std::nullopt;
    std::int64_t numerator = 0;
    std::int64_t denominator = 1;
    for (const std::string_view part : {whole, decimals}) {
        for (const char c : part) {
            if (c < '0' || c > '9') return std::nullopt;
            numerator = numerator * 10 + (c - '0');
        }
    }
    for (std::size_t k = 0; k < decimals.size(); ++k) denominator *= 10;
    if (numerator <= 0 || numerator > denominator) return std::nullopt;
    return DistanceRatio{numerator, denominator};
}

int DescriptorDistance(const int* a, const int* b, int dims) {
    // Every distance of INT_MAX or more saturates, so the sum of squares only needs to be
    // exact below INT_MAX^2 (< 2^62); one square of a difference of 32-bit values fits in
    // 64 unsigned bits, and the sum stops growing once it reaches that bound.
    constexpr std::uint64_t kSaturation = static_cast<std::uint64_t>(INT_MAX) * INT_MAX;
    std::uint64_t distsq = 0;
    for (int i = 0; i < dims; ++i) {
        const long long diff = static_cast<long long>(a[i]) - b[i];
        const auto mag = static_cast<std::uint64_t>(diff < 0 ? -diff : diff);
        const std::uint64_t square = mag * mag;
        if (square >= kSaturation - distsq) return INT_MAX;
        distsq += square;
    }
    // For sums below 2^31 this is exactly (int) sqrt((double) sum).
    return static_cast<int>(kernels::IntegerRoot(distsq));
}

NeighbourPair FindNeighbours(const KeypointSt& key, const KeypointList& klist, int dims) {
    NeighbourPair best;
    for (std::size_t j = 0; j < klist.size(); ++j) {
        const int d = DescriptorDistance(key.descrip.data(), klist[j].descrip.data(), dims);
        // Strict comparisons: an equally near later candidate does not displace the
        // nearest; its distance becomes the second-nearest distance.
        if (d < best.dist1) {
            best.second = best.nearest;
            best.dist2 = best.dist1;
            best.nearest = static_cast<int>(j);
            best.dist1 = d;
        } else if (d < best.dist2) {
            best.second = static_cast<int>(j);
            best.dist2 = d;
        }
    }
    return best;
}

double Match::Ratio() const {
    if (second < 0 || dist2 <= 0) return std::numeric_limits<double>::quiet_NaN();
    return static_cast<double>(dist1) / dist2;
}

std::vector<Match> MatchKeypoints(const KeypointList& keys1, const KeypointList& keys2, int dims,
                                  const MatchOptions& options) {
    const std::vector<NeighbourPair> forward =
        FindAllNeighbours(keys1, keys2, dims, MatchKernel::automatic, options.threads);
    std::vector<NeighbourPair> backward;
    if (options.mutual) {
        backward = FindAllNeighbours(keys2, keys1, dims, MatchKernel::automatic, options.threads);
    }
    std::vector<Match> matches;
    for (std::size_t i = 0; i < forward.size(); ++i) {
        const NeighbourPair& n = forward[i];
        if (n.nearest < 0 || !PassesRatio(n.dist1, n.dist2, options.ratio)) continue;
        const auto j = static_cast<std::size_t>(n.nearest);
        if (options.mutual && backward[j].nearest != static_cast<int>(i)) continue;
        matches.push_back({static_cast<int>(i), n.nearest, n.second, n.dist1, n.dist2});
    }
    return matches;
}

}  // namespace keypoints
