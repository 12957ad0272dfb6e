// Portable dot-product kernel (baseline x86-64 flags; the compiler vectorises the dot
// product with whatever the baseline offers). Same exact rule as the vector kernels:
// s = |a|^2 + |b|^2 - 2 a.b, candidates offered in column order.
#include "row_state.h"

namespace fastmatch {
namespace {

std::int32_t Dot(const std::uint8_t* a, const std::uint8_t* b, int n) {
    std::int32_t sum = 0;
    for (int k = 0; k < n; ++k) sum += std::int32_t{a[k]} * std::int32_t{b[k]};
    return sum;
}

}  // namespace

std::size_t PortableScratchBytes(const ByteLists& lists) {
    return static_cast<std::size_t>(lists.n2) * sizeof(std::int32_t) + alignof(std::int32_t);
}

void PortableNeighbours(const ByteLists& lists, void* scratch, RowResult* out) {
    auto* norms = reinterpret_cast<std::int32_t*>(
        AlignUp(reinterpret_cast<std::uintptr_t>(scratch), alignof(std::int32_t)));
    for (int j = 0; j < lists.n2; ++j) {
        const std::uint8_t* b = lists.b + static_cast<std::size_t>(j) * lists.stride;
        norms[j] = Dot(b, b, lists.stride);
    }
    for (int i = 0; i < lists.n1; ++i) {
        const std::uint8_t* a = lists.a + static_cast<std::size_t>(i) * lists.stride;
        RowState st;
        InitRow(&st, Dot(a, a, lists.stride));
        for (int j = 0; j < lists.n2; ++j) {
            const std::uint8_t* b = lists.b + static_cast<std::size_t>(j) * lists.stride;
            const std::int64_t s =
                std::int64_t{st.norm} + norms[j] - 2 * std::int64_t{Dot(a, b, lists.stride)};
            Offer(&st, s, j);
        }
        StoreRow(st, &out[i]);
    }
}

}  // namespace fastmatch
