#include "io/file_handles.h"

#include <unistd.h>

namespace io {

bool CloseFile(File& file) {
    if (!file) return true;
    return std::fclose(file.release()) == 0;
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        Reset();
        fd_ = other.Release();
    }
    return *this;
}

int FileDescriptor::Release() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

bool FileDescriptor::Close() noexcept {
    if (fd_ < 0) return true;
    // Linux frees the descriptor even when close(2) fails, so it is never closed twice.
    return ::close(Release()) == 0;
}

void FileDescriptor::Reset() noexcept {
    if (fd_ >= 0) ::close(Release());
}

}  // namespace io
