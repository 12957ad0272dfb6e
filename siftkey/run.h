// siftkey after its command line: read the photograph, detect, write the keypoint file
// (and the camera of its EXIF data).
#pragma once

#include <ostream>

#include "siftkey/options.h"

namespace siftkey {

// Exit status when the image cannot be used or the keypoint file cannot be written.
inline constexpr int kFailureStatus = 1;

// Runs siftkey with parsed options; every message goes to `err`, each line beginning
// with "siftkey: " (with options.quiet only the failures and the note of a photograph
// without keypoints). Returns 0 when the keypoint file was written, also when it holds no
// keypoint, and kFailureStatus otherwise (a message names the file and the reason).
// Never throws.
int RunSiftkey(const SiftkeyOptions& options, std::ostream& err);

}  // namespace siftkey
