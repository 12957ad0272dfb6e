// Text for XML documents (the SVG plots): any bytes, file names included, made into
// character data that leaves the document well-formed.
#pragma once

#include <string>
#include <string_view>

namespace io {

// `text` as XML character data: & < > " ' escaped; control characters (which XML 1.0
// forbids or a caption cannot show), U+FFFE, U+FFFF and bytes that are not well-formed
// UTF-8 replaced by U+FFFD.
std::string XmlText(std::string_view text);

}  // namespace io
