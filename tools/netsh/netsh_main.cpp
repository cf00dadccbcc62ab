// netsh for Linux: answers "netsh int tcp show global" with the stack's global TCP state in
// the layout the profile parses; every other command line is refused with exit code 1.
#include <strings.h>

#include <cstdio>
#include <string>

#include "tcp_global_state.h"

namespace {

bool is(const char* word, const char* expected) { return ::strcasecmp(word, expected) == 0; }

bool isShowGlobal(int argc, char** argv) {
    return argc == 5 && (is(argv[1], "int") || is(argv[1], "interface")) && is(argv[2], "tcp") && is(argv[3], "show") &&
           is(argv[4], "global");
}

}  // namespace

int main(int argc, char** argv) {
    if (!isShowGlobal(argc, argv)) {
        std::string words;
        for (int i = 1; i < argc; ++i) words += (i > 1 ? " " : "") + std::string(argv[i]);
        std::fprintf(stderr, "The following command was not found: %s.\r\n", words.c_str());
        return 1;
    }
    const std::string report = kivota::netsh::formatReport(kivota::netsh::readGlobalParameters());
    std::fwrite(report.data(), 1, report.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
