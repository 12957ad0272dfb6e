// What both keypoint readers share: the messages of their statuses and the allocation
// bound.
#include "keypoints/key_file.h"

#include <algorithm>

namespace keypoints {

const char* KeyFileStatusMessage(KeyFileStatus status) {
    switch (status) {
        case KeyFileStatus::ok:
            return "";
        case KeyFileStatus::bad_beginning:
            return "Invalid keypoint file beginning.";
        case KeyFileStatus::bad_format:
            return "Invalid keypoint file format.";
        case KeyFileStatus::bad_value:
            return "Invalid keypoint file value.";
        case KeyFileStatus::out_of_memory:
            return "Out of memory while reading keypoints.";
    }
    return "Unknown keypoint file error.";
}

std::size_t PlausibleCount(long long announced, std::size_t bytes, std::size_t bytes_per_item) {
    if (announced <= 0) return 0;
    return std::min<std::size_t>(static_cast<std::size_t>(announced), bytes / bytes_per_item + 1);
}

}  // namespace keypoints
