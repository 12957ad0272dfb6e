// The match report writer.
#include "keypoints/match_report.h"

namespace keypoints {
namespace {

// Writes one group "position col row scale ori" (column before row).
bool WriteGroup(std::FILE* out, int position, const KeypointSt* key) {
    if (key == nullptr) {
        // No such keypoint (a second list of one keypoint has no second-nearest):
        // position -1 and zero properties keep the line at 17 fields.
        return std::fprintf(out, "%d %4.2f %4.2f %4.3f %4.4f", position, 0.0, 0.0, 0.0, 0.0) > 0;
    }
    return std::fprintf(out, "%d %4.2f %4.2f %4.3f %4.4f", position, key->col, key->row, key->scale,
                        key->ori) > 0;
}

const KeypointSt* At(const KeypointList& list, int index) {
    return index < 0 ? nullptr : &list[static_cast<std::size_t>(index)];
}

}  // namespace

int WriteMatchReport(std::FILE* out, const KeypointList& keys1, const KeypointList& keys2, int dims,
                     const DistanceRatio& ratio) {
    int count = 0;
    for (std::size_t i = 0; i < keys1.size(); ++i) {
        const NeighbourPair best = FindNeighbours(keys1[i], keys2, dims);
        if (best.nearest < 0 || !PassesRatio(best.dist1, best.dist2, ratio)) continue;
        ++count;
        const bool written =
            WriteGroup(out, static_cast<int>(i) + 1, &keys1[i]) && std::fputc(' ', out) != EOF &&
            WriteGroup(out, best.nearest + 1, At(keys2, best.nearest)) &&
            std::fprintf(out, " %d ", best.dist1) > 0 &&
            WriteGroup(out, best.second + 1 > 0 ? best.second + 1 : -1, At(keys2, best.second)) &&
            std::fprintf(out, " %d\n", best.dist2) > 0;
        if (!written) return -1;
    }
    return count;
}

}  // namespace keypoints
