#include "siftkey/grey_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace siftkey {
namespace {

// Closes a file descriptor when it goes out of scope.
class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

std::string DepthName(int depth) {
    switch (depth) {
        case CV_8S:
            return "8-bit signed";
        case CV_16S:
            return "16-bit signed";
        case CV_32S:
            return "32-bit integer";
        case CV_32F:
            return "32-bit floating-point";
        case CV_64F:
            return "64-bit floating-point";
        default:
            return "unsupported";
    }
}

}  // namespace

FileBytes ReadWholeFile(const std::string& path) {
    FileBytes result;
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
        result.error = std::strerror(errno);
        return result;
    }
    if (S_ISDIR(st.st_mode)) {
        result.error = std::strerror(EISDIR);
        return result;
    }
    result.device = st.st_dev;
    result.inode = st.st_ino;
    result.regular = S_ISREG(st.st_mode);
    if (result.regular && static_cast<unsigned long long>(st.st_size) > kMaxImageFileBytes) {
        result.error = "larger than 1 GiB";
        return result;
    }
    // A regular file is read in one go (one byte of room shows the end); pipes and
    // devices grow the buffer as they deliver, up to the limit.
    constexpr std::size_t kChunk = std::size_t{1} << 16;
    result.bytes.resize(result.regular ? static_cast<std::size_t>(st.st_size) + 1 : kChunk);
    std::size_t used = 0;
    for (;;) {
        if (used == result.bytes.size()) {
            if (used > kMaxImageFileBytes) {
                result.error = "larger than 1 GiB";
                result.bytes.clear();
                return result;
            }
            result.bytes.resize(std::min(2 * used, kMaxImageFileBytes + 1));
        }
        const ssize_t n = ::read(fd.get(), result.bytes.data() + used, result.bytes.size() - used);
        if (n < 0) {
            if (errno == EINTR) continue;
            result.error = std::strerror(errno);
            result.bytes.clear();
            return result;
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    result.bytes.resize(used);
    return result;
}

cv::Mat ToGrey8(const cv::Mat& decoded, std::string* error) {
    const int depth = decoded.depth();
    if (depth != CV_8U && depth != CV_16U) {
        *error = DepthName(depth) + " samples are not supported (8- or 16-bit only)";
        return {};
    }
    cv::Mat grey;
    switch (decoded.channels()) {
        case 1:
            grey = decoded;
            break;
        case 2:  // grey and alpha
            cv::extractChannel(decoded, grey, 0);
            break;
        case 3:
            cv::cvtColor(decoded, grey, cv::COLOR_BGR2GRAY);
            break;
        case 4:
            cv::cvtColor(decoded, grey, cv::COLOR_BGRA2GRAY);
            break;
        default:
            *error = std::to_string(decoded.channels()) + " channels are not supported";
            return {};
    }
    if (depth == CV_16U) {
        cv::Mat eight;
        grey.convertTo(eight, CV_8U, 1.0 / 257.0);
        return eight;
    }
    return grey.clone();
}

GreyImage LoadGreyImage(const std::string& path) {
    GreyImage image;
    FileBytes file = ReadWholeFile(path);
    if (!file.error.empty()) {
        image.error = "cannot read " + path + ": " + file.error;
        return image;
    }
    image.device = file.device;
    image.inode = file.inode;
    image.regular = file.regular;
    if (file.bytes.empty()) {
        image.error = path + " is empty (0 bytes)";
        return image;
    }
    cv::Mat decoded;
    try {
        decoded = cv::imdecode(
            file.bytes, cv::IMREAD_ANYDEPTH | cv::IMREAD_ANYCOLOR | cv::IMREAD_IGNORE_ORIENTATION);
    } catch (const cv::Exception& e) {
        image.error = "cannot decode " + path + ": " + e.err;
        return image;
    }
    if (decoded.empty()) {
        // The decoders recognise their formats by the first bytes of the file.
        if (file.regular && !cv::haveImageReader(path)) {
            image.error =
                path + " is not an image in a format siftkey reads (JPEG, PNG, TIFF, ...)";
        } else {
            image.error =
                "cannot decode " + path + ": damaged, truncated or unsupported image data";
        }
        return image;
    }
    std::string why;
    image.grey = ToGrey8(decoded, &why);
    if (image.grey.empty()) image.error = path + ": " + why;
    return image;
}

}  // namespace siftkey
