// PNG: an 8-byte signature, then the IHDR chunk with width and height (4 bytes each, big
// endian). JPEG: SOI (FF D8), then marker segments; the first start-of-frame segment (C0 to
// CF except C4, C8 and CC) holds the precision, the height and the width.
#include "orient/image_header.h"

#include <cstdint>

namespace orient {
namespace {

constexpr int kMaxSide = 1000000;

std::uint32_t BigEndian(std::string_view bytes, std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int k = 0; k < count; ++k) value = value << 8 | static_cast<unsigned char>(bytes[at + k]);
    return value;
}

std::optional<ImageHeader> Sized(const char* mime, std::uint32_t width, std::uint32_t height) {
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return std::nullopt;
    return ImageHeader{mime, static_cast<int>(width), static_cast<int>(height)};
}

std::optional<ImageHeader> ReadPng(std::string_view bytes) {
    constexpr std::string_view kSignature("\x89PNG\r\n\x1a\n", 8);
    if (bytes.size() < 24 || bytes.substr(0, 8) != kSignature || bytes.substr(12, 4) != "IHDR") {
        return std::nullopt;
    }
    return Sized("image/png", BigEndian(bytes, 16, 4), BigEndian(bytes, 20, 4));
}

bool IsStartOfFrame(unsigned marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Markers that stand alone, without a length: TEM, the restart markers, SOI and EOI.
bool StandsAlone(unsigned marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9); }

std::optional<ImageHeader> ReadJpeg(std::string_view bytes) {
    if (bytes.size() < 4 || static_cast<unsigned char>(bytes[0]) != 0xFF ||
        static_cast<unsigned char>(bytes[1]) != 0xD8) {
        return std::nullopt;
    }
    std::size_t at = 2;
    // Every pass moves forward by at least one byte, so the walk ends.
    while (at + 1 < bytes.size()) {
        if (static_cast<unsigned char>(bytes[at]) != 0xFF) return std::nullopt;
        const auto marker = static_cast<unsigned char>(bytes[at + 1]);
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        at += 2;
        if (StandsAlone(marker)) continue;
        if (at + 2 > bytes.size()) return std::nullopt;
        const std::uint32_t length = BigEndian(bytes, at, 2);
        if (length < 2 || at + length > bytes.size()) return std::nullopt;
        if (IsStartOfFrame(marker)) {
            if (length < 7) return std::nullopt;
            return Sized("image/jpeg", BigEndian(bytes, at + 5, 2), BigEndian(bytes, at + 3, 2));
        }
        at += length;
    }
    return std::nullopt;
}

}  // namespace

std::optional<ImageHeader> ReadImageHeader(std::string_view bytes) {
    if (auto png = ReadPng(bytes)) return png;
    return ReadJpeg(bytes);
}

}  // namespace orient
