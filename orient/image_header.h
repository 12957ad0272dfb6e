// The size and kind of a PNG or JPEG photograph from its header, without decoding it: the
// plot shows the photograph as it is, embedded in the SVG, so orient needs no image library.
#pragma once

#include <optional>
#include <string_view>

namespace orient {

struct ImageHeader {
    const char* mime_type = "";  // "image/png" or "image/jpeg"
    int width = 0;               // pixels
    int height = 0;
};

// The header of a whole PNG or JPEG file's bytes, or nullopt when the bytes are neither
// (or the size is missing, zero or above 1000000 pixels per side).
std::optional<ImageHeader> ReadImageHeader(std::string_view bytes);

}  // namespace orient
