#include "io/output_target.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <utility>

#include "io/file_handles.h"
#include "io/file_identity.h"

namespace io {
namespace {

// Bytes read from an existing output to recognise what it holds.
constexpr std::size_t kHeadBytes = 4096;

struct Signature {
    std::string_view magic;
    std::size_t offset;
    const char* description;
};

using namespace std::string_view_literals;

// The first bytes of the raster formats a camera or an image tool writes (literals with
// "sv", so that a NUL inside a signature counts).
constexpr std::array<Signature, 11> kImageSignatures = {{
    {"\xFF\xD8\xFF"sv, 0, "a JPEG image"},
    {"\x89PNG\r\n\x1A\n"sv, 0, "a PNG image"},
    {"II*\0"sv, 0, "a TIFF image"},
    {"MM\0*"sv, 0, "a TIFF image"},
    {"GIF87a"sv, 0, "a GIF image"},
    {"GIF89a"sv, 0, "a GIF image"},
    {"WEBP"sv, 8, "a WebP image"},
    {"\0\0\0\x0CjP  "sv, 0, "a JPEG 2000 image"},
    {"\xFF\x4F\xFF\x51"sv, 0, "a JPEG 2000 image"},
    {"\x76\x2F\x31\x01"sv, 0, "an OpenEXR image"},
    {"#?RADIANCE"sv, 0, "a Radiance HDR image"},
}};

bool StartsWith(std::string_view text, std::string_view prefix, std::size_t offset = 0) {
    return text.size() >= offset + prefix.size() && text.substr(offset, prefix.size()) == prefix;
}

bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view SkipBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    return text;
}

// A run of digits at the start of `text`, and what follows it.
bool TakeNumber(std::string_view& text) {
    std::size_t n = 0;
    while (n < text.size() && IsDigit(text[n])) ++n;
    text.remove_prefix(n);
    return n > 0;
}

// A keypoint file starts with its header: the count and the descriptor length.
bool LooksLikeKeypointHeader(std::string_view text) {
    if (!TakeNumber(text) || text.empty() || !IsBlank(text.front())) return false;
    text.remove_prefix(1);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    return TakeNumber(text) && (text.empty() || IsBlank(text.front()));
}

// A camera file: `key = value` lines after any comment lines ('#') and blank lines.
bool LooksLikeCameraFile(std::string_view text) {
    while (!text.empty() && (text.front() == '#' || IsBlank(text.front()))) {
        if (text.front() == '#') {
            const std::size_t end = text.find('\n');
            text.remove_prefix(end == std::string_view::npos ? text.size() : end);
        } else {
            text.remove_prefix(1);
        }
    }
    std::size_t n = 0;
    while (n < text.size() &&
           (std::isalnum(static_cast<unsigned char>(text[n])) || text[n] == '_')) {
        ++n;
    }
    while (n > 0 && n < text.size() && (text[n] == ' ' || text[n] == '\t')) ++n;
    return n > 0 && n < text.size() && text[n] == '=';
}

// Control bytes other than white space mark data that is not text.
bool IsText(std::string_view head) {
    for (const char c : head) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && !IsBlank(c) && byte != 0x1B) return false;
        if (byte == 0x7F) return false;
    }
    return true;
}

// What each kind of output holds, in the order of OutputKind.
constexpr std::array<std::pair<ContentKind, const char*>, 5> kOutputContents = {{
    {ContentKind::keypoints, "a keypoint file"},
    {ContentKind::json, "a JSON document"},
    {ContentKind::csv, "a CSV table"},
    {ContentKind::svg, "an SVG drawing"},
    {ContentKind::camera, "a camera file"},
}};

Content ContentOf(OutputKind kind) {
    const auto& [content, description] = kOutputContents[static_cast<std::size_t>(kind)];
    return {content, description};
}

FileError Refusal(const std::string& path, std::string reason) {
    return {path, FileFailure::cannot_write, std::move(reason)};
}

// The folder a new file named `path` would be made in.
std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The first bytes of the regular file `path`; nullopt (errno set) when it cannot be read.
std::optional<std::string> ReadHead(const std::string& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.valid()) return std::nullopt;
    std::string head(kHeadBytes, '\0');
    std::size_t filled = 0;
    while (filled < head.size()) {
        const ssize_t n = ::read(fd.get(), head.data() + filled, head.size() - filled);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        filled += static_cast<std::size_t>(n);
    }
    head.resize(filled);
    return head;
}

}  // namespace

Content RecogniseContent(std::string_view head) {
    for (const Signature& s : kImageSignatures) {
        if (StartsWith(head, s.magic, s.offset)) {
            // RIFF containers other than WebP are not images of ours.
            if (s.offset == 8 && !StartsWith(head, "RIFF")) continue;
            return {ContentKind::image, s.description};
        }
    }
    if (head.size() >= 2 && head[0] == 'B' && head[1] == 'M' && !IsText(head.substr(0, 64))) {
        return {ContentKind::image, "a BMP image"};
    }
    if (head.size() >= 3 && head[0] == 'P' && head[1] >= '1' && head[1] <= '7' &&
        IsBlank(head[2])) {
        return {ContentKind::image, "a PNM image"};
    }
    if (!IsText(head)) return {ContentKind::binary, "binary data"};
    std::string_view text = head;
    if (StartsWith(text, "\xEF\xBB\xBF")) text.remove_prefix(3);
    text = SkipBlanks(text);
    if (text.empty()) return {ContentKind::empty, "nothing"};
    if (text.front() == '{' || text.front() == '[') return ContentOf(OutputKind::json);
    if (text.front() == '<') {
        if (text.find("<svg") != std::string_view::npos) {
            return ContentOf(OutputKind::svg);
        }
        return {ContentKind::markup, "an XML or HTML document"};
    }
    if (LooksLikeKeypointHeader(text)) return ContentOf(OutputKind::keypoints);
    if (LooksLikeCameraFile(text)) return ContentOf(OutputKind::camera);
    const std::string_view first_line = text.substr(0, text.find('\n'));
    if (first_line.find(',') != std::string_view::npos) return ContentOf(OutputKind::csv);
    return {ContentKind::text, "text of another kind"};
}

bool IsStandardOutput(const std::string& path) {
    if (path == "-") return true;
    const std::optional<FileIdentity> out = IdentifyFile("-", STDOUT_FILENO);
    const std::optional<FileIdentity> named = IdentifyFile(path, STDOUT_FILENO);
    return out && named && out->device == named->device && out->inode == named->inode;
}

std::optional<FileError> CheckOutputTarget(const std::string& path, OutputKind kind, bool force) {
    if (path == "-") return std::nullopt;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) return Refusal(path, SystemReason(errno));
        // A new file: its folder must exist and take new files.
        const std::string folder = FolderOf(path);
        if (::access(folder.c_str(), W_OK | X_OK) != 0) {
            return Refusal(path, "cannot make a file in " + folder + ": " + SystemReason(errno));
        }
        return std::nullopt;
    }
    if (S_ISDIR(st.st_mode)) return Refusal(path, SystemReason(EISDIR));
    if (!S_ISREG(st.st_mode)) return std::nullopt;  // a device or pipe is written in place
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        return Refusal(path, "the file is read-only");
    }
    if (::access(path.c_str(), W_OK) != 0) return Refusal(path, SystemReason(errno));
    const std::optional<std::string> head = ReadHead(path);
    if (!head) return Refusal(path, "cannot read what it holds: " + SystemReason(errno));
    const Content content = RecogniseContent(*head);
    const Content wanted = ContentOf(kind);
    if (force || content.kind == ContentKind::empty || content.kind == wanted.kind) {
        return std::nullopt;
    }
    return Refusal(path, "it holds " + content.description + ", not " + wanted.description +
                             " (--force replaces it)");
}

std::optional<FileError> CheckOutputTargets(std::initializer_list<OutputRequest> outputs,
                                            bool force) {
    for (const OutputRequest& output : outputs) {
        if (output.path.empty()) continue;
        if (std::optional<FileError> error = CheckOutputTarget(output.path, output.kind, force)) {
            return error;
        }
    }
    return std::nullopt;
}

}  // namespace io
