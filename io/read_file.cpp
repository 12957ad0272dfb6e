#include "io/read_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "io/file_handles.h"

namespace io {
namespace {

// The first buffer for a pipe or a device, doubled as it fills.
constexpr std::size_t kFirstChunk = std::size_t{1} << 16;

FileContents Failed(FileContents contents, const std::string& shown, FileFailure failure,
                    std::string reason) {
    contents.bytes = std::string();
    contents.error = FileError{shown, failure, std::move(reason)};
    return contents;
}

std::string TooLong(std::string_view what, std::size_t max_bytes) {
    return "too long for " + std::string(what) + " (more than " + std::to_string(max_bytes) +
           " bytes)";
}

}  // namespace

FileContents ReadWholeFile(const std::string& path, std::size_t max_bytes, std::string_view what) {
    FileContents contents;
    const std::string shown = ShownName(path, "standard input");
    // Standard input belongs to the process and stays open.
    FileDescriptor owned;
    int fd = STDIN_FILENO;
    if (path != "-") {
        owned = FileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
        if (!owned.valid()) {
            return Failed(std::move(contents), shown, FileFailure::cannot_open,
                          SystemReason(errno));
        }
        fd = owned.get();
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return Failed(std::move(contents), shown, FileFailure::read_error, SystemReason(errno));
    }
    if (S_ISDIR(st.st_mode)) {
        return Failed(std::move(contents), shown, FileFailure::read_error, SystemReason(EISDIR));
    }
    contents.identity = FileIdentity{st.st_dev, st.st_ino, S_ISREG(st.st_mode)};
    const bool sized = contents.identity.regular && st.st_size > 0;
    if (sized && static_cast<unsigned long long>(st.st_size) > max_bytes) {
        return Failed(std::move(contents), shown, FileFailure::too_long, TooLong(what, max_bytes));
    }
    // A regular file is read in one go, with one byte of room to see its end; pipes and
    // devices (and files that report no size) grow the buffer as they deliver. One byte
    // past the limit tells a file that is too long.
    const std::size_t limit = max_bytes < SIZE_MAX ? max_bytes + 1 : max_bytes;
    std::string& bytes = contents.bytes;
    bytes.resize(sized ? static_cast<std::size_t>(st.st_size) + 1 : std::min(kFirstChunk, limit));
    std::size_t used = 0;
    while (true) {
        if (used == bytes.size()) {
            if (used >= limit) {
                return Failed(std::move(contents), shown, FileFailure::too_long,
                              TooLong(what, max_bytes));
            }
            bytes.resize(std::min(std::max(2 * used, kFirstChunk), limit));
        }
        const ssize_t n = ::read(fd, bytes.data() + used, bytes.size() - used);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Failed(std::move(contents), shown, FileFailure::read_error, SystemReason(errno));
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    bytes.resize(used);
    return contents;
}

}  // namespace io
