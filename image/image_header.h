// The size and kind of a PNG, JPEG or TIFF image from its header, without decoding it:
// orient embeds a photograph in its SVG plot without an image library, and siftkey refuses
// an image too large to detect in before its decoder allocates the pixels.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace image {

enum class ImageFormat { png, jpeg, tiff };

struct ImageHeader {
    ImageFormat format = ImageFormat::png;
    const char* mime_type = "";  // "image/png", "image/jpeg" or "image/tiff"
    int width = 0;               // pixels
    int height = 0;

    std::uint64_t Pixels() const {
        return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    }
};

// The header of a PNG, JPEG or TIFF file from its first bytes (a PNG's size is in its first
// 24; a JPEG's frame header and a TIFF's first directory must be among `bytes`), or nullopt
// when the bytes are none of these, the size is missing or zero, or a side exceeds
// 2147483647 pixels. Only the first image of a TIFF file is read; BigTIFF is not.
std::optional<ImageHeader> ReadImageHeader(std::string_view bytes);

}  // namespace image
