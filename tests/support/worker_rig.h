#pragma once
// What a test of the worker plays with: the run state, a recording window (which can play the
// window's part), a fake clock, and a worker built on them with the given addresses and
// adapter counters (none by default).

#include <memory>

#include "run/work_thread.h"
#include "support/fake_clock.h"
#include "support/no_counters.h"
#include "support/recording_window.h"

namespace kivota::test {

struct WorkerRig {
    std::shared_ptr<RunState> state = std::make_shared<RunState>();
    std::shared_ptr<RecordingWindow> window = std::make_shared<RecordingWindow>();
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();

    std::shared_ptr<CWorkThread> makeWorker(StoredAddresses addresses = {},
                                            std::shared_ptr<IOctetCounterSource> counters = nullptr) const {
        WorkerServices svc;
        svc.state = state;
        svc.window = window;
        svc.clock = clock;
        svc.addresses = std::make_shared<StoredAddresses>(std::move(addresses));
        svc.counters = counters ? std::move(counters) : std::make_shared<NoCounters>();
        return std::make_shared<CWorkThread>(std::move(svc));
    }
};

}  // namespace kivota::test
