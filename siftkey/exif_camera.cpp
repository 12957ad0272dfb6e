#include "siftkey/exif_camera.h"

#include <libexif/exif-data.h>

#include <cmath>
#include <locale>
#include <memory>
#include <optional>
#include <sstream>
#include <variant>

#include "camera/camera_file.h"

namespace siftkey {
namespace {

// The diagonal of the 36 x 24 mm frame that equivalent focal lengths refer to.
constexpr double kFullFrameDiagonalMm = 43.27;

struct ExifDataDeleter {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};
using ExifDataPtr = std::unique_ptr<ExifData, ExifDataDeleter>;

// The EXIF data in `bytes`, taken as stored: libexif's repairs would add the entries the
// standard requires with made-up values (an image size of 0, say).
ExifDataPtr LoadExif(std::string_view bytes) {
    ExifDataPtr data(exif_data_new());
    if (!data) throw std::bad_alloc();
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(data.get(), reinterpret_cast<const unsigned char*>(bytes.data()),
                        static_cast<unsigned int>(bytes.size()));
    return data;
}

bool HasEntries(ExifData* data) {
    for (ExifContent* content : data->ifd) {
        if (content != nullptr && content->count > 0) return true;
    }
    return false;
}

// The first value of the numeric entry `tag`, when it is there, finite and positive.
std::optional<double> Positive(ExifData* data, ExifTag tag) {
    ExifEntry* entry = exif_data_get_entry(data, tag);
    if (entry == nullptr || entry->data == nullptr || entry->components == 0) return std::nullopt;
    const ExifByteOrder order = exif_data_get_byte_order(data);
    const std::size_t size = exif_format_get_size(entry->format);
    if (size == 0 || entry->size < size) return std::nullopt;
    double value = 0.0;
    switch (entry->format) {
        case EXIF_FORMAT_RATIONAL: {
            const ExifRational r = exif_get_rational(entry->data, order);
            if (r.denominator == 0) return std::nullopt;
            value = static_cast<double>(r.numerator) / r.denominator;
            break;
        }
        case EXIF_FORMAT_SRATIONAL: {
            const ExifSRational r = exif_get_srational(entry->data, order);
            if (r.denominator == 0) return std::nullopt;
            value = static_cast<double>(r.numerator) / r.denominator;
            break;
        }
        case EXIF_FORMAT_SHORT:
            value = exif_get_short(entry->data, order);
            break;
        case EXIF_FORMAT_SSHORT:
            value = exif_get_sshort(entry->data, order);
            break;
        case EXIF_FORMAT_LONG:
            value = exif_get_long(entry->data, order);
            break;
        case EXIF_FORMAT_SLONG:
            value = exif_get_slong(entry->data, order);
            break;
        default:
            return std::nullopt;
    }
    if (!std::isfinite(value) || value <= 0.0) return std::nullopt;
    return value;
}

// The text entry `tag` without trailing blanks, control characters shown as '?'.
std::string Text(ExifData* data, ExifTag tag) {
    ExifEntry* entry = exif_data_get_entry(data, tag);
    if (entry == nullptr || entry->format != EXIF_FORMAT_ASCII || entry->data == nullptr) {
        return {};
    }
    std::string text(reinterpret_cast<const char*>(entry->data), entry->size);
    text = text.substr(0, text.find('\0'));
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// One line of a comment: control characters (a newline in a file name) shown as '?'.
std::string OneLine(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return text;
}

std::string Number(double value) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out.precision(7);
    out << value;
    return out.str();
}

// Millimetres per unit of FocalPlaneResolutionUnit (2 inch, the default; 3 cm; 4 mm;
// 5 um); nullopt for 1 (no absolute unit) and unknown values.
std::optional<double> UnitMm(ExifData* data) {
    const std::optional<double> unit = Positive(data, EXIF_TAG_FOCAL_PLANE_RESOLUTION_UNIT);
    if (!unit) return 25.4;
    if (*unit == 2.0) return 25.4;
    if (*unit == 3.0) return 10.0;
    if (*unit == 4.0) return 1.0;
    if (*unit == 5.0) return 0.001;
    return std::nullopt;
}

struct PixelSize {
    double um = 0.0;
    std::string how;  // a comment line
};

std::optional<PixelSize> FromFocalPlane(ExifData* data, int width, int height) {
    const std::optional<double> unit_mm = UnitMm(data);
    const std::optional<double> x = Positive(data, EXIF_TAG_FOCAL_PLANE_X_RESOLUTION);
    const std::optional<double> y = Positive(data, EXIF_TAG_FOCAL_PLANE_Y_RESOLUTION);
    if (!unit_mm || (!x && !y)) return std::nullopt;
    const double sensor_um =
        1000.0 * *unit_mm * (x && y ? (1.0 / *x + 1.0 / *y) / 2.0 : 1.0 / (x ? *x : *y));
    // The resolution counts the pixels of the image as the camera recorded it.
    const std::optional<double> recorded_w = Positive(data, EXIF_TAG_PIXEL_X_DIMENSION);
    const std::optional<double> recorded_h = Positive(data, EXIF_TAG_PIXEL_Y_DIMENSION);
    double factor = 1.0;
    if (recorded_w) {
        factor = *recorded_w / width;
    } else if (recorded_h) {
        factor = *recorded_h / height;
    }
    PixelSize size{sensor_um * factor, "# Pixel size from the EXIF focal plane resolution."};
    if (factor != 1.0) {
        size.how = "# Pixel size from the EXIF focal plane resolution, scaled by " +
                   Number(factor) + ": the EXIF image size is " +
                   (recorded_w ? Number(*recorded_w) + " pixels wide"
                               : Number(*recorded_h) + " pixels high") +
                   ", the photograph " + std::to_string(recorded_w ? width : height) +
                   " (resized since).";
    }
    return size;
}

std::optional<PixelSize> From35mmEquivalent(ExifData* data, double focal_mm, int width,
                                            int height) {
    const std::optional<double> f35 = Positive(data, EXIF_TAG_FOCAL_LENGTH_IN_35MM_FILM);
    if (!f35) return std::nullopt;
    const double diagonal_mm = kFullFrameDiagonalMm * focal_mm / *f35;
    const double diagonal_px = std::hypot(static_cast<double>(width), static_cast<double>(height));
    return PixelSize{1000.0 * diagonal_mm / diagonal_px,
                     "# Pixel size from the EXIF 35 mm equivalent focal length (" + Number(*f35) +
                         " mm): a sensor diagonal of " + Number(diagonal_mm) +
                         " mm over the photograph's diagonal."};
}

}  // namespace

ExifCamera CameraFromExif(std::string_view bytes, int width, int height, const std::string& photo) {
    ExifCamera camera;
    const ExifDataPtr data = LoadExif(bytes);
    if (!HasEntries(data.get())) {
        camera.missing = "the photograph has no EXIF data";
        return camera;
    }
    const std::optional<double> focal_mm = Positive(data.get(), EXIF_TAG_FOCAL_LENGTH);
    if (!focal_mm) {
        camera.missing = "the EXIF data has no focal length";
        return camera;
    }
    std::optional<PixelSize> pixel = FromFocalPlane(data.get(), width, height);
    if (!pixel) pixel = From35mmEquivalent(data.get(), *focal_mm, width, height);
    if (!pixel) {
        camera.missing =
            "the EXIF data has neither a focal plane resolution nor a 35 mm equivalent focal "
            "length, so the pixel size is unknown";
        return camera;
    }
    std::string text = "# Camera from the EXIF data of " + OneLine(photo) +
                       ", written by siftkey.\n" +
                       "# Approximate: the principal point is assumed at the centre of the "
                       "frame, and there is no distortion.\n";
    const std::string make = Text(data.get(), EXIF_TAG_MAKE);
    const std::string model = Text(data.get(), EXIF_TAG_MODEL);
    const std::string name = make.empty() || model.rfind(make, 0) == 0 ? model
                             : model.empty()                           ? make
                                                                       : make + " " + model;
    if (!name.empty()) text += "# Camera: " + name + "\n";
    text += pixel->how + "\n";
    text += "focal_length_mm = " + Number(*focal_mm) + "\n";
    text += "pixel_size_um = " + Number(pixel->um) + "\n";
    text +=
        "principal_point = " + Number((width - 1) / 2.0) + " " + Number((height - 1) / 2.0) + "\n";
    // What the EXIF data says may lie outside what a camera file takes.
    const ro::CameraFileResult parsed = ro::ParseCameraText(text);
    if (const auto* error = std::get_if<ro::CameraFileError>(&parsed)) {
        camera.missing = "the EXIF data gives no usable camera (" + error->reason + ")";
        return camera;
    }
    camera.text = std::move(text);
    camera.focal_length_mm = *focal_mm;
    camera.pixel_size_um = pixel->um;
    return camera;
}

}  // namespace siftkey
