#include "io/xml_text.h"

#include <algorithm>
#include <cstddef>

namespace io {
namespace {

// The length of the well-formed UTF-8 sequence at the start of `text`, 0 when there is
// none (a stray or missing continuation byte, an overlong form, a surrogate, beyond U+10FFFF).
std::size_t Utf8Length(std::string_view text) {
    const auto byte = [&text](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(k) < 0x80 || byte(k) > 0xBF) return 0;
    }
    return length;
}

}  // namespace

std::string XmlText(std::string_view text) {
    static constexpr char kReplacement[] = "\xEF\xBF\xBD";
    std::string out;
    while (!text.empty()) {
        const std::size_t length = Utf8Length(text);
        const std::string_view character = text.substr(0, std::max<std::size_t>(length, 1));
        text.remove_prefix(character.size());
        const auto lead = static_cast<unsigned char>(character[0]);
        const bool c1_control =
            length == 2 && lead == 0xC2 && static_cast<unsigned char>(character[1]) < 0xA0;
        const bool non_character = character == "\xEF\xBF\xBE" || character == "\xEF\xBF\xBF";
        if (length == 0 || lead < 0x20 || lead == 0x7F || c1_control || non_character) {
            out += kReplacement;
            continue;
        }
        switch (lead) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += character;
        }
    }
    return out;
}

}  // namespace io
