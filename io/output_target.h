// Whether a program may write an output to a path, decided before it does any work: an
// existing file of another kind (a photograph given where the keypoint file was meant, a
// keypoint file given as the JSON output) and a read-only file are refused, so that a
// slip on the command line never destroys a user's file.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "io/file_error.h"

namespace io {

// What an output holds.
enum class OutputKind { keypoints, json, csv, svg, camera };

// What an existing file holds, recognised from its first bytes (never from its name).
enum class ContentKind {
    empty,      // no bytes, or only white space
    keypoints,  // text starting with two whole numbers: a keypoint file's header
    json,       // text starting with '{' or '['
    csv,        // text whose first line holds a comma
    svg,        // markup with an <svg element
    camera,     // text whose first line that is no comment ('#') reads "key = ..."
    image,      // a photograph or other raster image (JPEG, PNG, TIFF, ...)
    markup,     // other XML or HTML
    text,       // other text
    binary,     // other bytes that are not text
};

struct Content {
    ContentKind kind = ContentKind::empty;
    // Words for messages: "a JPEG image", "a keypoint file", "binary data", ...
    std::string description;
};

// The content that `head`, the first bytes of a file, shows.
Content RecogniseContent(std::string_view head);

// True for "-" and for a path that names what standard output (descriptor 1) refers to,
// such as /dev/stdout or the file standard output was redirected to: an output sent there
// is written as to "-".
bool IsStandardOutput(const std::string& path);

// Why `path` must not be written as an output of `kind`, or nullopt when it may be: a new
// file in a folder the user may write, a device or pipe, "-", or an existing regular file
// that is empty or holds this kind already. Refused (FileFailure::cannot_write, naming the
// path):
// - a folder;
// - an existing file the user may not write, or one without any write permission bit
//   (read-only, also for root): "cannot write: the file is read-only";
// - a file in a folder where no file can be made;
// - unless `force`, an existing file of another kind: "cannot write: it holds a JPEG
//   image, not a keypoint file (--force replaces it)".
// Writing itself (io::WriteFileAtomically) may still fail later, e.g. on a full disk.
std::optional<FileError> CheckOutputTarget(const std::string& path, OutputKind kind, bool force);

// An output a program was asked to write: its path (empty: not asked for) and its kind.
struct OutputRequest {
    const std::string& path;
    OutputKind kind;
};

// CheckOutputTarget for every output asked for, in order; the first refusal.
std::optional<FileError> CheckOutputTargets(std::initializer_list<OutputRequest> outputs,
                                            bool force);

}  // namespace io
