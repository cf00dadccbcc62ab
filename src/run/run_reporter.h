#pragma once
// What the run controller tells a front end, on the controller's thread, as typed values: the
// pages the run reaches, its progress, each accepted second, and the finished run. The front
// end draws or prints them and answers the user's decisions by calls on the controller.

#include <cstdint>
#include <optional>
#include <string>

#include "run/phase_series.h"
#include "run/run_result.h"

namespace kivota {

enum class RunPhase : std::uint8_t { Upload = 0, Download = 1, Preparation = 2 };

struct Progress {
    RunPhase phase = RunPhase::Preparation;
    int percent = 0;
    // The latest accepted second of the phase; none before its first.
    std::optional<std::int64_t> ftpKbps, adapterKbps;
};

struct MeasuredSecond {
    RunPhase phase = RunPhase::Download;
    int index = 0;  // 0 for a phase's first accepted second
    SecondFigures figures;
};

// The page the run goes on from once the server's configuration is in.
enum class StartPage : std::uint8_t { UpdateRequired, UpdateOffered, Agreement, Testing };

// What the server gave the run to show.
struct ServerTexts {
    std::string agreement, announcement, updateUrl;
};

class IRunReporter {
public:
    virtual ~IRunReporter() = default;

    // A run begins: the connecting page, while the probe rounds and the worker start.
    virtual void onConnecting() = 0;
    // The server's configuration is in: the information and advertisement pages to load.
    virtual void onConfigLoaded(const std::string& infoUrl, const std::string& adUrl) = 0;
    // The run waits on the user (agreement, update) or goes on to the testing page.
    virtual void onStartPage(StartPage page, const ServerTexts& texts) = 0;
    // The test parameters could not be had: a guest test runs with fixed ones.
    virtual void onGuestTest() = 0;
    virtual void onProgress(const Progress& progress) = 0;
    virtual void onSecond(const MeasuredSecond& second) = 0;
    // Both phases are over: the result is built and sent.
    virtual void onAnalysisStart() = 0;
    // The run ended, whichever way: once per run.
    virtual void onFinished(const RunResult& result) = 0;
};

}  // namespace kivota
