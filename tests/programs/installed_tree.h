// Checks of an installed tree (a `cmake --install` prefix or the /usr of an unpacked
// package): the files it holds, the manual pages and the two programs, run from there.
#pragma once

#include <filesystem>
#include <string>

// True when a tool path found at configure time is usable.
bool ToolFound(const std::string& path);

// The tree holds the programs in bin/ (executable: relative, orient, featsheet, and siftkey
// when it is built), their compressed manual pages in share/man/man1/, the copyright,
// changelog and conventions in share/doc/relative-orientation/, and no other file.
void ExpectOnlyProgramsPagesAndDocs(const std::filesystem::path& prefix);

// `man -l` renders every page of the tree with groff's warnings on and none is raised,
// lexgrog reads their NAME lines, each page shows the version, and the relative and orient
// pages the camera of this build.
void ExpectPagesRender(const std::filesystem::path& prefix);

// The installed programs answer a wrong call with their usage texts and status 255
// (orient and siftkey: 2), relative and orient stop on a missing file with status 1, orient
// prints its version, featsheet converts the example of its manual page into the CSV the
// page shows, and siftkey writes the keypoints of a small image.
void ExpectProgramsRun(const std::filesystem::path& prefix);
