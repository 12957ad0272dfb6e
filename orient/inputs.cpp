#include "orient/inputs.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <thread>

#include "camera/camera_file.h"
#include "keypoints/fast_reader.h"

namespace orient {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

std::string SystemReason(int error) { return error != 0 ? std::strerror(error) : "unknown error"; }

// Reads one keypoint file; empty when it was read and parsed.
std::string ReadOne(KeypointFile& key_file) {
    try {
        errno = 0;
        keypoints::KeyFileStreamResult read = keypoints::ReadKeyFileStream(key_file.file.c_str());
        const int error = errno;
        if (read.access == keypoints::KeyFileAccess::cannot_open) {
            return key_file.file + ": cannot open: " + SystemReason(error);
        }
        if (read.access == keypoints::KeyFileAccess::cannot_read) {
            return key_file.file + ": read error: " + SystemReason(error);
        }
        if (read.parse.status != keypoints::KeyFileStatus::ok) {
            return key_file.file + ": " + keypoints::KeyFileStatusMessage(read.parse.status);
        }
        key_file.dimensions = read.parse.dimensions;
        key_file.keys = std::move(read.parse.keys);
        return {};
    } catch (const std::bad_alloc&) {
        return key_file.file + ": " +
               keypoints::KeyFileStatusMessage(keypoints::KeyFileStatus::out_of_memory);
    }
}

// The bytes of a file of at most `limit` bytes into *bytes; empty on success, else the
// message ("FILE: cannot open: reason", "FILE: too long for <what> ...").
std::string ReadWhole(const std::string& file, std::size_t limit, const char* what,
                      std::string* bytes) {
    errno = 0;
    const std::unique_ptr<std::FILE, FileCloser> in(std::fopen(file.c_str(), "rb"));
    if (!in) return file + ": cannot open: " + SystemReason(errno);
    // A regular file's size, when plausible, sizes the buffer once; pipes and devices
    // (size 0) grow it as they are read.
    struct stat st {};
    if (::fstat(::fileno(in.get()), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
        static_cast<std::size_t>(st.st_size) <= limit) {
        bytes->reserve(static_cast<std::size_t>(st.st_size) + 1);
    }
    char block[65536];
    while (true) {
        const std::size_t got = std::fread(block, 1, sizeof block, in.get());
        bytes->append(block, got);
        if (bytes->size() > limit) {
            return file + ": too long for " + what + " (more than " + std::to_string(limit) +
                   " bytes)";
        }
        if (got < sizeof block) break;
    }
    if (std::ferror(in.get())) return file + ": read error: " + SystemReason(errno);
    return {};
}

}  // namespace

std::vector<std::string> ReadKeypointFiles(KeypointFile& first, KeypointFile& second) {
    std::string second_problem;
    std::string first_problem;
    {
        std::jthread reader([&] { second_problem = ReadOne(second); });
        first_problem = ReadOne(first);
    }
    std::vector<std::string> problems;
    for (std::string* problem : {&first_problem, &second_problem}) {
        if (!problem->empty()) problems.push_back(std::move(*problem));
    }
    return problems;
}

std::variant<ro::Camera, std::string> ReadCameraFile(const std::string& file) {
    std::string text;
    const std::string problem = ReadWhole(file, kMaxCameraFileBytes, "a camera file", &text);
    if (!problem.empty()) return problem;
    const ro::CameraFileResult parsed = ro::ParseCameraText(text);
    if (const auto* error = std::get_if<ro::CameraFileError>(&parsed)) {
        if (error->line <= 0) return file + ": " + error->reason;
        return file + ":" + std::to_string(error->line) + ": " + error->reason;
    }
    return std::get<ro::Camera>(parsed);
}

}  // namespace orient

namespace orient {

std::variant<PlotPhotograph, std::string> ReadPhotograph(const std::string& file) {
    PlotPhotograph photograph;
    const std::string problem =
        ReadWhole(file, kMaxPhotographBytes, "a photograph", &photograph.bytes);
    if (!problem.empty()) return problem;
    const std::optional<ImageHeader> header = ReadImageHeader(photograph.bytes);
    if (!header) return file + ": not a PNG or JPEG photograph";
    photograph.header = *header;
    return photograph;
}

}  // namespace orient
