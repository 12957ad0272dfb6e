// The photographs of a block as the command line gives them: key files (on the command line
// or in a list file), the names they are known by, and their cameras (one camera file for
// all, or a list of photograph names and camera files). Every failure is an InputError whose
// message names the file and, for a list, the line.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "camera/camera_model.h"

namespace block {

class InputError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One line of a list file that holds something: its number (from 1) and its text without
// the comment ('#' to the end of the line) and the blanks around it.
struct ListLine {
    int number = 0;
    std::string text;
};

// The lines of a list file's text that hold something after comments are cut.
std::vector<ListLine> ListLines(std::string_view text);

// The whole text of a list file ("-": standard input); throws InputError
// ("FILE: cannot open: reason") when it cannot be read.
std::string ReadListFile(const std::string& file);

// A path given in a list file: a relative one is relative to the list file's folder, so that
// a block's lists work from any current folder; standard input's paths are taken as given.
std::string BesideListFile(const std::string& list_file, std::string_view path);

// The key files of a --list file's text (`list_file` its name): one per line, '#' comments,
// blank lines skipped, each relative to the list file's folder (BesideListFile).
std::vector<std::string> ParseKeyList(std::string_view text, const std::string& list_file);

// A photograph's name: its key file's name without folder and without ".key".
std::string PhotographName(const std::string& key_file);

// The names of the key files, in their order; throws InputError when two key files give
// one name ("two key files are both photograph 'left': a/left.key and b/left.key").
std::vector<std::string> PhotographNames(const std::vector<std::string>& key_files);

// Where a photograph's camera comes from.
struct CameraChoice {
    std::string file;  // empty: the built-in camera
    int line = 0;      // its line of the --cameras list; 0: --camera or the built-in camera
};

// The camera of every photograph: the one on the --cameras list (`text` of `file`: lines
// "NAME CAMERA_FILE", '#' comments, the camera file relative to the list's folder), else
// `default_camera` (--camera; empty: the built-in camera). A NAME may also be the photograph's key
// file as given. Throws InputError "FILE:LINE: reason" for a line without both fields, an unknown
// photograph or a photograph given twice.
std::vector<CameraChoice> AssignCameras(std::string_view text, const std::string& file,
                                        const std::vector<std::string>& names,
                                        const std::vector<std::string>& key_files,
                                        const std::string& default_camera);

// The cameras chosen, each distinct file read once; throws InputError naming the camera
// file (and the --cameras list's `list_file`:LINE it was given on) and the reason.
std::vector<ro::Camera> ReadCameras(const std::vector<CameraChoice>& choices,
                                    const std::string& list_file);

// The number of the photograph that `word` names (its name or its key file as given), -1
// when none.
int FindPhotograph(const std::string& word, const std::vector<std::string>& names,
                   const std::vector<std::string>& key_files);

}  // namespace block
