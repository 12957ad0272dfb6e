// The camera-file parser on arbitrary bytes. Besides the sanitizers' checks: an accepted
// file gives a usable camera that its formatted text gives back exactly (every field, to the
// last bit), a refusal names a line of the file and a reason, and CR LF line ends change
// nothing.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "camera/camera_file.h"
#include "fuzz/fuzz_check.h"

namespace {

using ro::Camera;
using ro::CameraFileError;
using ro::CameraFileResult;

int LineCount(std::string_view text) {
    int lines = 0;
    for (const char c : text) lines += c == '\n';
    return lines + (!text.empty() && text.back() != '\n');
}

std::string WithCrLf(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

bool SameResult(const CameraFileResult& a, const CameraFileResult& b) {
    if (a.index() != b.index()) return false;
    if (const Camera* camera = std::get_if<Camera>(&a)) {
        return *camera == std::get<Camera>(b);
    }
    return std::get<CameraFileError>(a).line == std::get<CameraFileError>(b).line &&
           std::get<CameraFileError>(a).reason == std::get<CameraFileError>(b).reason;
}

void CheckAccepted(const Camera& camera) {
    FUZZ_CHECK(ro::IsUsable(camera), "an accepted camera is usable");
    const CameraFileResult again = ro::ParseCameraText(ro::FormatCameraText(camera));
    FUZZ_CHECK(std::holds_alternative<Camera>(again), "a formatted camera reads back");
    FUZZ_CHECK(std::get<Camera>(again) == camera, "a formatted camera reads back exactly");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const CameraFileResult parsed = ro::ParseCameraText(text);
    if (const Camera* camera = std::get_if<Camera>(&parsed)) {
        CheckAccepted(*camera);
    } else {
        const CameraFileError& error = std::get<CameraFileError>(parsed);
        FUZZ_CHECK(error.line >= 0 && error.line <= LineCount(text), "the line is in the file");
        FUZZ_CHECK(!error.reason.empty(), "a refusal gives its reason");
    }
    FUZZ_CHECK(SameResult(ro::ParseCameraText(WithCrLf(text)), parsed), "CR LF reads the same");
    return 0;
}
