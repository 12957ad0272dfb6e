// PNG: an 8-byte signature, then the IHDR chunk with width and height (4 bytes each, big
// endian). JPEG: SOI (FF D8), then marker segments; the first start-of-frame segment (C0 to
// CF except C4, C8 and CC) holds the precision, the height and the width. TIFF: "II*\0"
// (little endian) or "MM\0*" (big endian), the offset of the first directory, and there
// the tags ImageWidth (256) and ImageLength (257).
#include "image/image_header.h"

#include <limits>

#include "image/byte_reader.h"

namespace image {
namespace {

constexpr std::uint32_t kMaxSide = std::numeric_limits<int>::max();
constexpr std::uint16_t kImageWidthTag = 256;
constexpr std::uint16_t kImageLengthTag = 257;

std::optional<ImageHeader> Sized(ImageFormat format, const char* mime, std::uint64_t width,
                                 std::uint64_t height) {
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return std::nullopt;
    return ImageHeader{format, mime, static_cast<int>(width), static_cast<int>(height)};
}

std::optional<ImageHeader> ReadPng(std::string_view bytes) {
    if (bytes.size() < 24 || !IsPng(bytes) || bytes.substr(12, 4) != "IHDR") return std::nullopt;
    return Sized(ImageFormat::png, "image/png", BigEndian(bytes, 16, 4), BigEndian(bytes, 20, 4));
}

bool IsStartOfFrame(unsigned marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

std::optional<ImageHeader> ReadJpeg(std::string_view bytes) {
    if (!IsJpeg(bytes)) return std::nullopt;
    std::size_t at = 2;
    // Every pass moves forward by at least one byte, so the walk ends.
    while (at + 1 < bytes.size()) {
        if (Byte(bytes, at) != 0xFF) return std::nullopt;
        const unsigned marker = Byte(bytes, at + 1);
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        at += 2;
        if (JpegMarkerStandsAlone(marker)) continue;
        if (at + 2 > bytes.size()) return std::nullopt;
        const std::uint32_t length = BigEndian(bytes, at, 2);
        if (length < 2 || at + length > bytes.size()) return std::nullopt;
        if (IsStartOfFrame(marker)) {
            if (length < 7) return std::nullopt;
            return Sized(ImageFormat::jpeg, "image/jpeg", BigEndian(bytes, at + 5, 2),
                         BigEndian(bytes, at + 3, 2));
        }
        at += length;
    }
    return std::nullopt;
}

std::optional<ImageHeader> ReadTiff(std::string_view bytes) {
    const std::optional<TiffDirectory> directory = TiffDirectory::First(bytes);
    if (!directory) return std::nullopt;
    const TiffValues width = directory->Values(kImageWidthTag);
    const TiffValues height = directory->Values(kImageLengthTag);
    if (width.values.size() != 1 || height.values.size() != 1) return std::nullopt;
    return Sized(ImageFormat::tiff, "image/tiff", width.values.front(), height.values.front());
}

}  // namespace

std::optional<ImageHeader> ReadImageHeader(std::string_view bytes) {
    if (auto png = ReadPng(bytes)) return png;
    if (auto tiff = ReadTiff(bytes)) return tiff;
    return ReadJpeg(bytes);
}

}  // namespace image
