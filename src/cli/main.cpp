// kivota-cli: the speed test on a terminal, on the same engine as the window, without Qt.
#include <curl/curl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/history_command.h"
#include "cli/terminal_client.h"
#include "cli/terminal_options.h"
#include "platform/thread.h"
#include "run/stored_addresses.h"
#include "wiring/engine_root.h"

namespace {

kivota::TerminalClient* g_client = nullptr;

extern "C" void onInterrupt(int) {
    if (g_client != nullptr) g_client->interrupt();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "history") {
        return kivota::iRunHistoryCommand(std::vector<std::string>(argv + 2, argv + argc), std::cout, std::cerr);
    }
    std::string error;
    const auto options = kivota::optParseTerminalOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "kivota-cli: %s\n%s", error.c_str(), kivota::szTerminalUsage());
        return kivota::ExitUsage;
    }
    if (options->help) {
        std::fputs(kivota::szTerminalUsage(), stdout);
        return 0;
    }
    // Before any thread exists.
    curl_global_init(CURL_GLOBAL_ALL);

    kivota::EngineRoot engine(std::make_shared<kivota::StoredAddresses>(kivota::buildAddresses()));
    kivota::TerminalStreams streams;
    streams.progress = ::isatty(STDERR_FILENO) == 1;
    kivota::TerminalClient client(engine, *options, streams);

    // Ctrl-C and a polite kill end the run through its closing path; a closed output pipe is
    // an error of the write, not the end of the process.
    g_client = &client;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    const int status = client.run();
    g_client = nullptr;
    // The closing path waited for every thread with a bound; one that still runs must not
    // meet the process's own clean-up.
    if (kivota::ThreadTracker::running() > 0) {
        std::fflush(nullptr);
        ::_exit(status);
    }
    curl_global_cleanup();
    return status;
}
