#include "command_line/parse_outcome.h"

#include <CLI/CLI.hpp>

namespace command_line {

ParseOutcome ParseOrExit(const std::string& program, const std::function<void()>& parse,
                         const std::function<std::string()>& help) {
    ParseOutcome outcome;
    const auto refuse = [&](const std::string& message) {
        outcome.status = kUsageStatus;
        outcome.err =
            program + ": " + message + "\nTry '" + program + " --help' for more information.\n";
    };
    try {
        parse();
        outcome.run = true;
    } catch (const CLI::CallForHelp&) {
        outcome.out = help();
    } catch (const CLI::CallForVersion& version) {
        outcome.out = std::string(version.what()) + "\n";
    } catch (const CLI::ParseError& error) {
        refuse(error.what());
    } catch (const UsageError& error) {
        refuse(error.what());
    }
    return outcome;
}

}  // namespace command_line
