#include "converter/byte_stream.h"

#include <algorithm>
#include <cstring>

namespace featsheet {

std::size_t FileSource::Read(char* dest, std::size_t capacity, bool* error) {
    const std::size_t got = std::fread(dest, 1, capacity, file);
    if (got == 0 && std::ferror(file)) *error = true;
    return got;
}

bool FileSink::Write(const char* data, std::size_t size) {
    return std::fwrite(data, 1, size, file) == size;
}

std::size_t BufferSource::Read(char* dest, std::size_t capacity, bool* /*error*/) {
    const std::size_t n = std::min(capacity, data.size());
    if (n > 0) std::memcpy(dest, data.data(), n);
    data.remove_prefix(n);
    return n;
}

bool StringSink::Write(const char* data, std::size_t size) {
    text.append(data, size);
    return true;
}

}  // namespace featsheet
