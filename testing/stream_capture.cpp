#include "testing/stream_capture.h"

#include <unistd.h>

#include <cstdlib>

namespace test_support {

StreamCapture::StreamCapture(std::FILE* stream) : stream_(stream) {
    char name[] = "/tmp/ro_capture_XXXXXX";
    file_fd_ = mkstemp(name);
    if (file_fd_ < 0) std::abort();
    unlink(name);
    std::fflush(stream_);
    saved_fd_ = dup(fileno(stream_));
    dup2(file_fd_, fileno(stream_));
}

StreamCapture::~StreamCapture() {
    std::fflush(stream_);
    dup2(saved_fd_, fileno(stream_));
    close(saved_fd_);
    close(file_fd_);
}

std::string StreamCapture::Text() const {
    std::fflush(stream_);
    std::string text;
    char buffer[4096];
    off_t offset = 0;
    for (;;) {
        const ssize_t got = pread(file_fd_, buffer, sizeof buffer, offset);
        if (got <= 0) break;
        text.append(buffer, static_cast<std::size_t>(got));
        offset += got;
    }
    return text;
}

}  // namespace test_support
