#include "block/key_identity.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "block/photographs.h"
#include "io/file_error.h"

namespace block {
namespace {

[[noreturn]] void Fail(const std::string& file, io::FileFailure failure, int error) {
    throw InputError(io::FileError{file, failure, io::SystemReason(error)}.Message());
}

}  // namespace

KeyStat StatKeyFile(const std::string& file) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) Fail(file, io::FileFailure::cannot_open, errno);
    if (S_ISDIR(status.st_mode)) Fail(file, io::FileFailure::cannot_open, EISDIR);
    return {
        static_cast<std::int64_t>(status.st_size),
        static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
}

std::uint64_t Fnv1a(std::string_view bytes, std::uint64_t hash) {
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

std::uint64_t HashKeyFile(const std::string& file) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(std::fopen(file.c_str(), "rb"),
                                                                 &std::fclose);
    if (!stream) Fail(file, io::FileFailure::cannot_open, errno);
    std::vector<char> buffer(std::size_t{1} << 20);
    std::uint64_t hash = Fnv1a({});
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), stream.get())) > 0) {
        hash = Fnv1a(std::string_view(buffer.data(), got), hash);
    }
    if (std::ferror(stream.get())) Fail(file, io::FileFailure::read_error, errno);
    return hash;
}

}  // namespace block
