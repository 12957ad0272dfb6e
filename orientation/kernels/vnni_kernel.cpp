// Dot-product kernel for AVX-512 VNNI (compiled with -mavx512f -mavx512bw -mavx512vnni).
//
// vpdpbusd multiplies unsigned bytes by signed bytes and adds groups of four products
// into 32-bit lanes without saturation. The second list stays unsigned (0..255); the
// first is shifted to signed bytes a' = a - 128, so a.b = a'.b + 128 * sum(b) and
//   s = |a|^2 + |b|^2 - 2 a.b = |a|^2 + q - 2 a'.b   with   q = |b|^2 - 256 * sum(b).
// A register tile holds 4 rows x 64 columns (16 accumulators). The second list is packed
// once into tiles of 64 columns, [k/4][64 columns][4 bytes], and swept in chunks that
// stay in L2 while every row block passes over them.
#include <immintrin.h>

#include <cstring>

#include "row_state.h"

namespace fastmatch {
namespace {

constexpr int kRows = 4;         // rows of the first list per register tile
constexpr int kCols = 64;        // columns per register tile (four vectors of 16)
constexpr int kChunkTiles = 32;  // tiles per L2 chunk: 2048 columns, 256 KiB at 128 dims

struct Layout {
    int k4;      // groups of four descriptor values
    int tiles;   // column tiles of the second list
    int rows;    // first-list rows rounded up to kRows
    int stride;  // bytes per packed first-list row
    std::size_t tile_bytes;
};

Layout MakeLayout(const IntLists& l) {
    Layout lay;
    lay.stride = PaddedDims(l.dims);
    lay.k4 = lay.stride / 4;
    lay.tiles = (l.n2 + kCols - 1) / kCols;
    lay.rows = (l.n1 + kRows - 1) / kRows * kRows;
    lay.tile_bytes = static_cast<std::size_t>(lay.k4) * kCols * 4;
    return lay;
}

struct Scratch {
    std::uint8_t* panels;  // tiles x tile_bytes
    std::int32_t* h;       // per column: start value of its accumulators
    std::int32_t* r;       // per column: q + 2h, so that s = |a|^2 + r - 2 acc
    std::int8_t* a;        // rows x stride signed bytes
    RowState* state;       // rows
};

std::size_t Sizes(const Layout& lay, std::size_t* parts) {
    const std::size_t cols = static_cast<std::size_t>(lay.tiles) * kCols;
    parts[0] = lay.tile_bytes * static_cast<std::size_t>(lay.tiles);
    parts[1] = cols * sizeof(std::int32_t);
    parts[2] = cols * sizeof(std::int32_t);
    parts[3] = static_cast<std::size_t>(lay.rows) * static_cast<std::size_t>(lay.stride);
    parts[4] = static_cast<std::size_t>(lay.rows) * sizeof(RowState);
    std::size_t total = 64;
    for (int i = 0; i < 5; ++i) total += AlignUp(parts[i], 64);
    return total;
}

Scratch Carve(void* raw, const Layout& lay) {
    std::size_t parts[5];
    Sizes(lay, parts);
    std::uintptr_t p = AlignUp(reinterpret_cast<std::uintptr_t>(raw), 64);
    std::uintptr_t at[5];
    for (int i = 0; i < 5; ++i) {
        at[i] = p;
        p += AlignUp(parts[i], 64);
    }
    return Scratch{reinterpret_cast<std::uint8_t*>(at[0]), reinterpret_cast<std::int32_t*>(at[1]),
                   reinterpret_cast<std::int32_t*>(at[2]), reinterpret_cast<std::int8_t*>(at[3]),
                   reinterpret_cast<RowState*>(at[4])};
}

// Packs the second list and its per-column terms; padding columns never pass a filter.
// False when some value is outside 0..255.
bool PackSecond(const IntLists& l, const Layout& lay, const Scratch& s) {
    std::memset(s.panels, 0, lay.tile_bytes * static_cast<std::size_t>(lay.tiles));
    for (int j = 0; j < lay.tiles * kCols; ++j) {
        s.h[j] = INT32_MIN;
        s.r[j] = 0;
    }
    bool bad = false;
    for (int j = 0; j < l.n2; ++j) {
        const int* b = l.b[j];
        std::uint8_t* tile = s.panels + static_cast<std::size_t>(j / kCols) * lay.tile_bytes;
        std::int32_t sq = 0;
        std::int32_t sum = 0;
        for (int k = 0; k < l.dims; ++k) {
            const int v = Checked(b[k], &bad);
            sq += v * v;
            sum += v;
            tile[(k / 4) * kCols * 4 + (j % kCols) * 4 + k % 4] = static_cast<std::uint8_t>(v);
        }
        const std::int32_t q = sq - 256 * sum;
        // -ceil(q / 2) for either sign of q.
        s.h[j] = q >= 0 ? -((q + 1) / 2) : -(q / 2);
        s.r[j] = q + 2 * s.h[j];
    }
    return !bad;
}

// Packs the first list as signed bytes a - 128 (padding stays 0) and starts every row.
bool PackFirst(const IntLists& l, const Layout& lay, const Scratch& s) {
    std::memset(s.a, 0, static_cast<std::size_t>(lay.rows) * lay.stride);
    bool bad = false;
    for (int i = 0; i < lay.rows; ++i) {
        std::int32_t norm = 0;
        if (i < l.n1) {
            std::int8_t* dst = s.a + static_cast<std::size_t>(i) * lay.stride;
            for (int k = 0; k < l.dims; ++k) {
                const int v = Checked(l.a[i][k], &bad);
                norm += v * v;
                dst[k] = static_cast<std::int8_t>(v - 128);
            }
        }
        InitRow(&s.state[i], norm);
    }
    return !bad;
}

// Lane-wise max. The plain intrinsic's undefined pass-through operand trips GCC 12's
// maybe-uninitialized warning; an all-ones mask gives the same instruction.
inline __m512i Max(__m512i x, __m512i y) { return _mm512_mask_max_epi32(x, 0xFFFF, x, y); }

// acc += u8(b) . s8(x) in place. Written as one asm instruction because GCC 12, given
// the intrinsic, copies every accumulator through a temporary register on each step
// (and spills one), which costs a third of the kernel's speed.
inline void Dp(__m512i& acc, __m512i b, __m512i x) {
    asm("vpdpbusd %2, %1, %0" : "+v"(acc) : "v"(b), "v"(x));
}

inline __m512i Broadcast4(const std::int8_t* p) {
    std::int32_t v;
    std::memcpy(&v, p, 4);
    return _mm512_set1_epi32(v);
}

// Lanes of one row's four accumulators above its threshold, as a 64-bit column mask.
inline std::uint64_t LaneMask(__m512i v0, __m512i v1, __m512i v2, __m512i v3, __m512i thr) {
    return std::uint64_t{_mm512_cmpgt_epi32_mask(v0, thr)} |
           std::uint64_t{_mm512_cmpgt_epi32_mask(v1, thr)} << 16 |
           std::uint64_t{_mm512_cmpgt_epi32_mask(v2, thr)} << 32 |
           std::uint64_t{_mm512_cmpgt_epi32_mask(v3, thr)} << 48;
}

// The rare path for one row of a tile whose lanes may enter the row's top two: runs the
// exact rule on the passing lanes in column order. A lane is checked again against the
// row's current threshold, which only tightens as candidates enter.
inline void RareRow(std::int32_t (&acc)[kCols], __m512i v0, __m512i v1, __m512i v2, __m512i v3,
                    __m512i thr, const std::int32_t* r, int col0, RowState* st) {
    _mm512_store_si512(&acc[0], v0);
    _mm512_store_si512(&acc[16], v1);
    _mm512_store_si512(&acc[32], v2);
    _mm512_store_si512(&acc[48], v3);
    for (std::uint64_t m = LaneMask(v0, v1, v2, v3, thr); m != 0; m &= m - 1) {
        const int c = __builtin_ctzll(m);
        if (acc[c] <= st->thr) continue;
        const std::int64_t s = std::int64_t{st->norm} + r[c] - 2 * std::int64_t{acc[c]};
        Offer(st, s, col0 + c);
    }
}

// One row block against the tiles [t0, t1) of the packed second list.
void RowBlock(const Layout& lay, const Scratch& s, int stride, int i0, int t0, int t1) {
    RowState* st = s.state + i0;
    const std::int8_t* a0 = s.a + static_cast<std::size_t>(i0) * stride;
    const std::int8_t* a1 = a0 + stride;
    const std::int8_t* a2 = a1 + stride;
    const std::int8_t* a3 = a2 + stride;
    for (int t = t0; t < t1; ++t) {
        const std::uint8_t* bp = s.panels + static_cast<std::size_t>(t) * lay.tile_bytes;
        const std::int32_t* h = s.h + t * kCols;
        const __m512i h0 = _mm512_load_si512(h), h1 = _mm512_load_si512(h + 16),
                      h2 = _mm512_load_si512(h + 32), h3 = _mm512_load_si512(h + 48);
        __m512i c00 = h0, c01 = h1, c02 = h2, c03 = h3;
        __m512i c10 = h0, c11 = h1, c12 = h2, c13 = h3;
        __m512i c20 = h0, c21 = h1, c22 = h2, c23 = h3;
        __m512i c30 = h0, c31 = h1, c32 = h2, c33 = h3;
        for (int k = 0; k < lay.k4; ++k, bp += kCols * 4) {
            const __m512i b0 = _mm512_load_si512(bp), b1 = _mm512_load_si512(bp + 64),
                          b2 = _mm512_load_si512(bp + 128), b3 = _mm512_load_si512(bp + 192);
            __m512i x = Broadcast4(a0 + 4 * k);
            Dp(c00, b0, x);
            Dp(c01, b1, x);
            Dp(c02, b2, x);
            Dp(c03, b3, x);
            x = Broadcast4(a1 + 4 * k);
            Dp(c10, b0, x);
            Dp(c11, b1, x);
            Dp(c12, b2, x);
            Dp(c13, b3, x);
            x = Broadcast4(a2 + 4 * k);
            Dp(c20, b0, x);
            Dp(c21, b1, x);
            Dp(c22, b2, x);
            Dp(c23, b3, x);
            x = Broadcast4(a3 + 4 * k);
            Dp(c30, b0, x);
            Dp(c31, b1, x);
            Dp(c32, b2, x);
            Dp(c33, b3, x);
        }
        // Filter: a row's lanes can matter only where they exceed its threshold.
        const __m512i thr0 = _mm512_set1_epi32(st[0].thr), thr1 = _mm512_set1_epi32(st[1].thr),
                      thr2 = _mm512_set1_epi32(st[2].thr), thr3 = _mm512_set1_epi32(st[3].thr);
        const __m512i m0 = Max(Max(c00, c01), Max(c02, c03));
        const __m512i m1 = Max(Max(c10, c11), Max(c12, c13));
        const __m512i m2 = Max(Max(c20, c21), Max(c22, c23));
        const __m512i m3 = Max(Max(c30, c31), Max(c32, c33));
        const __mmask16 p0 = _mm512_cmpgt_epi32_mask(m0, thr0);
        const __mmask16 p1 = _mm512_cmpgt_epi32_mask(m1, thr1);
        const __mmask16 p2 = _mm512_cmpgt_epi32_mask(m2, thr2);
        const __mmask16 p3 = _mm512_cmpgt_epi32_mask(m3, thr3);
        if (__builtin_expect((p0 | p1 | p2 | p3) != 0, 0)) {
            // Only the rows whose filter fired are stored and scanned.
            const std::int32_t* r = s.r + t * kCols;
            const int col0 = t * kCols;
            alignas(64) std::int32_t acc[kCols];
            if (p0 != 0) RareRow(acc, c00, c01, c02, c03, thr0, r, col0, &st[0]);
            if (p1 != 0) RareRow(acc, c10, c11, c12, c13, thr1, r, col0, &st[1]);
            if (p2 != 0) RareRow(acc, c20, c21, c22, c23, thr2, r, col0, &st[2]);
            if (p3 != 0) RareRow(acc, c30, c31, c32, c33, thr3, r, col0, &st[3]);
        }
    }
}

}  // namespace

std::size_t VnniScratchBytes(const IntLists& lists) {
    std::size_t parts[5];
    return Sizes(MakeLayout(lists), parts);
}

bool VnniNeighbours(const IntLists& lists, void* scratch, RowResult* out) {
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

}  // namespace fastmatch
