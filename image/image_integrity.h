// Whether a PNG, JPEG or TIFF file is whole, from its structure: a decoder given a cut file
// may fill the missing rows with grey and succeed, so a program that must not work on half
// an image checks first.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace image {

// Why the file whose bytes are `bytes` is cut short or damaged, or nullopt when its
// structure is whole or it is none of the formats checked:
// - PNG: every chunk lies within the file, up to the IEND chunk;
// - JPEG: every marker segment lies within the file, and the end-of-image marker (FF D9)
//   follows the image data (bytes after it are allowed);
// - TIFF: the first directory with its values, and every strip or tile of the first
//   image, lie within the file.
// The reason is a phrase such as "the JPEG data ends before its end-of-image marker".
std::optional<std::string> WhyIncomplete(std::string_view bytes);

}  // namespace image
