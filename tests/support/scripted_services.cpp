#include "support/scripted_services.h"

#include "platform/thread.h"

namespace kivota::test {

void ScriptedWorker::post(unsigned msg, std::intptr_t wParam, std::intptr_t lParam) {
    svc.window->PostMessage(WindowMessage::make(msg, wParam, lParam));
}

void ScriptedWorker::send(unsigned msg, std::intptr_t wParam, std::intptr_t lParam) {
    svc.window->SendMessage(WindowMessage::make(msg, wParam, lParam));
}

void ScriptedWorker::postText(unsigned msg, std::intptr_t wParam, const std::string& lText) {
    WindowMessage m = WindowMessage::make(msg, wParam);
    m.lText = std::make_unique<TextHolder>(lText);
    svc.window->PostMessage(std::move(m));
}

std::shared_ptr<CWorkThread> ScriptedServices::pCreateWorker(std::shared_ptr<RunState> rs,
                                                             std::shared_ptr<IWindowHandle> window) {
    WorkerServices services;
    services.state = std::move(rs);
    services.window = std::move(window);
    services.clock = fakeClock;
    std::shared_ptr<CWorkThread> worker;
    if (workerScript) worker = std::make_shared<ScriptedWorker>(std::move(services), workerScript);
    else worker = std::make_shared<IdleWorker>(std::move(services));
    workers.push_back(worker);
    calls.push_back("createWorker");
    return worker;
}

void ScriptedServices::vRecordRun(const RunResult& result) {
    recorded.push_back(result);
    calls.push_back(std::string("recordRun ") + szEndName(result.outcome.kind));
}

bool ScriptedServices::bWaitThreadsEnded(std::chrono::milliseconds bound) {
    calls.push_back("waitThreads");
    return ThreadTracker::waitAllEnded(bound);
}

std::vector<std::string> ScriptedServices::callsStartingWith(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& c : calls) {
        if (c.rfind(prefix, 0) == 0) out.push_back(c);
    }
    return out;
}

int ScriptedServices::count(const std::string& call) const {
    int n = 0;
    for (const auto& c : calls) n += c == call ? 1 : 0;
    return n;
}

}  // namespace kivota::test
