#include "pair_run/input_files.h"

#include <new>
#include <thread>
#include <utility>

#include "camera/camera_file.h"
#include "io/file_error.h"
#include "io/read_file.h"
#include "keypoints/fast_reader.h"

namespace pair_run {

std::string ReadKeypointFile(KeypointFile& key_file) {
    try {
        keypoints::KeyFileStreamResult read;
        if (key_file.file == "-") {
            int read_error = 0;
            read.parse = keypoints::ParseKeyStream(stdin, &read_error);
            read.error = read_error;
            if (read_error != 0) read.access = keypoints::KeyFileAccess::cannot_read;
        } else {
            read = keypoints::ReadKeyFileStream(key_file.file.c_str());
        }
        const std::string shown = io::ShownName(key_file.file, "standard input");
        if (read.access != keypoints::KeyFileAccess::ok) {
            return io::FileError{shown,
                                 read.access == keypoints::KeyFileAccess::cannot_open
                                     ? io::FileFailure::cannot_open
                                     : io::FileFailure::read_error,
                                 io::SystemReason(read.error)}
                .Message();
        }
        if (read.parse.status != keypoints::KeyFileStatus::ok) {
            return shown + ": " + keypoints::KeyFileStatusMessage(read.parse.status);
        }
        key_file.dimensions = read.parse.dimensions;
        key_file.keys = std::move(read.parse.keys);
        return {};
    } catch (const std::bad_alloc&) {
        return io::ShownName(key_file.file, "standard input") + ": " +
               keypoints::KeyFileStatusMessage(keypoints::KeyFileStatus::out_of_memory);
    }
}

std::vector<std::string> ReadKeypointFiles(KeypointFile& first, KeypointFile& second) {
    std::string second_problem;
    std::string first_problem;
    {
        std::jthread reader([&] { second_problem = ReadKeypointFile(second); });
        first_problem = ReadKeypointFile(first);
    }
    std::vector<std::string> problems;
    for (std::string* problem : {&first_problem, &second_problem}) {
        if (!problem->empty()) problems.push_back(std::move(*problem));
    }
    return problems;
}

std::string DescriptorMismatch(const KeypointFile& first, const KeypointFile& second) {
    if (first.dimensions == second.dimensions) return {};
    return "cannot match descriptors of different lengths: " + first.file + " has " +
           std::to_string(first.dimensions) + " values per descriptor, " + second.file + " has " +
           std::to_string(second.dimensions);
}

std::variant<ro::Camera, std::string> ReadCameraFile(const std::string& file) {
    const io::FileContents read = io::ReadWholeFile(file, kMaxCameraFileBytes, "a camera file");
    if (read.error) return read.error->Message();
    const ro::CameraFileResult parsed = ro::ParseCameraText(read.bytes);
    if (const auto* error = std::get_if<ro::CameraFileError>(&parsed)) {
        const std::string shown = io::ShownName(file, "standard input");
        if (error->line <= 0) return shown + ": " + error->reason;
        return shown + ":" + std::to_string(error->line) + ": " + error->reason;
    }
    return std::get<ro::Camera>(parsed);
}

}  // namespace pair_run
