// Console texts of `relative` that several tests compare byte for byte.
#pragma once

namespace relative_texts {

inline constexpr char kBanner[] =
    "-------------------------------------------------------------\n"
    "\nRunning relative with the following parameters:\n";
inline constexpr char kUsage[] =
    "\nError: Incorrect number of parameters\n"
    "Usage: relative img1.key img2.key\n"
    "Exiting program\n\n";
inline constexpr char kReading[] = "\nReading in keypoints from the files.........";

}  // namespace relative_texts
