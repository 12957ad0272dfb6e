#include "siftkey/key_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace siftkey {
namespace {

constexpr int kValuesPerLine = 20;
// The largest orientation written, in thousandths: 3.142 would exceed pi.
constexpr long long kMaxOrientationMilli = 3141;

void AppendFixed(std::string* out, double value, int decimals) {
    static constexpr long long kPowers[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
    const long long scale = kPowers[decimals];
    const long long units = std::llround(value * static_cast<double>(scale));
    const unsigned long long magnitude =
        units < 0 ? 0ULL - static_cast<unsigned long long>(units) : units;
    if (units < 0) out->push_back('-');
    out->append(std::to_string(magnitude / scale));
    if (decimals == 0) return;
    const std::string fraction = std::to_string(magnitude % scale);
    out->push_back('.');
    out->append(static_cast<std::size_t>(decimals) - fraction.size(), '0');
    out->append(fraction);
}

void AppendOrientation(std::string* out, float orientation_rad) {
    long long milli = std::llround(static_cast<double>(orientation_rad) * 1000.0);
    if (milli > kMaxOrientationMilli || milli < -kMaxOrientationMilli) milli = kMaxOrientationMilli;
    AppendFixed(out, static_cast<double>(milli) / 1000.0, 3);
}

// Writes all of `text` to `fd`; false with errno set on failure.
bool WriteAll(int fd, const std::string& text) {
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string Reason(int err) { return std::strerror(err); }

// Writes straight into a device or pipe, which cannot be replaced by renaming.
std::string WriteDirectly(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return Reason(errno);
    const bool written = WriteAll(fd, text);
    const int write_errno = errno;
    const bool closed = ::close(fd) == 0;
    if (!written) return Reason(write_errno);
    if (!closed) return Reason(errno);
    return {};
}

mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

std::string WriteByRename(const std::string& path, mode_t mode, const std::string& text) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    fs::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    std::string name = ".";  // hidden, and never taken for a finished keypoint file
    name += target.filename().string();
    name += ".tmp-XXXXXX";
    std::string temp = (folder / name).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return Reason(errno);
    int err = 0;
    if (!WriteAll(fd, text) || ::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && ::rename(temp.c_str(), path.c_str()) != 0) err = errno;
    if (err != 0) {
        ::unlink(temp.c_str());
        return Reason(err);
    }
    return {};
}

}  // namespace

std::string FormatFixed(double value, int decimals) {
    std::string out;
    AppendFixed(&out, value, decimals);
    return out;
}

std::string FormatKeyFile(const std::vector<SiftKeypoint>& keys) {
    std::string out = std::to_string(keys.size()) + " " + std::to_string(kDescriptorLength) + "\n";
    out.reserve(out.size() + keys.size() * (32 + 4 * kDescriptorLength));
    for (const SiftKeypoint& k : keys) {
        AppendFixed(&out, k.row_px, 2);
        out.push_back(' ');
        AppendFixed(&out, k.col_px, 2);
        out.push_back(' ');
        AppendFixed(&out, k.scale_px, 2);
        out.push_back(' ');
        AppendOrientation(&out, k.orientation_rad);
        for (int i = 0; i < kDescriptorLength; ++i) {
            if (i % kValuesPerLine == 0) out.push_back('\n');
            out.push_back(' ');
            out.append(std::to_string(k.descriptor[i]));
        }
        out.push_back('\n');
    }
    return out;
}

std::string WriteWholeFile(const std::string& path, const std::string& text) {
    namespace fs = std::filesystem;
    std::string target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        std::error_code ec;
        const fs::path resolved = fs::weakly_canonical(path, ec);
        if (ec) return ec.message();
        target = resolved.string();
    }
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return Reason(EISDIR);
        if (!S_ISREG(st.st_mode)) return WriteDirectly(target, text);
        return WriteByRename(target, st.st_mode & 07777, text);
    }
    return WriteByRename(target, NewFileMode(), text);
}

}  // namespace siftkey
