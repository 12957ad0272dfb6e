// Owners of open files: a C stream and a file descriptor, each closed when its owner goes
// out of scope.
#pragma once

#include <cstdio>
#include <memory>

namespace io {

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

// A C stream closed on destruction; a close error there goes unnoticed, so a stream that
// was written is closed with CloseFile first.
using File = std::unique_ptr<std::FILE, FileCloser>;

// Closes `file` now (and empties it): false when the close failed, e.g. when the buffered
// tail of what was written could not be written. True for an empty `file`.
bool CloseFile(File& file);

// A file descriptor closed on destruction. Negative means none.
class FileDescriptor {
  public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
    ~FileDescriptor() { Reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.Release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const noexcept { return fd_; }
    bool valid() const noexcept { return fd_ >= 0; }
    // Gives the descriptor up without closing it.
    int Release() noexcept;
    // Closes the descriptor now: false (errno set) when close(2) reported an error, which
    // for a written file can be the first sign of a failed write. True when there was none.
    bool Close() noexcept;

  private:
    void Reset() noexcept;

    int fd_ = -1;
};

}  // namespace io
