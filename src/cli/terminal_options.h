#pragma once
// The command line of kivota-cli.

#include <optional>
#include <string>
#include <vector>

namespace kivota {

struct TerminalOptions {
    bool agree = false;    // accept the user agreement without asking (scripts)
    bool json = false;     // print one JSON object on stdout instead of the text summary
    std::string autoFile;  // settings file of the automatic mode; empty: an interactive run
    bool help = false;
};

// The options, or nullopt with `error` saying what was wrong.
std::optional<TerminalOptions> optParseTerminalOptions(const std::vector<std::string>& args, std::string& error);

// The usage text, with the exit statuses.
const char* szTerminalUsage();

}  // namespace kivota
