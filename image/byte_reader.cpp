#include "image/byte_reader.h"

namespace image {
namespace {

constexpr std::size_t kTiffEntryBytes = 12;
constexpr std::uint16_t kTiffShort = 3;
constexpr std::uint16_t kTiffLong = 4;

// Bytes per value of the TIFF field types 1 to 13; 0 for an unknown type.
std::uint64_t TiffTypeSize(std::uint32_t type) {
    static constexpr std::uint8_t kSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return type < sizeof kSizes ? kSizes[type] : 0;
}

}  // namespace

std::uint32_t BigEndian(std::string_view bytes, std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int k = 0; k < count; ++k) value = value << 8 | Byte(bytes, at + k);
    return value;
}

bool IsPng(std::string_view bytes) {
    constexpr std::string_view kSignature("\x89PNG\r\n\x1a\n", 8);
    return bytes.substr(0, 8) == kSignature;
}

bool IsJpeg(std::string_view bytes) {
    return bytes.size() >= 4 && Byte(bytes, 0) == 0xFF && Byte(bytes, 1) == 0xD8;
}

bool IsTiff(std::string_view bytes) {
    const std::string_view head = bytes.substr(0, 4);
    return head == std::string_view("II*\0", 4) || head == std::string_view("MM\0*", 4);
}

std::uint32_t TiffDirectory::Number(std::size_t at, int size) const {
    if (!little_endian_) return BigEndian(bytes_, at, size);
    std::uint32_t value = 0;
    for (int k = size - 1; k >= 0; --k) value = value << 8 | Byte(bytes_, at + k);
    return value;
}

std::optional<TiffDirectory> TiffDirectory::First(std::string_view bytes) {
    if (bytes.size() < 8 || !IsTiff(bytes)) return std::nullopt;
    TiffDirectory directory(bytes, bytes[0] == 'I', 0, 0);
    const std::size_t offset = directory.Number(4, 4);
    if (offset < 8 || offset > bytes.size() || bytes.size() - offset < 2) return std::nullopt;
    directory.count_ = directory.Number(offset, 2);
    directory.entries_ = offset + 2;
    if ((bytes.size() - directory.entries_) / kTiffEntryBytes < directory.count_) {
        return std::nullopt;
    }
    return directory;
}

bool TiffDirectory::Whole() const {
    if (bytes_.size() - entries_ - count_ * kTiffEntryBytes < 4) return false;
    for (std::size_t k = 0; k < count_; ++k) {
        const std::size_t entry = entries_ + k * kTiffEntryBytes;
        const std::uint64_t length = TiffTypeSize(Number(entry + 2, 2)) * Number(entry + 4, 4);
        if (length <= 4) continue;
        const std::uint64_t at = Number(entry + 8, 4);
        if (at > bytes_.size() || length > bytes_.size() - at) return false;
    }
    return true;
}

TiffValues TiffDirectory::Values(std::uint16_t tag) const {
    TiffValues found;
    for (std::size_t k = 0; k < count_; ++k) {
        const std::size_t entry = entries_ + k * kTiffEntryBytes;
        if (Number(entry, 2) != tag) continue;
        const std::uint32_t type = Number(entry + 2, 2);
        if (type != kTiffShort && type != kTiffLong) return found;
        found.present = true;
        const int size = type == kTiffShort ? 2 : 4;
        const std::uint64_t count = Number(entry + 4, 4);
        const std::uint64_t length = count * static_cast<std::uint64_t>(size);
        // Values of up to four bytes stand in the entry itself, longer ones at an offset.
        const std::uint64_t at = length <= 4 ? entry + 8 : Number(entry + 8, 4);
        if (at > bytes_.size() || length > bytes_.size() - at) return found;
        found.inside = true;
        found.values.reserve(static_cast<std::size_t>(count));
        for (std::uint64_t i = 0; i < count; ++i) {
            found.values.push_back(Number(static_cast<std::size_t>(at + i * size), size));
        }
        return found;
    }
    return found;
}

}  // namespace image
