#include "siftkey/stderr_capture.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>

namespace siftkey {
namespace {

constexpr std::size_t kMaxCapturedBytes = std::size_t{64} * 1024;

// Taken by every capture while it lives.
std::mutex& CaptureTurn() {
    static std::mutex turn;
    return turn;
}

}  // namespace

StderrCapture::StderrCapture() : turn_(CaptureTurn()) {
    std::cerr.flush();
    std::fflush(stderr);
    capture_ = ::memfd_create("siftkey-stderr", MFD_CLOEXEC);
    if (capture_ < 0) return;
    saved_ = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (saved_ < 0 || ::dup2(capture_, STDERR_FILENO) < 0) {
        if (saved_ >= 0) ::close(saved_);
        ::close(capture_);
        saved_ = capture_ = -1;
    }
    if (saved_ < 0) turn_.unlock();
}

StderrCapture::~StderrCapture() {
    Restore();
    if (capture_ >= 0) ::close(capture_);
}

void StderrCapture::Restore() {
    if (saved_ < 0) return;
    std::cerr.flush();
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    saved_ = -1;
    turn_.unlock();
}

std::string StderrCapture::Text() {
    Restore();
    if (capture_ < 0) return {};
    std::string text(kMaxCapturedBytes, '\0');
    std::size_t filled = 0;
    while (filled < text.size()) {
        const ssize_t n = ::pread(capture_, text.data() + filled, text.size() - filled,
                                  static_cast<off_t>(filled));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        filled += static_cast<std::size_t>(n);
    }
    text.resize(filled);
    return text;
}

}  // namespace siftkey
