#include "orient/inputs.h"

#include <optional>
#include <utility>

#include "image/image_header.h"
#include "io/file_error.h"
#include "io/read_file.h"

namespace orient {

std::variant<PlotPhotograph, std::string> ReadPhotograph(const std::string& file) {
    io::FileContents read = io::ReadWholeFile(file, kMaxPhotographBytes, "a photograph");
    if (read.error) return read.error->Message();
    PlotPhotograph photograph;
    photograph.bytes = std::move(read.bytes);
    const std::optional<image::ImageHeader> header = image::ReadImageHeader(photograph.bytes);
    // An SVG viewer shows PNG and JPEG only.
    if (!header || header->format == image::ImageFormat::tiff || header->width > kMaxPlotSide ||
        header->height > kMaxPlotSide) {
        return io::ShownName(file, "standard input") + ": not a PNG or JPEG photograph";
    }
    photograph.header = *header;
    return photograph;
}

}  // namespace orient
