#include "image/image_integrity.h"

#include <cstdint>
#include <tuple>

#include "image/byte_reader.h"

namespace image {
namespace {

constexpr std::uint16_t kStripOffsetsTag = 273;
constexpr std::uint16_t kStripByteCountsTag = 279;
constexpr std::uint16_t kTileOffsetsTag = 324;
constexpr std::uint16_t kTileByteCountsTag = 325;

std::optional<std::string> PngIncomplete(std::string_view bytes) {
    // Each chunk: length (4 bytes, big endian), type (4), data, CRC (4).
    std::size_t at = 8;
    while (bytes.size() - at >= 12) {
        const std::uint64_t length = BigEndian(bytes, at, 4);
        if (length > bytes.size() - at - 12) return "a PNG chunk runs past the end of the file";
        if (bytes.substr(at + 4, 4) == "IEND") return std::nullopt;
        at += 12 + static_cast<std::size_t>(length);
    }
    return "the PNG data ends before its IEND chunk";
}

// From `at`, just after a start-of-scan segment, to the marker that ends the entropy-coded
// data (where FF is followed by neither a stuffed 00, a restart marker nor a fill byte).
// nullopt when the bytes end first.
std::optional<std::size_t> EndOfScan(std::string_view bytes, std::size_t at) {
    while (at + 1 < bytes.size()) {
        if (Byte(bytes, at) != 0xFF) {
            ++at;
            continue;
        }
        const unsigned next = Byte(bytes, at + 1);
        if (next == 0xFF) {
            ++at;
        } else if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
            at += 2;
        } else {
            return at;
        }
    }
    return std::nullopt;
}

std::optional<std::string> JpegIncomplete(std::string_view bytes) {
    constexpr unsigned kStartOfScan = 0xDA;
    constexpr unsigned kEndOfImage = 0xD9;
    const std::string cut = "the JPEG data ends before its end-of-image marker";
    bool scanned = false;
    std::size_t at = 2;
    // Every pass moves forward by at least one byte, so the walk ends.
    while (at + 1 < bytes.size()) {
        if (Byte(bytes, at) != 0xFF) return "the JPEG data holds bytes where a marker belongs";
        const unsigned marker = Byte(bytes, at + 1);
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        at += 2;
        if (marker == kEndOfImage) {
            if (!scanned) return "the JPEG data ends before its image data";
            return std::nullopt;
        }
        if (JpegMarkerStandsAlone(marker)) continue;
        if (at + 2 > bytes.size()) return cut;
        const std::uint32_t length = BigEndian(bytes, at, 2);
        if (length < 2) return "a JPEG marker segment has an impossible length";
        if (length > bytes.size() - at) return cut;
        at += length;
        if (marker == kStartOfScan) {
            const std::optional<std::size_t> end = EndOfScan(bytes, at);
            if (!end) return cut;
            at = *end;
            scanned = true;
        }
    }
    return cut;
}

// Each piece (strip or tile) of the first image lies within the file.
std::optional<std::string> TiffIncomplete(std::string_view bytes) {
    const std::optional<TiffDirectory> directory = TiffDirectory::First(bytes);
    if (!directory) return "the TIFF directory lies beyond the end of the file";
    if (!directory->Whole()) return "the TIFF directory's values lie beyond the end of the file";
    for (const auto& [offsets_tag, counts_tag, piece] :
         {std::tuple{kStripOffsetsTag, kStripByteCountsTag, "strip"},
          std::tuple{kTileOffsetsTag, kTileByteCountsTag, "tile"}}) {
        const TiffValues offsets = directory->Values(offsets_tag);
        const TiffValues counts = directory->Values(counts_tag);
        if (!offsets.present) continue;
        if (!offsets.inside || (counts.present && !counts.inside)) {
            return std::string("the TIFF ") + piece + " table lies beyond the end of the file";
        }
        for (std::size_t k = 0; k < offsets.values.size() && k < counts.values.size(); ++k) {
            const std::uint64_t end =
                static_cast<std::uint64_t>(offsets.values[k]) + counts.values[k];
            if (end > bytes.size()) {
                return std::string("TIFF ") + piece + " " + std::to_string(k + 1) + " of " +
                       std::to_string(offsets.values.size()) + " lies beyond the end of the file";
            }
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> WhyIncomplete(std::string_view bytes) {
    if (IsPng(bytes)) return PngIncomplete(bytes);
    if (IsJpeg(bytes)) return JpegIncomplete(bytes);
    if (IsTiff(bytes)) return TiffIncomplete(bytes);
    return std::nullopt;
}

}  // namespace image
