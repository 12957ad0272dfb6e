// The camera a photograph's EXIF data implies, as the text of a camera file (the
// `key = value` lines that orient --camera reads).
//
// Focal length from FocalLength. Pixel size from FocalPlaneXResolution and
// FocalPlaneYResolution in FocalPlaneResolutionUnit (inch when absent, cm, mm or um; the
// mean of the two sides), which count pixels of the image the camera recorded: when
// PixelXDimension (or PixelYDimension) differs from the decoded image, the photograph was
// resized since and the pixel size is scaled by the ratio. Without a usable focal plane
// resolution, from FocalLengthIn35mmFilm: the sensor's diagonal is 43.27 mm x focal length
// / equivalent focal length, over the image's diagonal in pixels. The principal point is
// put at the centre of the frame, ((width - 1) / 2, (height - 1) / 2), and there is no
// distortion: the camera is approximate, and the file's comment lines say so.
#pragma once

#include <string>
#include <string_view>

namespace siftkey {

struct ExifCamera {
    std::string text;     // the camera file, empty when there is none
    std::string missing;  // when there is none: why, e.g. "the EXIF data has no focal length"
    double focal_length_mm = 0.0;
    double pixel_size_um = 0.0;
};

// The camera of the photograph whose file holds `bytes` (a JPEG file or bare EXIF data)
// and that decodes to `width` x `height` pixels; `photo` names it in the comment lines.
// Never throws for bad data (std::bad_alloc may still escape).
ExifCamera CameraFromExif(std::string_view bytes, int width, int height, const std::string& photo);

}  // namespace siftkey
