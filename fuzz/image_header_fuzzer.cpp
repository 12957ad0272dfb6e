// The image header reader, the completeness check and siftkey's pixel limit on arbitrary
// bytes. Besides the sanitizers' checks: an accepted header names PNG, JPEG or TIFF with a
// positive size, the bytes that follow a PNG's header never change what it says, and the
// pixel limit refuses exactly the headers above it, naming the size.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "image/image_header.h"
#include "image/image_integrity.h"
#include "siftkey/pixel_limit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto incomplete = image::WhyIncomplete(bytes);
    FUZZ_CHECK(!incomplete || !incomplete->empty(), "a reason is never empty");
    // A limit taken from the input itself, so that both sides of it are reached.
    const std::uint64_t max_pixels = size < 4 ? 1 : (std::uint64_t{data[0]} << 24 | data[1]);
    const auto refusal =
        siftkey::HeaderPixelLimitRefusal(bytes, max_pixels + 1, siftkey::kDefaultMaxSide);
    const auto header = image::ReadImageHeader(bytes);
    if (!header) {
        FUZZ_CHECK(!refusal, "no refusal without a header");
        return 0;
    }
    const std::string_view mime = header->mime_type;
    FUZZ_CHECK(mime == "image/png" || mime == "image/jpeg" || mime == "image/tiff", "a known kind");
    FUZZ_CHECK(header->width > 0 && header->height > 0, "a positive size");
    FUZZ_CHECK(refusal.has_value() == (header->Pixels() > max_pixels + 1),
               "refused exactly above the limit");
    if (refusal) {
        const std::string size_text =
            std::to_string(header->width) + " x " + std::to_string(header->height) + " pixels";
        FUZZ_CHECK(refusal->rfind(size_text, 0) == 0, "the refusal names the size");
    }
    if (mime == "image/png") {
        const auto again = image::ReadImageHeader(bytes.substr(0, 24));
        FUZZ_CHECK(again && again->width == header->width && again->height == header->height,
                   "a PNG's size is in its first 24 bytes");
    }
    return 0;
}
