#include "command_line/block_options.h"

#include "command_line/estimation_options.h"
#include "command_line/validators.h"

namespace command_line {
namespace {

CLI::Validator PairsText() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            if (text.empty()) return kEmptyValue;
            block::PairChoice choice;
            if (!block::ParsePairChoice(text, choice)) {
                return Quoted(
                    text, "is not 'all', 'sequential:N' with N a whole number from 1, or a file");
            }
            return {};
        },
        "");
}

CLI::Validator ShardText() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            block::Shard shard;
            if (!block::ParseShard(text, shard)) {
                return Quoted(text, "is not I/N with whole numbers 1 <= I <= N");
            }
            return {};
        },
        "");
}

}  // namespace

void AddBlockInputs(CLI::App& app, block::BlockRequest& request, std::string& key_list) {
    const CLI::Validator file_name = NotEmptyFileName();
    block::BlockRequest& r = request;
    app.add_option("--db", r.database, "The block's database (SQLite), created when missing")
        ->type_name("FILE")
        ->check(file_name);
    app.add_option("KEY", r.key_files, "Key files of the photographs (after those of --list)")
        ->type_name("")
        ->check(file_name);
    app.add_option("--list", key_list,
                   "A file of key files, one per line ('#' comments); they come first")
        ->type_name("FILE")
        ->check(file_name);
    app.add_option("--camera", r.default_camera,
                   "Camera file of every photograph not on --cameras (default: the built-in "
                   "camera)")
        ->type_name("FILE")
        ->check(file_name);
    app.add_option("--cameras", r.cameras_list,
                   "A file of lines 'NAME CAMERA_FILE' giving photographs their cameras")
        ->type_name("FILE")
        ->check(file_name);
    app.add_option_function<std::string>(
           "--pairs", [&r](const std::string& text) { block::ParsePairChoice(text, r.pairs); },
           "all (default), sequential:N (each photograph with the next N) or a file of pairs")
        ->type_name("WHICH")
        ->check(PairsText());
    app.add_option_function<std::string>(
           "--shard", [&r](const std::string& text) { block::ParseShard(text, r.shard); },
           "Run only shard I of N: pair k of the canonical list (from 0) is shard k mod N + 1")
        ->type_name("I/N")
        ->check(ShardText());
}

void AddBlockQuiet(CLI::App& app, bool& quiet) {
    app.add_flag("--quiet", quiet, "No progress display, no messages but errors, no summary")
        ->disable_flag_override();
}

std::string CheckBlockRun(const block::BlockRequest& request, const std::string& key_list,
                          const CLI::Option* threshold) {
    if (request.database.empty()) return "--db FILE is required";
    if (request.key_files.empty() && key_list.empty()) {
        return "give the key files of the photographs (KEY... or --list)";
    }
    return CheckEstimationOptions(threshold, request.settings.estimation);
}

}  // namespace command_line
