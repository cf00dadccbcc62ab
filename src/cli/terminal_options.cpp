#include "cli/terminal_options.h"

namespace kivota {

std::optional<TerminalOptions> optParseTerminalOptions(const std::vector<std::string>& args, std::string& error) {
    TerminalOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--agree") {
            o.agree = true;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--auto") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                error = "--auto needs the settings file";
                return std::nullopt;
            }
            o.autoFile = args[++i];
        } else {
            error = "unknown argument: " + a;
            return std::nullopt;
        }
    }
    return o;
}

const char* szTerminalUsage() {
    return "usage: kivota-cli [--agree] [--json] [--auto FILE]\n"
           "  Measures the line's download and upload speeds against the operator and reports\n"
           "  the result, as the window does.\n"
           "  --agree      accept the user agreement without asking (for scripts)\n"
           "  --json       print one JSON object on stdout (speeds, adapter rates, per-second\n"
           "               series, round trip, latency under load, error code)\n"
           "  --auto FILE  the automatic mode, driven by the settings file FILE; the result line\n"
           "               goes to KivotaResult.txt in the working directory\n"
           "  history      (first word) the runs recorded so far: kivota-cli history --help\n"
           "exit status:\n"
           "  0   the result was reported (automatic mode: its line was written)\n"
           "  1   measured, but the result was not reported (guest test, upload refused), or the\n"
           "      automatic mode's result line could not be written\n"
           "  2   wrong command line\n"
           "  3   the measurement failed\n"
           "  4   the measured speed is out of range (the operator may hold it: see the JSON)\n"
           "  5   the operator's server could not be reached, or the round trip could not be measured\n"
           "  6   the operator refused the test\n"
           "  7   this version must be updated first\n"
           "  8   the agreement was not accepted\n"
           "  9   no network adapter is connected\n"
           "  10  the output could not be written\n"
           "  130 interrupted by Ctrl-C, 143 by SIGTERM (128 + the signal); the note says whether\n"
           "      the result had already gone to the operator. A second Ctrl-C ends at once.\n";
}

}  // namespace kivota
