// The EXIF reader of siftkey --camera on arbitrary bytes (libexif's parser and ours on its
// entries). Besides the sanitizers' checks: there is either a camera file or a reason, never
// both or neither, and every camera file written reads back with the camera-file parser.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "camera/camera_file.h"
#include "fuzz/fuzz_check.h"
#include "siftkey/exif_camera.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The decoded size from the first two bytes, so that resized photographs are reached.
    const int width = 1 + data[0] * 40;
    const int height = 1 + data[1] * 30;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    const siftkey::ExifCamera camera = siftkey::CameraFromExif(bytes, width, height, "fuzz.jpg");
    FUZZ_CHECK(camera.text.empty() != camera.missing.empty(), "a camera or a reason, not both");
    if (!camera.text.empty()) {
        FUZZ_CHECK(std::holds_alternative<ro::Camera>(ro::ParseCameraText(camera.text)),
                   "the camera file written reads back");
    }
    return 0;
}
