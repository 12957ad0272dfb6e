// The photograph-header reader of the plot on arbitrary bytes. Besides the sanitizers'
// checks: an accepted header names PNG or JPEG with a size within the limits, and the
// bytes that follow the header never change what it says for a PNG.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "orient/image_header.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto header = orient::ReadImageHeader(bytes);
    if (!header) return 0;
    const std::string_view mime = header->mime_type;
    FUZZ_CHECK(mime == "image/png" || mime == "image/jpeg", "a known kind");
    FUZZ_CHECK(header->width > 0 && header->width <= 1000000, "a width within the limits");
    FUZZ_CHECK(header->height > 0 && header->height <= 1000000, "a height within the limits");
    if (mime == "image/png") {
        const auto again = orient::ReadImageHeader(bytes.substr(0, 24));
        FUZZ_CHECK(again && again->width == header->width && again->height == header->height,
                   "a PNG's size is in its first 24 bytes");
    }
    return 0;
}
