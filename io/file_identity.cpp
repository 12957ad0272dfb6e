#include "io/file_identity.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace io {
namespace {

// The absolute path with its symbolic links resolved as far as it exists; empty when
// that fails.
std::filesystem::path Resolved(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (ec) return {};
    std::filesystem::path resolved = std::filesystem::weakly_canonical(absolute, ec);
    return ec ? std::filesystem::path() : resolved;
}

}  // namespace

std::optional<FileIdentity> IdentifyFile(const std::string& path, int dash_fd) {
    struct stat st {};
    const int status = path == "-" ? ::fstat(dash_fd, &st) : ::stat(path.c_str(), &st);
    if (status != 0) return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino, S_ISREG(st.st_mode)};
}

bool WouldOverwrite(const std::string& output, const FileIdentity& input) {
    if (!input.regular) return false;
    const std::optional<FileIdentity> out = IdentifyFile(output, STDOUT_FILENO);
    return out && out->regular && out->device == input.device && out->inode == input.inode;
}

bool WouldOverwrite(const std::string& output, const std::string& input) {
    const std::optional<FileIdentity> in = IdentifyFile(input, STDIN_FILENO);
    if (in) return WouldOverwrite(output, *in);
    // Neither a stream nor an existing file: the same place once resolved.
    if (output == "-" || input == "-" || IdentifyFile(output, STDOUT_FILENO)) return false;
    const std::filesystem::path resolved = Resolved(output);
    return !resolved.empty() && resolved == Resolved(input);
}

}  // namespace io
