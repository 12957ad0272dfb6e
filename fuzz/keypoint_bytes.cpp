#include "fuzz/keypoint_bytes.h"

#include <array>
#include <climits>

namespace {

struct ByteReader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;
    std::uint8_t Next() { return pos < size ? data[pos++] : 0; }
};

// Values of the wide mode: the byte's low bits pick a small signed value, a few codes
// pick extremes.
int WideValue(std::uint8_t b) {
    static constexpr std::array<int, 8> kExtremes = {INT_MIN, INT_MAX,     -4095, 4095,
                                                     -1,      INT_MIN + 1, 65536, 256};
    if (b >= 248) return kExtremes[static_cast<std::size_t>(b - 248)];
    return static_cast<int>(b) - 124;
}

keypoints::KeypointList DecodeList(ByteReader& in, int count, int dims, bool wide) {
    keypoints::KeypointList list(static_cast<std::size_t>(count));
    for (KeypointSt& key : list) {
        key.row = static_cast<float>(in.Next()) * 0.25f;
        key.col = static_cast<float>(in.Next()) * 0.5f;
        key.scale = 1.5f;
        key.ori = -0.25f;
        key.descrip.resize(static_cast<std::size_t>(dims > 0 ? dims : 0));
        for (int& v : key.descrip) {
            const std::uint8_t b = in.Next();
            v = wide ? WideValue(b) : b;
        }
    }
    return list;
}

}  // namespace

KeypointPair DecodeKeypointPair(const std::uint8_t* data, std::size_t size) {
    ByteReader in{data, size};
    KeypointPair pair;
    const std::uint8_t d = in.Next();
    // Lengths up to 300 cover the vector kernels' tails; 255 reads as a negative length,
    // which a header may announce.
    pair.dims = d == 255 ? -1 : (d % 160) + (d >= 160 ? 140 : 0);
    const int n1 = in.Next() % 24;
    const int n2 = in.Next() % 40;
    const bool wide = (in.Next() & 1) != 0;
    pair.keys1 = DecodeList(in, n1, pair.dims, wide);
    pair.keys2 = DecodeList(in, n2, pair.dims, wide);
    return pair;
}
