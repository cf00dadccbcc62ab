// kivota-cli: the speed test on a terminal, on the same engine as the window, without Qt.
#include <curl/curl.h>
#include <signal.h>  // NOLINT(modernize-deprecated-headers): the POSIX functions beside the C ones
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/history_command.h"
#include "cli/run_report.h"
#include "cli/terminal_client.h"
#include "cli/terminal_options.h"
#include "wiring/engine_root.h"

namespace {

kivota::TerminalClient* g_client = nullptr;
std::atomic<bool> g_interrupted{false};

// The first Ctrl-C (or a polite kill) ends the run through its closing path; a second one ends
// the process at once.
extern "C" void onInterrupt(int signal) {
    if (g_interrupted.exchange(true)) ::_exit(128 + signal);
    if (g_client != nullptr) g_client->interrupt(signal);
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
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : kivota::ExitOutputFailed;
    }
    if (!options->autoFile.empty()) {
        if (const std::string problem = kivota::szAutomaticSettingsProblem(options->autoFile); !problem.empty()) {
            std::fprintf(stderr, "kivota-cli: %s\n", problem.c_str());
            return kivota::ExitUsage;
        }
    }
    // Before any thread exists.
    curl_global_init(CURL_GLOBAL_ALL);

    auto engine =
        std::make_shared<kivota::EngineRoot>(std::make_shared<kivota::StoredAddresses>(kivota::buildAddresses()));
    // An interactive run reads no settings file; the automatic mode reads the one it was given.
    engine->vUseSettingsFile(options->autoFile);
    engine->vSetProgram("kivota-cli");
    kivota::TerminalStreams streams;
    streams.progress = ::isatty(STDERR_FILENO) == 1;
    int status = 0;
    {
        kivota::TerminalClient client(engine, *options, streams);
        g_client = &client;
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
        // A closed output pipe is an error of the write, not the end of the process.
        signal(SIGPIPE, SIG_IGN);
        status = client.run();
        g_client = nullptr;
    }
    // The closing path waited for every thread with a bound; one that still runs must not
    // meet the process's own clean-up.
    if (!engine->bWaitThreadsEnded(std::chrono::milliseconds(0))) {
        std::fflush(nullptr);
        ::_exit(status);
    }
    curl_global_cleanup();
    return status;
}
