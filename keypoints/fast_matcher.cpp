// Kernel dispatch, input conversion and the wide-integer path of the fast matcher.
#include "keypoints/fast_matcher.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "common/thread_pool.h"
#include "keypoints/kernels/kernel_api.h"

namespace keypoints {

static_assert(kernels::kNoDistance == kNoCandidateDistance,
              "the kernels start every row from the matcher's no-candidate distance");

namespace {

bool CpuHasVnni() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vnni");
}

bool CpuHasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

MatchKernel Resolve(MatchKernel kernel) {
    if (kernel == MatchKernel::automatic || !MatchKernelAvailable(kernel)) {
        return AutomaticMatchKernel();
    }
    return kernel;
}

// The first `dims` values of a descriptor, missing ones read as 0.
int ValueAt(const KeypointSt& key, int k) {
    return static_cast<std::size_t>(k) < key.descrip.size() ? key.descrip[k] : 0;
}

// Row pointers to at least `dims` values per key; short descriptors get padded copies.
std::vector<const int*> Rows(const KeypointList& keys, int dims,
                             std::vector<std::vector<int>>* padded) {
    std::vector<const int*> rows(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].descrip.size() >= static_cast<std::size_t>(dims)) {
            rows[i] = keys[i].descrip.data();
            continue;
        }
        std::vector<int> copy(static_cast<std::size_t>(dims), 0);
        for (int k = 0; k < dims; ++k) copy[k] = ValueAt(keys[i], k);
        padded->push_back(std::move(copy));
        rows[i] = padded->back().data();
    }
    return rows;
}

// One byte kernel on rows [begin, end) of the first list; false when the input does not
// fit it (a value outside 0..255).
bool ByteNeighboursRange(const std::vector<const int*>& rows1, const std::vector<const int*>& rows2,
                         int dims, MatchKernel kernel, std::size_t begin, std::size_t end,
                         std::vector<NeighbourPair>* result) {
    const kernels::IntLists lists{rows1.data() + begin, rows2.data(), static_cast<int>(end - begin),
                                  static_cast<int>(rows2.size()), dims};
    std::vector<kernels::RowResult> rows(end - begin);
    std::vector<std::uint8_t> scratch;
    bool fits = false;
    switch (kernel) {
        case MatchKernel::vnni:
            scratch.resize(kernels::VnniScratchBytes(lists));
            fits = kernels::VnniNeighbours(lists, scratch.data(), rows.data());
            break;
        case MatchKernel::avx2:
            scratch.resize(kernels::Avx2ScratchBytes(lists));
            fits = kernels::Avx2Neighbours(lists, scratch.data(), rows.data());
            break;
        default:
            scratch.resize(kernels::PortableScratchBytes(lists));
            fits = kernels::PortableNeighbours(lists, scratch.data(), rows.data());
            break;
    }
    if (!fits) return false;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        (*result)[begin + i] =
            NeighbourPair{rows[i].nearest, rows[i].dist1, rows[i].second, rows[i].dist2};
    }
    return true;
}

// The byte kernels; false when the input does not fit them (a value outside 0..255,
// a length they do not take).
bool ByteNeighbours(const std::vector<const int*>& rows1, const std::vector<const int*>& rows2,
                    int dims, MatchKernel kernel, int threads, std::vector<NeighbourPair>* result) {
    if (dims <= 0 || dims > kernels::kMaxByteDims || rows1.size() > INT_MAX ||
        rows2.size() > INT_MAX) {
        return false;
    }
    return common::ForSlices(
        rows1.size(), threads, [&](std::size_t begin, std::size_t end, std::size_t) {
            return ByteNeighboursRange(rows1, rows2, dims, kernel, begin, end, result);
        });
}

void WideNeighbours(const std::vector<const int*>& rows1, const std::vector<const int*>& rows2,
                    int dims, std::size_t begin, std::size_t end,
                    std::vector<NeighbourPair>* result) {
    for (std::size_t i = begin; i < end; ++i) {
        NeighbourPair best;
        for (std::size_t j = 0; j < rows2.size(); ++j) {
            const int d = DescriptorDistance(rows1[i], rows2[j], dims);
            if (d < best.dist1) {
                best = NeighbourPair{static_cast<int>(j), d, best.nearest, best.dist1};
            } else if (d < best.dist2) {
                best.second = static_cast<int>(j);
                best.dist2 = d;
            }
        }
        (*result)[i] = best;
    }
}

}  // namespace

bool MatchKernelAvailable(MatchKernel kernel) {
    switch (kernel) {
        case MatchKernel::vnni:
            return CpuHasVnni();
        case MatchKernel::avx2:
            return CpuHasAvx2();
        default:
            return true;
    }
}

MatchKernel AutomaticMatchKernel() {
    static const MatchKernel chosen = CpuHasVnni()   ? MatchKernel::vnni
                                      : CpuHasAvx2() ? MatchKernel::avx2
                                                     : MatchKernel::portable;
    return chosen;
}

const char* MatchKernelName(MatchKernel kernel) {
    switch (kernel) {
        case MatchKernel::automatic:
            return "automatic";
        case MatchKernel::vnni:
            return "vnni";
        case MatchKernel::avx2:
            return "avx2";
        case MatchKernel::portable:
            return "portable";
        case MatchKernel::wide:
            return "wide";
    }
    return "unknown";
}

std::vector<NeighbourPair> FindAllNeighbours(const KeypointList& keys1, const KeypointList& keys2,
                                             int dims, MatchKernel kernel, int threads) {
    std::vector<NeighbourPair> result(keys1.size());
    if (keys1.empty() || keys2.empty()) return result;
    const MatchKernel chosen = Resolve(kernel);
    const int n = dims > 0 ? dims : 0;
    std::vector<std::vector<int>> padded1;
    std::vector<std::vector<int>> padded2;
    const std::vector<const int*> rows1 = Rows(keys1, n, &padded1);
    const std::vector<const int*> rows2 = Rows(keys2, n, &padded2);
    if (chosen == MatchKernel::wide || !ByteNeighbours(rows1, rows2, n, chosen, threads, &result)) {
        common::ForSlices(rows1.size(), threads,
                          [&](std::size_t begin, std::size_t end, std::size_t) {
                              WideNeighbours(rows1, rows2, n, begin, end, &result);
                              return true;
                          });
    }
    return result;
}

}  // namespace keypoints
