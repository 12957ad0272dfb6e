// Tie points from two keypoint lists.
#include "keypoint_matching.h"

#include <charconv>

#include "fast_matcher.h"

namespace ro {
namespace {

constexpr int kMaxRatioDecimals = 9;

// d1 < (numerator / denominator) d2, exactly: distances are below 2^31 and both terms of
// the fraction at most 10^9, so the products fit in 64 bits.
bool PassesRatio(int dist1, int dist2, const DistanceRatio& ratio) {
    return ratio.denominator * static_cast<std::int64_t>(dist1) <
           ratio.numerator * static_cast<std::int64_t>(dist2);
}

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

std::vector<TiePoint> MatchKeypoints(const KeypointList& keys1, const KeypointList& keys2, int dims,
                                     const MatchOptions& options) {
    const std::vector<NeighbourPair> forward =
        FindAllNeighbours(keys1, keys2, dims, MatchKernel::automatic, options.threads);
    std::vector<NeighbourPair> backward;
    if (options.mutual) {
        backward = FindAllNeighbours(keys2, keys1, dims, MatchKernel::automatic, options.threads);
    }
    std::vector<TiePoint> tie_points;
    for (std::size_t i = 0; i < forward.size(); ++i) {
        const NeighbourPair& n = forward[i];
        if (n.nearest < 0 || !PassesRatio(n.dist1, n.dist2, options.ratio)) continue;
        const auto j = static_cast<std::size_t>(n.nearest);
        if (options.mutual && backward[j].nearest != static_cast<int>(i)) continue;
        TiePoint t;
        t.row1_px = keys1[i].row;
        t.col1_px = keys1[i].col;
        t.row2_px = keys2[j].row;
        t.col2_px = keys2[j].col;
        if (n.second >= 0 && n.dist2 > 0) t.ratio = static_cast<double>(n.dist1) / n.dist2;
        t.key1 = static_cast<int>(i);
        t.key2 = n.nearest;
        tie_points.push_back(t);
    }
    return tie_points;
}

}  // namespace ro
