#include "orient/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace orient {
namespace {

std::string Reason(int error) { return error != 0 ? std::strerror(error) : "unknown error"; }

std::string WriteInPlace(const std::string& path, std::string_view text) {
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return path + ": cannot open: " + Reason(errno);
    std::string problem = WriteStream(file, text);
    errno = 0;
    if (std::fclose(file) != 0 && problem.empty()) problem = Reason(errno);
    return problem.empty() ? problem : path + ": write error: " + problem;
}

// The permissions of a new file: what open(2) would give with mode 0666.
mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Writes a temporary file beside `target` and renames it over `target`. `shown` is the
// name used in messages.
std::string WriteReplacing(const std::string& target, const std::string& shown,
                           std::string_view text, mode_t mode) {
    std::string temp = target + ".XXXXXX";
    errno = 0;
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return shown + ": cannot create: " + Reason(errno);
    auto fail = [&](const char* what, int error) {
        ::unlink(temp.c_str());
        return shown + ": " + what + ": " + Reason(error);
    };
    if (::fchmod(fd, mode) != 0) {
        const int error = errno;
        ::close(fd);
        return fail("cannot create", error);
    }
    std::FILE* file = ::fdopen(fd, "wb");
    if (!file) {
        const int error = errno;
        ::close(fd);
        return fail("cannot create", error);
    }
    const std::string problem = WriteStream(file, text);
    errno = 0;
    const bool closed = std::fclose(file) == 0;
    const int close_error = errno;
    if (!problem.empty()) {
        ::unlink(temp.c_str());
        return shown + ": write error: " + problem;
    }
    if (!closed) return fail("write error", close_error);
    if (::rename(temp.c_str(), target.c_str()) != 0) return fail("cannot replace", errno);
    return {};
}

// The file a symbolic link finally names, when that is a regular file outside /proc.
std::string RegularLinkTarget(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr),
                                                           &std::free);
    if (!real) return {};
    const std::string target = real.get();
    return target.rfind("/proc/", 0) == 0 ? std::string() : target;
}

}  // namespace

std::string WriteStream(std::FILE* stream, std::string_view text) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stream) != text.size() ||
        std::fflush(stream) != 0 || std::ferror(stream)) {
        return Reason(errno);
    }
    return {};
}

std::string WriteOutput(const std::string& path, std::string_view text) {
    if (path == "-") {
        const std::string problem = WriteStream(stdout, text);
        return problem.empty() ? problem : "standard output: write error: " + problem;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return WriteReplacing(path, path, text, NewFileMode());
    }
    if (S_ISDIR(st.st_mode)) return path + ": cannot write: " + Reason(EISDIR);
    std::string target = path;
    if (S_ISLNK(st.st_mode)) {
        target = RegularLinkTarget(path);
        if (target.empty() || ::stat(target.c_str(), &st) != 0) return WriteInPlace(path, text);
    } else if (!S_ISREG(st.st_mode)) {
        return WriteInPlace(path, text);
    }
    if (::access(target.c_str(), W_OK) != 0) return path + ": cannot open: " + Reason(errno);
    return WriteReplacing(target, path, text, st.st_mode & 07777);
}

}  // namespace orient
