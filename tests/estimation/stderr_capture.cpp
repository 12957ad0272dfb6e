#include "stderr_capture.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

StderrCapture::StderrCapture() {
    char name[] = "/tmp/estimation_stderr_XXXXXX";
    file_fd_ = mkstemp(name);
    if (file_fd_ < 0) std::abort();
    unlink(name);
    std::fflush(stderr);
    saved_fd_ = dup(2);
    dup2(file_fd_, 2);
}

StderrCapture::~StderrCapture() {
    std::fflush(stderr);
    dup2(saved_fd_, 2);
    close(saved_fd_);
    close(file_fd_);
}

std::string StderrCapture::Text() const {
    std::fflush(stderr);
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
