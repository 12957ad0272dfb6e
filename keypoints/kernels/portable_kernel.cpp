// Portable dot-product kernel (baseline x86-64 flags; the compiler vectorises the dot
// product with whatever the baseline offers). Same exact rule as the vector kernels:
// s = |a|^2 + |b|^2 - 2 a.b, candidates offered in column order.
#include "keypoints/kernels/row_state.h"

namespace keypoints::kernels {
namespace {

std::int32_t Dot(const std::uint8_t* a, const std::uint8_t* b, int n) {
    std::int32_t sum = 0;
    for (int k = 0; k < n; ++k) sum += std::int32_t{a[k]} * std::int32_t{b[k]};
    return sum;
}

// Copies rows to bytes; false when some value is outside 0..255.
bool ToBytes(const int* const* rows, int n, int dims, std::uint8_t* out) {
    bool bad = false;
    for (int i = 0; i < n; ++i) {
        for (int k = 0; k < dims; ++k) {
            out[static_cast<std::size_t>(i) * dims + k] =
                static_cast<std::uint8_t>(Checked(rows[i][k], &bad));
        }
    }
    return !bad;
}

}  // namespace

std::size_t PortableScratchBytes(const IntLists& lists) {
    const std::size_t values =
        (static_cast<std::size_t>(lists.n1) + lists.n2) * static_cast<std::size_t>(lists.dims);
    return values + static_cast<std::size_t>(lists.n2) * sizeof(std::int32_t) + 64;
}

bool PortableNeighbours(const IntLists& lists, void* scratch, RowResult* out) {
    const int dims = lists.dims;
    auto* norms = reinterpret_cast<std::int32_t*>(AlignedFrom(scratch, alignof(std::int32_t)));
    auto* a = reinterpret_cast<std::uint8_t*>(norms + lists.n2);
    std::uint8_t* b = a + static_cast<std::size_t>(lists.n1) * dims;
    if (!ToBytes(lists.a, lists.n1, dims, a) || !ToBytes(lists.b, lists.n2, dims, b)) return false;
    for (int j = 0; j < lists.n2; ++j) {
        const std::uint8_t* bj = b + static_cast<std::size_t>(j) * dims;
        norms[j] = Dot(bj, bj, dims);
    }
    for (int i = 0; i < lists.n1; ++i) {
        const std::uint8_t* ai = a + static_cast<std::size_t>(i) * dims;
        RowState st;
        InitRow(&st, Dot(ai, ai, dims));
        for (int j = 0; j < lists.n2; ++j) {
            const std::uint8_t* bj = b + static_cast<std::size_t>(j) * dims;
            const std::int64_t s =
                std::int64_t{st.norm} + norms[j] - 2 * std::int64_t{Dot(ai, bj, dims)};
            Offer(&st, s, j);
        }
        StoreRow(st, &out[i]);
    }
    return true;
}

}  // namespace keypoints::kernels
