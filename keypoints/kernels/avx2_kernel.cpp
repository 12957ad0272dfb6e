// Dot-product kernel for AVX2 (compiled with -mavx2).
//
// vpmaddwd multiplies pairs of 16-bit values and adds each pair into a 32-bit lane, so
// a.b of 0..255 values is exact, and s = |a|^2 + q - 2 a.b with q = |b|^2. A register
// tile holds 4 rows x 16 columns (8 accumulators); the second list is packed once into
// tiles of 16 columns, [k/2][16 columns][2 values], swept in chunks that stay in L2.
#include <immintrin.h>

#include <cstring>

#include "keypoints/kernels/row_state.h"

namespace keypoints::kernels {
namespace {

constexpr int kRows = 4;
constexpr int kCols = 16;
constexpr int kChunkTiles = 128;  // 2048 columns, 512 KiB at 128 dims

struct Layout {
    int k2;      // pairs of descriptor values
    int tiles;   // column tiles of the second list
    int rows;    // first-list rows rounded up to kRows
    int stride;  // values per packed first-list row
    std::size_t tile_values;
};

Layout MakeLayout(const IntLists& l) {
    Layout lay;
    lay.stride = PaddedDims(l.dims);
    lay.k2 = lay.stride / 2;
    lay.tiles = (l.n2 + kCols - 1) / kCols;
    lay.rows = (l.n1 + kRows - 1) / kRows * kRows;
    lay.tile_values = static_cast<std::size_t>(lay.k2) * kCols * 2;
    return lay;
}

struct Scratch {
    std::int16_t* panels;  // tiles x tile_values
    std::int32_t* h;       // per column: start value of its accumulators, -ceil(q / 2)
    std::int32_t* r;       // per column: q + 2h, so that s = |a|^2 + r - 2 acc
    std::int16_t* a;       // rows x stride values
    RowState* state;
};

std::size_t Sizes(const Layout& lay, std::size_t* parts) {
    const std::size_t cols = static_cast<std::size_t>(lay.tiles) * kCols;
    parts[0] = lay.tile_values * static_cast<std::size_t>(lay.tiles) * sizeof(std::int16_t);
    parts[1] = cols * sizeof(std::int32_t);
    parts[2] = cols * sizeof(std::int32_t);
    parts[3] = static_cast<std::size_t>(lay.rows) * static_cast<std::size_t>(lay.stride) * 2;
    parts[4] = static_cast<std::size_t>(lay.rows) * sizeof(RowState);
    std::size_t total = 64;
    for (int i = 0; i < 5; ++i) total += AlignUp(parts[i], 64);
    return total;
}

Scratch Carve(void* raw, const Layout& lay) {
    std::size_t parts[5];
    Sizes(lay, parts);
    std::byte* p = AlignedFrom(raw, 64);
    std::byte* at[5];
    for (int i = 0; i < 5; ++i) {
        at[i] = p;
        p += AlignUp(parts[i], 64);
    }
    return Scratch{reinterpret_cast<std::int16_t*>(at[0]), reinterpret_cast<std::int32_t*>(at[1]),
                   reinterpret_cast<std::int32_t*>(at[2]), reinterpret_cast<std::int16_t*>(at[3]),
                   reinterpret_cast<RowState*>(at[4])};
}

// Packs the second list and its per-column terms; false when some value is outside
// 0..255.
bool PackSecond(const IntLists& l, const Layout& lay, const Scratch& s) {
    std::memset(s.panels, 0, lay.tile_values * static_cast<std::size_t>(lay.tiles) * 2);
    for (int j = 0; j < lay.tiles * kCols; ++j) {
        s.h[j] = INT32_MIN;  // padding columns never pass a filter
        s.r[j] = 0;
    }
    bool bad = false;
    for (int j = 0; j < l.n2; ++j) {
        std::int16_t* tile = s.panels + static_cast<std::size_t>(j / kCols) * lay.tile_values;
        std::int32_t q = 0;
        for (int k = 0; k < l.dims; ++k) {
            const int v = Checked(l.b[j][k], &bad);
            q += v * v;
            tile[(k / 2) * kCols * 2 + (j % kCols) * 2 + k % 2] = static_cast<std::int16_t>(v);
        }
        s.h[j] = -((q + 1) / 2);
        s.r[j] = q + 2 * s.h[j];
    }
    return !bad;
}

bool PackFirst(const IntLists& l, const Layout& lay, const Scratch& s) {
    std::memset(s.a, 0, static_cast<std::size_t>(lay.rows) * lay.stride * 2);
    bool bad = false;
    for (int i = 0; i < lay.rows; ++i) {
        std::int32_t norm = 0;
        if (i < l.n1) {
            std::int16_t* dst = s.a + static_cast<std::size_t>(i) * lay.stride;
            for (int k = 0; k < l.dims; ++k) {
                const int v = Checked(l.a[i][k], &bad);
                norm += v * v;
                dst[k] = static_cast<std::int16_t>(v);
            }
        }
        InitRow(&s.state[i], norm);
    }
    return !bad;
}

inline __m256i BroadcastPair(const std::int16_t* p) {
    std::int32_t v;
    std::memcpy(&v, p, 4);
    return _mm256_set1_epi32(v);
}

inline __m256i MulAdd(__m256i acc, __m256i b, __m256i x) {
    return _mm256_add_epi32(acc, _mm256_madd_epi16(b, x));
}

// Lanes of one row's two accumulators above its threshold, as a 16-bit column mask.
inline unsigned LaneMask(__m256i c0, __m256i c1, __m256i thr) {
    const auto lo =
        static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(c0, thr))));
    const auto hi =
        static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(c1, thr))));
    return lo | hi << 8;
}

inline int PassMask(__m256i c0, __m256i c1, __m256i thr) {
    const __m256i m = _mm256_max_epi32(c0, c1);
    return _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(m, thr)));
}

// The rare path: the exact rule on the lanes that pass each row's threshold, in column
// order; each lane is checked again against the row's current (tighter) threshold.
inline void Rare(const std::int32_t (&acc)[kRows][kCols], const unsigned (&mask)[kRows],
                 const std::int32_t* r, int col0, RowState* st) {
    for (int i = 0; i < kRows; ++i) {
        for (unsigned m = mask[i]; m != 0; m &= m - 1) {
            const int c = __builtin_ctz(m);
            if (acc[i][c] <= st[i].thr) continue;
            const std::int64_t s = std::int64_t{st[i].norm} + r[c] - 2 * std::int64_t{acc[i][c]};
            Offer(&st[i], s, col0 + c);
        }
    }
}

void RowBlock(const Layout& lay, const Scratch& s, int stride, int i0, int t0, int t1) {
    RowState* st = s.state + i0;
    const std::int16_t* a0 = s.a + static_cast<std::size_t>(i0) * stride;
    const std::int16_t* a1 = a0 + stride;
    const std::int16_t* a2 = a1 + stride;
    const std::int16_t* a3 = a2 + stride;
    for (int t = t0; t < t1; ++t) {
        const std::int16_t* bp = s.panels + static_cast<std::size_t>(t) * lay.tile_values;
        const std::int32_t* h = s.h + std::ptrdiff_t{kCols} * t;
        const __m256i h0 = _mm256_load_si256(reinterpret_cast<const __m256i*>(h));
        const __m256i h1 = _mm256_load_si256(reinterpret_cast<const __m256i*>(h + 8));
        __m256i c00 = h0, c01 = h1, c10 = h0, c11 = h1, c20 = h0, c21 = h1, c30 = h0, c31 = h1;
        for (std::ptrdiff_t k = 0; k < lay.k2; ++k, bp += std::ptrdiff_t{kCols} * 2) {
            const __m256i b0 = _mm256_load_si256(reinterpret_cast<const __m256i*>(bp));
            const __m256i b1 = _mm256_load_si256(reinterpret_cast<const __m256i*>(bp + 16));
            __m256i x = BroadcastPair(a0 + 2 * k);
            c00 = MulAdd(c00, b0, x), c01 = MulAdd(c01, b1, x);
            x = BroadcastPair(a1 + 2 * k);
            c10 = MulAdd(c10, b0, x), c11 = MulAdd(c11, b1, x);
            x = BroadcastPair(a2 + 2 * k);
            c20 = MulAdd(c20, b0, x), c21 = MulAdd(c21, b1, x);
            x = BroadcastPair(a3 + 2 * k);
            c30 = MulAdd(c30, b0, x), c31 = MulAdd(c31, b1, x);
        }
        const __m256i thr0 = _mm256_set1_epi32(st[0].thr), thr1 = _mm256_set1_epi32(st[1].thr),
                      thr2 = _mm256_set1_epi32(st[2].thr), thr3 = _mm256_set1_epi32(st[3].thr);
        const int pass = PassMask(c00, c01, thr0) | PassMask(c10, c11, thr1) |
                         PassMask(c20, c21, thr2) | PassMask(c30, c31, thr3);
        if (__builtin_expect(pass != 0, 0)) {
            const unsigned mask[kRows] = {LaneMask(c00, c01, thr0), LaneMask(c10, c11, thr1),
                                          LaneMask(c20, c21, thr2), LaneMask(c30, c31, thr3)};
            alignas(32) std::int32_t acc[kRows][kCols];
            auto* out = reinterpret_cast<__m256i*>(&acc[0][0]);
            _mm256_store_si256(out + 0, c00), _mm256_store_si256(out + 1, c01);
            _mm256_store_si256(out + 2, c10), _mm256_store_si256(out + 3, c11);
            _mm256_store_si256(out + 4, c20), _mm256_store_si256(out + 5, c21);
            _mm256_store_si256(out + 6, c30), _mm256_store_si256(out + 7, c31);
            Rare(acc, mask, s.r + std::ptrdiff_t{kCols} * t, t * kCols, st);
        }
    }
}

}  // namespace

std::size_t Avx2ScratchBytes(const IntLists& lists) {
    std::size_t parts[5];
    return Sizes(MakeLayout(lists), parts);
}

bool Avx2Neighbours(const IntLists& lists, void* scratch, RowResult* out) {
    const Layout lay = MakeLayout(lists);
    const Scratch s = Carve(scratch, lay);
    if (!PackSecond(lists, lay, s) || !PackFirst(lists, lay, s)) return false;
    for (int t0 = 0; t0 < lay.tiles; t0 += kChunkTiles) {
        const int t1 = t0 + kChunkTiles < lay.tiles ? t0 + kChunkTiles : lay.tiles;
        for (int i0 = 0; i0 < lay.rows; i0 += kRows) RowBlock(lay, s, lay.stride, i0, t0, t1);
    }
    for (int i = 0; i < lists.n1; ++i) StoreRow(s.state[i], &out[i]);
    return true;
}

}  // namespace keypoints::kernels
