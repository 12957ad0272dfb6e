#include "block/photographs.h"

#include <filesystem>
#include <map>
#include <utility>
#include <variant>

#include "io/read_file.h"
#include "pair_run/input_files.h"

namespace block {
namespace {

// Longest list file read (a million key files of long paths).
constexpr std::size_t kMaxListBytes = std::size_t{256} << 20;

constexpr std::string_view kBlanks = " \t\r\v\f";

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

std::string At(const std::string& file, int line) {
    return file + ":" + std::to_string(line) + ": ";
}

}  // namespace

std::vector<ListLine> ListLines(std::string_view text) {
    std::vector<ListLine> lines;
    int number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        line = Trimmed(line.substr(0, line.find('#')));
        if (!line.empty()) lines.push_back({number, std::string(line)});
    }
    return lines;
}

std::string ReadListFile(const std::string& file) {
    io::FileContents read = io::ReadWholeFile(file, kMaxListBytes, "a list file");
    if (read.error) throw InputError(read.error->Message());
    return std::move(read.bytes);
}

std::string BesideListFile(const std::string& list_file, std::string_view path) {
    const std::filesystem::path given(path);
    if (given.is_absolute() || list_file == "-") return std::string(path);
    const std::filesystem::path folder = std::filesystem::path(list_file).parent_path();
    return folder.empty() ? std::string(path) : (folder / given).string();
}

std::vector<std::string> ParseKeyList(std::string_view text, const std::string& list_file) {
    std::vector<std::string> files;
    for (const ListLine& line : ListLines(text))
        files.push_back(BesideListFile(list_file, line.text));
    return files;
}

std::string PhotographName(const std::string& key_file) {
    std::string name = key_file.substr(key_file.find_last_of('/') + 1);
    constexpr std::string_view kSuffix = ".key";
    if (name.size() > kSuffix.size() && name.ends_with(kSuffix)) {
        name.resize(name.size() - kSuffix.size());
    }
    return name;
}

std::vector<std::string> PhotographNames(const std::vector<std::string>& key_files) {
    std::vector<std::string> names;
    std::map<std::string, std::size_t> seen;
    for (std::size_t k = 0; k < key_files.size(); ++k) {
        std::string name = PhotographName(key_files[k]);
        const auto [at, added] = seen.emplace(name, k);
        if (!added) {
            throw InputError("two key files are both photograph '" + name +
                             "': " + key_files[at->second] + " and " + key_files[k]);
        }
        names.push_back(std::move(name));
    }
    return names;
}

int FindPhotograph(const std::string& word, const std::vector<std::string>& names,
                   const std::vector<std::string>& key_files) {
    for (std::size_t k = 0; k < names.size(); ++k) {
        if (names[k] == word) return static_cast<int>(k);
    }
    for (std::size_t k = 0; k < key_files.size(); ++k) {
        if (key_files[k] == word) return static_cast<int>(k);
    }
    return -1;
}

std::vector<CameraChoice> AssignCameras(std::string_view text, const std::string& file,
                                        const std::vector<std::string>& names,
                                        const std::vector<std::string>& key_files,
                                        const std::string& default_camera) {
    std::vector<CameraChoice> cameras(names.size(), CameraChoice{default_camera, 0});
    for (const ListLine& line : ListLines(text)) {
        const std::size_t blank = line.text.find_first_of(kBlanks);
        const std::string_view camera = blank == std::string::npos
                                            ? std::string_view()
                                            : Trimmed(std::string_view(line.text).substr(blank));
        if (camera.empty()) {
            throw InputError(At(file, line.number) + "expected a photograph and its camera file");
        }
        const std::string name = line.text.substr(0, blank);
        const int photo = FindPhotograph(name, names, key_files);
        if (photo < 0)
            throw InputError(At(file, line.number) + "unknown photograph '" + name + "'");
        if (cameras[photo].line != 0) {
            throw InputError(At(file, line.number) + "photograph '" + names[photo] +
                             "' was given a camera on line " + std::to_string(cameras[photo].line));
        }
        cameras[photo] = {BesideListFile(file, camera), line.number};
    }
    return cameras;
}

std::vector<ro::Camera> ReadCameras(const std::vector<CameraChoice>& choices,
                                    const std::string& list_file) {
    std::map<std::string, ro::Camera> read;
    std::vector<ro::Camera> cameras;
    for (const CameraChoice& choice : choices) {
        if (choice.file.empty()) {
            cameras.push_back(ro::BuiltInCamera());
            continue;
        }
        auto known = read.find(choice.file);
        if (known == read.end()) {
            auto camera = pair_run::ReadCameraFile(choice.file);
            if (auto* problem = std::get_if<std::string>(&camera)) {
                throw InputError(choice.line > 0 ? At(list_file, choice.line) + *problem
                                                 : *problem);
            }
            known = read.emplace(choice.file, std::get<ro::Camera>(camera)).first;
        }
        cameras.push_back(known->second);
    }
    return cameras;
}

}  // namespace block
