#include "io/atomic_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

#include "io/file_handles.h"

namespace io {
namespace {

constexpr char kTempInfix[] = ".tmp-";
constexpr int kRandomChars = 6;
// Names tried before giving up when each is taken (EEXIST): with 62^6 names a folder would
// have to be full of leftovers for this to matter.
constexpr int kNameAttempts = 100;
// Symbolic links followed from a name whose file does not exist yet, as the kernel does.
constexpr int kMaxLinks = 40;

FileError Failure(const std::string& shown, FileFailure failure, int error) {
    return {shown, failure, SystemReason(error)};
}

// Writes all of `bytes` to `fd`; false with errno set on failure.
bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The folder part of `path` with its final slash ("" for a name without one), and the
// name after it.
std::pair<std::string, std::string> SplitName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {std::string(), path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// Characters for a temporary name, different on every call.
std::string RandomChars() {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    constexpr std::size_t kAlphabetSize = sizeof kAlphabet - 1;
    unsigned char raw[kRandomChars];
    if (::getrandom(raw, sizeof raw, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof raw)) {
        // No entropy yet (early boot): the clock and a counter still differ per call.
        static std::atomic<std::uint64_t> counter{0};
        std::uint64_t mix = static_cast<std::uint64_t>(
                                std::chrono::steady_clock::now().time_since_epoch().count()) ^
                            (counter.fetch_add(1) * 0x9E3779B97F4A7C15ULL) ^
                            (static_cast<std::uint64_t>(::getpid()) << 40);
        for (unsigned char& byte : raw) {
            mix = mix * 6364136223846793005ULL + 1442695040888963407ULL;
            byte = static_cast<unsigned char>(mix >> 56);
        }
    }
    std::string chars;
    for (const unsigned char byte : raw) chars.push_back(kAlphabet[byte % kAlphabetSize]);
    return chars;
}

// Removes a temporary file when it goes out of scope, unless it was kept.
class TemporaryFile {
  public:
    TemporaryFile() = default;
    ~TemporaryFile() {
        if (!name_.empty()) ::unlink(name_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Creates ".NAME.tmp-XXXXXX" beside `target` with open(2)'s O_CREAT | O_EXCL, so that
    // the kernel applies the umask to `mode` and no other file is ever opened. Invalid
    // descriptor with errno set on failure.
    FileDescriptor Create(const std::string& target, mode_t mode) {
        const auto [folder, name] = SplitName(target);
        // The name is shortened when the temporary name would pass the longest a folder
        // entry may be.
        const std::size_t room = NAME_MAX - 1 - (sizeof kTempInfix - 1) - kRandomChars;
        const std::string stem = folder + "." + name.substr(0, room) + kTempInfix;
        for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
            std::string candidate = stem + RandomChars();
            FileDescriptor fd(::open(candidate.c_str(),
                                     O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode));
            if (fd.valid()) {
                name_ = std::move(candidate);
                return fd;
            }
            if (errno != EEXIST) break;
        }
        return FileDescriptor();
    }

    const std::string& name() const { return name_; }
    void Keep() { name_.clear(); }

  private:
    std::string name_;
};

// Writes `bytes` to a temporary file beside `target` and renames it over `target`.
// `keep_mode`: the permission bits of the file replaced; none for a new file. `shown` is
// the name used in messages.
std::optional<FileError> WriteReplacing(const std::string& shown, const std::string& target,
                                        std::optional<mode_t> keep_mode, std::string_view bytes) {
    TemporaryFile temp;
    // A copy of an existing file is private until it has that file's permission bits.
    FileDescriptor fd = temp.Create(target, keep_mode ? 0600 : 0666);
    if (!fd.valid()) return Failure(shown, FileFailure::cannot_create, errno);
    if (keep_mode && ::fchmod(fd.get(), *keep_mode) != 0) {
        return Failure(shown, FileFailure::cannot_create, errno);
    }
    if (!WriteAll(fd.get(), bytes) || ::fsync(fd.get()) != 0 || !fd.Close()) {
        return Failure(shown, FileFailure::write_error, errno);
    }
    if (::rename(temp.name().c_str(), target.c_str()) != 0) {
        return Failure(shown, FileFailure::cannot_replace, errno);
    }
    temp.Keep();
    return std::nullopt;
}

// Writes into a file that cannot be replaced by renaming: a device, a pipe, a file
// without a name.
std::optional<FileError> WriteInPlace(const std::string& path, std::string_view bytes) {
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid()) return Failure(path, FileFailure::cannot_open, errno);
    if (!WriteAll(fd.get(), bytes) || !fd.Close()) {
        return Failure(path, FileFailure::write_error, errno);
    }
    return std::nullopt;
}

std::optional<FileError> WriteStandardOutput(std::string_view bytes) {
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
        std::fflush(stdout) != 0 || std::ferror(stdout)) {
        return Failure("standard output", FileFailure::write_error, errno);
    }
    return std::nullopt;
}

// Where a new file named `path` is made: `path`, or the name a chain of symbolic links
// from it ends at. Empty (errno set) for a loop of links.
std::string NewFileName(std::string path) {
    for (int link = 0; link <= kMaxLinks; ++link) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string target(PATH_MAX, '\0');
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length <= 0) return path;
        target.resize(static_cast<std::size_t>(length));
        if (target.front() != '/') target.insert(0, SplitName(path).first);
        path = std::move(target);
    }
    errno = ELOOP;
    return {};
}

// The absolute path of an existing file with every link resolved; empty (errno set) when
// it has none, e.g. a deleted file still open behind /proc/self/fd.
std::string RealPath(const std::string& path) {
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr),
                                                           &std::free);
    return real ? std::string(real.get()) : std::string();
}

}  // namespace

std::optional<FileError> WriteFileAtomically(const std::string& path, std::string_view bytes) {
    if (path == "-") return WriteStandardOutput(bytes);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        // No file yet (or none that can be reached: making the temporary file says why).
        const std::string name = NewFileName(path);
        if (name.empty()) return Failure(path, FileFailure::cannot_open, errno);
        return WriteReplacing(path, name, std::nullopt, bytes);
    }
    if (S_ISDIR(st.st_mode)) return Failure(path, FileFailure::cannot_write, EISDIR);
    if (!S_ISREG(st.st_mode)) return WriteInPlace(path, bytes);
    const std::string real = RealPath(path);
    if (real.empty()) {
        if (errno == ENOENT) return WriteInPlace(path, bytes);
        return Failure(path, FileFailure::cannot_open, errno);
    }
    if (real.rfind("/proc/", 0) == 0) {
        return FileError{path, FileFailure::cannot_write, "a file under /proc is not replaced"};
    }
    if (::access(real.c_str(), W_OK) != 0) return Failure(path, FileFailure::cannot_open, errno);
    return WriteReplacing(path, real, st.st_mode & 07777, bytes);
}

}  // namespace io
