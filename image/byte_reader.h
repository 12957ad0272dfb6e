// Reading the fixed-layout parts of PNG, JPEG and TIFF files from their bytes, every access
// checked against the end: shared by the header reader and the completeness check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace image {

inline unsigned Byte(std::string_view bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]);
}

// `count` (1 to 4) bytes at `at`, most significant first; the caller checks the bounds.
std::uint32_t BigEndian(std::string_view bytes, std::size_t at, int count);

bool IsPng(std::string_view bytes);
bool IsJpeg(std::string_view bytes);
bool IsTiff(std::string_view bytes);  // classic TIFF, either byte order (not BigTIFF)

// JPEG markers without a length: TEM, the restart markers RST0 to RST7, SOI and EOI.
inline bool JpegMarkerStandsAlone(unsigned marker) {
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9);
}

// The values of one tag of a TIFF directory.
struct TiffValues {
    bool present = false;  // the tag is there with type SHORT or LONG
    bool inside = false;   // its values lie within the bytes (then `values` holds them)
    std::vector<std::uint32_t> values;
};

// The first image file directory of a classic TIFF file.
class TiffDirectory {
  public:
    // nullopt when `bytes` is not TIFF or its first directory does not lie within them.
    static std::optional<TiffDirectory> First(std::string_view bytes);

    TiffValues Values(std::uint16_t tag) const;

    // True when the link to the next directory and the values of every entry of a known
    // type lie within the bytes.
    bool Whole() const;

  private:
    TiffDirectory(std::string_view bytes, bool little_endian, std::size_t entries,
                  std::size_t count)
        : bytes_(bytes), little_endian_(little_endian), entries_(entries), count_(count) {}
    std::uint32_t Number(std::size_t at, int size) const;

    std::string_view bytes_;
    bool little_endian_;
    std::size_t entries_;  // offset of the first 12-byte entry
    std::size_t count_;    // entries
};

}  // namespace image
