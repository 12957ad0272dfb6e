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

#include "keypoints/kernels/row_state.h"

namespace keypoints::kernels {
namespace {

constexpr int kRows = 4;         // rows of the first list per register tile
constexpr int kCols = 64;        // columns per register tile (four vectors of 16)
constexpr int kChunkTiles = 32;  // tiles per L2 chunk: 2048 columns, 256 KiB at 128 dims
constexpr std::ptrdiff_t kGroupBytes =
    std::ptrdiff_t{kCols} * 4;  // one group of four values, every column

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
    std::int32_t* seed;    // rows: lane threshold from the first tile (see SeedThreshold)
};

constexpr int kParts = 6;

std::size_t Sizes(const Layout& lay, std::size_t* parts) {
    const std::size_t cols = static_cast<std::size_t>(lay.tiles) * kCols;
    parts[0] = lay.tile_bytes * static_cast<std::size_t>(lay.tiles);
    parts[1] = cols * sizeof(std::int32_t);
    parts[2] = cols * sizeof(std::int32_t);
    parts[3] = static_cast<std::size_t>(lay.rows) * static_cast<std::size_t>(lay.stride);
    parts[4] = static_cast<std::size_t>(lay.rows) * sizeof(RowState);
    parts[5] = static_cast<std::size_t>(lay.rows) * sizeof(std::int32_t);
    std::size_t total = 64;
    for (int i = 0; i < kParts; ++i) total += AlignUp(parts[i], 64);
    return total;
}

Scratch Carve(void* raw, const Layout& lay) {
    std::size_t parts[kParts];
    Sizes(lay, parts);
    std::byte* p = AlignedFrom(raw, 64);
    std::byte* at[kParts];
    for (int i = 0; i < kParts; ++i) {
        at[i] = p;
        p += AlignUp(parts[i], 64);
    }
    return Scratch{reinterpret_cast<std::uint8_t*>(at[0]), reinterpret_cast<std::int32_t*>(at[1]),
                   reinterpret_cast<std::int32_t*>(at[2]), reinterpret_cast<std::int8_t*>(at[3]),
                   reinterpret_cast<RowState*>(at[4]),     reinterpret_cast<std::int32_t*>(at[5])};
}

// The low byte of each lane. (The plain intrinsic's undefined pass-through operand trips
// GCC 12's maybe-uninitialized warning; a zeroing full mask gives the same instruction.)
inline __m128i LowBytes(__m512i v) { return _mm512_maskz_cvtepi32_epi8(0xFFFF, v); }

// Sum of the 16 lanes.
inline std::int32_t LaneSum(__m512i v) {
    alignas(64) std::int32_t lanes[16];
    _mm512_store_si512(lanes, v);
    std::int32_t sum = 0;
    for (std::int32_t x : lanes) sum += x;
    return sum;
}

// Packs the second list and its per-column terms; padding columns never pass a filter.
// False when some value is outside 0..255. Sixteen values at a time: each group of four
// goes to its own 4-byte slot of the column in the tile.
bool PackSecond(const IntLists& l, const Layout& lay, const Scratch& s) {
    std::memset(s.panels, 0, lay.tile_bytes * static_cast<std::size_t>(lay.tiles));
    for (int j = 0; j < lay.tiles * kCols; ++j) {
        s.h[j] = INT32_MIN;
        s.r[j] = 0;
    }
    const __m512i byte = _mm512_set1_epi32(0xFF);
    const int whole = l.dims / 16 * 16;
    bool bad = false;
    for (int j = 0; j < l.n2; ++j) {
        const int* b = l.b[j];
        std::uint8_t* col = s.panels + static_cast<std::size_t>(j / kCols) * lay.tile_bytes +
                            static_cast<std::size_t>(j % kCols) * 4;
        __m512i vsq = _mm512_setzero_si512();
        __m512i vsum = _mm512_setzero_si512();
        __mmask16 out = 0;
        for (int k = 0; k < whole; k += 16) {
            __m512i v = _mm512_loadu_si512(b + k);
            out |= _mm512_cmpgt_epu32_mask(v, byte);
            v = _mm512_and_si512(v, byte);
            vsq = _mm512_add_epi32(vsq, _mm512_madd_epi16(v, v));  // high halves are 0
            vsum = _mm512_add_epi32(vsum, v);
            const __m128i packed = LowBytes(v);
            std::uint8_t* dst = col + static_cast<std::size_t>(k / 4) * kCols * 4;
            const std::int32_t g0 = _mm_cvtsi128_si32(packed), g1 = _mm_extract_epi32(packed, 1),
                               g2 = _mm_extract_epi32(packed, 2), g3 = _mm_extract_epi32(packed, 3);
            std::memcpy(dst, &g0, 4);
            std::memcpy(dst + kGroupBytes, &g1, 4);
            std::memcpy(dst + 2 * kGroupBytes, &g2, 4);
            std::memcpy(dst + 3 * kGroupBytes, &g3, 4);
        }
        bad |= out != 0;
        std::int32_t sq = LaneSum(vsq);
        std::int32_t sum = LaneSum(vsum);
        for (int k = whole; k < l.dims; ++k) {
            const int v = Checked(b[k], &bad);
            sq += v * v;
            sum += v;
            col[(k / 4) * kCols * 4 + k % 4] = static_cast<std::uint8_t>(v);
        }
        const std::int32_t q = sq - 256 * sum;
        // -ceil(q / 2) for either sign of q.
        s.h[j] = q >= 0 ? -((q + 1) / 2) : -(q / 2);
        s.r[j] = q + 2 * s.h[j];
    }
    return !bad;
}

// Packs the first list as signed bytes a - 128 and starts every row. Padding rows are
// all-zero descriptors (bytes -128, norm 0), so their squared distances stay real and
// non-negative; padding components meet only zero bytes of the second list.
bool PackFirst(const IntLists& l, const Layout& lay, const Scratch& s) {
    std::memset(s.a, 0x80, static_cast<std::size_t>(lay.rows) * lay.stride);
    const __m512i byte = _mm512_set1_epi32(0xFF);
    const __m512i half = _mm512_set1_epi32(128);
    const int whole = l.dims / 16 * 16;
    bool bad = false;
    for (int i = 0; i < lay.rows; ++i) {
        std::int32_t norm = 0;
        if (i < l.n1) {
            const int* a = l.a[i];
            std::int8_t* dst = s.a + static_cast<std::size_t>(i) * lay.stride;
            __m512i vsq = _mm512_setzero_si512();
            __mmask16 out = 0;
            for (int k = 0; k < whole; k += 16) {
                __m512i v = _mm512_loadu_si512(a + k);
                out |= _mm512_cmpgt_epu32_mask(v, byte);
                v = _mm512_and_si512(v, byte);
                vsq = _mm512_add_epi32(vsq, _mm512_madd_epi16(v, v));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + k),
                                 LowBytes(_mm512_sub_epi32(v, half)));
            }
            bad |= out != 0;
            norm = LaneSum(vsq);
            for (int k = whole; k < l.dims; ++k) {
                const int v = Checked(a[k], &bad);
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
inline __m512i Min(__m512i x, __m512i y) { return _mm512_mask_min_epi32(x, 0xFFFF, x, y); }

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

inline void RaiseTo(RowState* st, std::int32_t floor_thr) {
    if (st->thr < floor_thr) st->thr = floor_thr;
}

// The rare path for one row of a tile whose lanes may enter the row's top two: runs the
// exact rule on the passing lanes in column order. A lane is checked again against the
// row's current threshold, which only tightens as candidates enter.
inline void RareRow(const std::int32_t* acc, const std::int32_t* r, int col0, RowState* st,
                    std::int32_t seed) {
    const __m512i thr = _mm512_set1_epi32(st->thr);
    std::uint64_t m = LaneMask(_mm512_load_si512(acc), _mm512_load_si512(acc + 16),
                               _mm512_load_si512(acc + 32), _mm512_load_si512(acc + 48), thr);
    for (; m != 0; m &= m - 1) {
        const int c = __builtin_ctzll(m);
        if (acc[c] <= st->thr) continue;
        const std::int64_t sq = std::int64_t{st->norm} + r[c] - 2 * std::int64_t{acc[c]};
        Offer(st, sq, col0 + c);
        RaiseTo(st, seed);
    }
}

// The 16 accumulators of one register tile: row q, columns 16 v .. 16 v + 15 in cqv.
struct Acc {
    __m512i c00, c01, c02, c03, c10, c11, c12, c13, c20, c21, c22, c23, c30, c31, c32, c33;
};

// Tile t of the packed second list against four packed first-list rows.
__attribute__((always_inline)) inline void Tile(const Layout& lay, const Scratch& s, int t,
                                                const std::int8_t* a0, int stride, Acc& c) {
    const std::int8_t* a1 = a0 + stride;
    const std::int8_t* a2 = a1 + stride;
    const std::int8_t* a3 = a2 + stride;
    const std::uint8_t* bp = s.panels + static_cast<std::size_t>(t) * lay.tile_bytes;
    const std::int32_t* h = s.h + std::ptrdiff_t{kCols} * t;
    const __m512i h0 = _mm512_load_si512(h), h1 = _mm512_load_si512(h + 16),
                  h2 = _mm512_load_si512(h + 32), h3 = _mm512_load_si512(h + 48);
    c.c00 = h0, c.c01 = h1, c.c02 = h2, c.c03 = h3;
    c.c10 = h0, c.c11 = h1, c.c12 = h2, c.c13 = h3;
    c.c20 = h0, c.c21 = h1, c.c22 = h2, c.c23 = h3;
    c.c30 = h0, c.c31 = h1, c.c32 = h2, c.c33 = h3;
    for (std::ptrdiff_t k = 0; k < lay.k4; ++k, bp += kGroupBytes) {
        const __m512i b0 = _mm512_load_si512(bp), b1 = _mm512_load_si512(bp + 64),
                      b2 = _mm512_load_si512(bp + 128), b3 = _mm512_load_si512(bp + 192);
        __m512i x = Broadcast4(a0 + 4 * k);
        Dp(c.c00, b0, x);
        Dp(c.c01, b1, x);
        Dp(c.c02, b2, x);
        Dp(c.c03, b3, x);
        x = Broadcast4(a1 + 4 * k);
        Dp(c.c10, b0, x);
        Dp(c.c11, b1, x);
        Dp(c.c12, b2, x);
        Dp(c.c13, b3, x);
        x = Broadcast4(a2 + 4 * k);
        Dp(c.c20, b0, x);
        Dp(c.c21, b1, x);
        Dp(c.c22, b2, x);
        Dp(c.c23, b3, x);
        x = Broadcast4(a3 + 4 * k);
        Dp(c.c30, b0, x);
        Dp(c.c31, b1, x);
        Dp(c.c32, b2, x);
        Dp(c.c33, b3, x);
    }
}

// Squared distances s = |a|^2 + r - 2 acc of 16 columns; INT32_MAX where a column is
// padding (outside `valid`). Exact in 32 bits for real columns.
inline __m512i Squared(__m512i acc, const std::int32_t* r, __m512i norm, __mmask16 valid) {
    const __m512i sv =
        _mm512_sub_epi32(_mm512_add_epi32(norm, _mm512_load_si512(r)), _mm512_add_epi32(acc, acc));
    return _mm512_mask_mov_epi32(_mm512_set1_epi32(INT32_MAX), valid, sv);
}

// The first columns of the sweep seed each row's filter. If u is the second smallest
// integer distance among them (counting a repeated minimum twice), the row's final
// second-nearest distance is at most u, and a candidate with a distance above u can never
// be one of the two kept: at least two others come before it in (distance, column) order,
// which is the order the exact rule keeps. So only s < (u + 1)^2 can matter anywhere in
// the row. The bound only ever raises the lane threshold; every candidate that passes is
// still decided by the exact rule, in column order, against the row's own t2.
//
// Takes the two smallest sampled squared distances of each lane (INT32_MAX for padding)
// and returns the squared bound (INT32_MAX when fewer than two real columns were sampled).
inline std::int32_t SeedBound(__m512i lo1, __m512i lo2) {
    // The two smallest values overall are among the two smallest of each lane.
    alignas(64) std::int32_t lanes[32];
    _mm512_store_si512(lanes, lo1);
    _mm512_store_si512(lanes + 16, lo2);
    std::int32_t m1 = INT32_MAX;
    std::int32_t m2 = INT32_MAX;  // a repeated minimum counts twice
    for (std::int32_t x : lanes) {
        m2 = x < m2 ? (x < m1 ? m1 : x) : m2;
        m1 = x < m1 ? x : m1;
    }
    if (m2 == INT32_MAX) return INT32_MAX;
    const std::int64_t u = RootOf(m2) + 1;
    return u * u > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(u * u);
}

// Valid-column mask of 16 lanes starting at column `col`.
inline __mmask16 ValidLanes(int col, int n2) {
    const int left = n2 - col;
    return left >= 16  ? static_cast<__mmask16>(0xFFFF)
           : left <= 0 ? static_cast<__mmask16>(0)
                       : static_cast<__mmask16>((1u << left) - 1);
}

constexpr int kSeedTiles = 4;  // 256 columns sampled per row

// The first tiles of the sweep for a row block: their squared distances are kept, each
// row's bound is taken over all of them, and then their candidates below the bound go
// through the exact rule in column order. Returns the number of tiles handled.
int SeedRows(const Layout& lay, const Scratch& s, int stride, int i0, int t1, int n2) {
    const int tiles = t1 < kSeedTiles ? t1 : kSeedTiles;
    alignas(64) std::int32_t sq[kRows][kSeedTiles * kCols];
    RowState* st = s.state + i0;
    const std::int8_t* a0 = s.a + static_cast<std::size_t>(i0) * stride;
    // The raw accumulators first (nothing else live beside the tile), distances after.
    for (int t = 0; t < tiles; ++t) {
        Acc c;
        Tile(lay, s, t, a0, stride, c);
        const int col0 = t * kCols;
        std::int32_t* q0 = sq[0] + col0;
        std::int32_t* q1 = sq[1] + col0;
        std::int32_t* q2 = sq[2] + col0;
        std::int32_t* q3 = sq[3] + col0;
        _mm512_store_si512(q0, c.c00);
        _mm512_store_si512(q0 + 16, c.c01);
        _mm512_store_si512(q0 + 32, c.c02);
        _mm512_store_si512(q0 + 48, c.c03);
        _mm512_store_si512(q1, c.c10);
        _mm512_store_si512(q1 + 16, c.c11);
        _mm512_store_si512(q1 + 32, c.c12);
        _mm512_store_si512(q1 + 48, c.c13);
        _mm512_store_si512(q2, c.c20);
        _mm512_store_si512(q2 + 16, c.c21);
        _mm512_store_si512(q2 + 32, c.c22);
        _mm512_store_si512(q2 + 48, c.c23);
        _mm512_store_si512(q3, c.c30);
        _mm512_store_si512(q3 + 16, c.c31);
        _mm512_store_si512(q3 + 32, c.c32);
        _mm512_store_si512(q3 + 48, c.c33);
    }
    const int vectors = tiles * (kCols / 16);
    for (int q = 0; q < kRows; ++q) {
        const __m512i norm = _mm512_set1_epi32(st[q].norm);
        __m512i lo1 = _mm512_set1_epi32(INT32_MAX);  // per lane: smallest so far
        __m512i lo2 = lo1;                           // per lane: second smallest so far
        for (int v = 0; v < vectors; ++v) {
            std::int32_t* x = sq[q] + std::ptrdiff_t{16} * v;
            const __m512i d = Squared(_mm512_load_si512(x), s.r + std::ptrdiff_t{16} * v, norm,
                                      ValidLanes(16 * v, n2));
            _mm512_store_si512(x, d);
            lo2 = Min(lo2, Max(lo1, d));
            lo1 = Min(lo1, d);
        }
        const std::int32_t bound = SeedBound(lo1, lo2);
        s.seed[i0 + q] = bound == INT32_MAX ? kLowestThreshold : Threshold(st[q].norm, bound);
        RaiseTo(&st[q], s.seed[i0 + q]);
        const __m512i vb = _mm512_set1_epi32(bound);
        for (int v = 0; v < vectors; ++v) {
            const __m512i x = _mm512_load_si512(sq[q] + std::ptrdiff_t{16} * v);
            for (unsigned m = _mm512_cmplt_epi32_mask(x, vb); m != 0; m &= m - 1) {
                const int c = 16 * v + __builtin_ctz(m);
                Offer(&st[q], sq[q][c], c);
                RaiseTo(&st[q], s.seed[i0 + q]);
            }
        }
    }
    return tiles;
}

// The 16 accumulators of a tile to memory, row by row.
inline void StoreTile(const Acc& c, std::int32_t (*acc)[kCols]) {
    _mm512_store_si512(&acc[0][0], c.c00);
    _mm512_store_si512(&acc[0][16], c.c01);
    _mm512_store_si512(&acc[0][32], c.c02);
    _mm512_store_si512(&acc[0][48], c.c03);
    _mm512_store_si512(&acc[1][0], c.c10);
    _mm512_store_si512(&acc[1][16], c.c11);
    _mm512_store_si512(&acc[1][32], c.c12);
    _mm512_store_si512(&acc[1][48], c.c13);
    _mm512_store_si512(&acc[2][0], c.c20);
    _mm512_store_si512(&acc[2][16], c.c21);
    _mm512_store_si512(&acc[2][32], c.c22);
    _mm512_store_si512(&acc[2][48], c.c23);
    _mm512_store_si512(&acc[3][0], c.c30);
    _mm512_store_si512(&acc[3][16], c.c31);
    _mm512_store_si512(&acc[3][32], c.c32);
    _mm512_store_si512(&acc[3][48], c.c33);
}

// The exact rule on the stored tile t for the rows whose bits are set in `fired`.
inline void RareTile(const Scratch& s, std::int32_t (*acc)[kCols], unsigned fired, int t,
                     RowState* st, const std::int32_t* seed) {
    const std::int32_t* r = s.r + std::ptrdiff_t{kCols} * t;
    for (unsigned f = fired; f != 0; f &= f - 1) {
        const int q = __builtin_ctz(f);
        RareRow(acc[q], r, t * kCols, &st[q], seed[q]);
    }
}

// One row block against the tiles [t0, t1) of the packed second list.
//
// Every tile's accumulators go to memory (one of two buffers) and its filter result is
// acted on only after the next tile's multiply-adds: by then the branch's input is long
// known, so a taken branch costs a redirect instead of discarding the speculative work
// of a whole tile. The exact rule still sees the tiles in column order, and a tile is
// filtered with the thresholds left by every tile before it.
void RowBlock(const Layout& lay, const Scratch& s, int stride, int i0, int t0, int t1, int n2) {
    RowState* st = s.state + i0;
    const std::int32_t* seed = s.seed + i0;
    const std::int8_t* a0 = s.a + static_cast<std::size_t>(i0) * stride;
    if (t0 == 0) t0 = SeedRows(lay, s, stride, i0, t1, n2);
    alignas(64) std::int32_t acc[2][kRows][kCols];
    unsigned pending = 0;  // rows of tile t - 1 whose filter fired
    for (int t = t0; t < t1; ++t) {
        Acc c;
        Tile(lay, s, t, a0, stride, c);
        const __m512i m0 = Max(Max(c.c00, c.c01), Max(c.c02, c.c03));
        const __m512i m1 = Max(Max(c.c10, c.c11), Max(c.c12, c.c13));
        const __m512i m2 = Max(Max(c.c20, c.c21), Max(c.c22, c.c23));
        const __m512i m3 = Max(Max(c.c30, c.c31), Max(c.c32, c.c33));
        StoreTile(c, acc[t & 1]);
        if (__builtin_expect(pending != 0, 0))
            RareTile(s, acc[(t - 1) & 1], pending, t - 1, st, seed);
        // Filter: a row's lanes can matter only where they exceed its threshold.
        const __m512i thr0 = _mm512_set1_epi32(st[0].thr), thr1 = _mm512_set1_epi32(st[1].thr),
                      thr2 = _mm512_set1_epi32(st[2].thr), thr3 = _mm512_set1_epi32(st[3].thr);
        pending = (_mm512_cmpgt_epi32_mask(m0, thr0) != 0) |
                  (_mm512_cmpgt_epi32_mask(m1, thr1) != 0) << 1 |
                  (_mm512_cmpgt_epi32_mask(m2, thr2) != 0) << 2 |
                  (_mm512_cmpgt_epi32_mask(m3, thr3) != 0) << 3;
    }
    if (pending != 0) RareTile(s, acc[(t1 - 1) & 1], pending, t1 - 1, st, seed);
}

}  // namespace

std::size_t VnniScratchBytes(const IntLists& lists) {
    std::size_t parts[kParts];
    return Sizes(MakeLayout(lists), parts);
}

bool VnniNeighbours(const IntLists& lists, void* scratch, RowResult* out) {
    const Layout lay = MakeLayout(lists);
    const Scratch s = Carve(scratch, lay);
    if (!PackSecond(lists, lay, s) || !PackFirst(lists, lay, s)) return false;
    for (int t0 = 0; t0 < lay.tiles; t0 += kChunkTiles) {
        const int t1 = t0 + kChunkTiles < lay.tiles ? t0 + kChunkTiles : lay.tiles;
        for (int i0 = 0; i0 < lay.rows; i0 += kRows)
            RowBlock(lay, s, lay.stride, i0, t0, t1, lists.n2);
    }
    for (int i = 0; i < lists.n1; ++i) StoreRow(s.state[i], &out[i]);
    return true;
}

}  // namespace keypoints::kernels
