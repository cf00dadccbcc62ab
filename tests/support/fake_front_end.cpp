#include "support/fake_front_end.h"

#include "wiring/engine_root.h"

namespace kivota::test {

namespace {
constexpr auto kTurn = std::chrono::milliseconds(20);
constexpr auto kThreadEndBound = std::chrono::seconds(10);
}  // namespace

FakeFrontEnd::FakeFrontEnd(std::shared_ptr<IRunServices> services, FrontEndScript script)
    : script_(std::move(script)),
      loop_(makePollLoop()),
      controller_(std::make_unique<RunController>(std::move(services), *loop_, *this)) {}

FakeFrontEnd::~FakeFrontEnd() {
    controller_->stop();
    controller_->waitThreads(kThreadEndBound);
}

bool FakeFrontEnd::loopUntil(const std::function<bool()>& done, std::chrono::milliseconds bound) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!done() && std::chrono::steady_clock::now() < end) loop_->runOnce(kTurn);
    return done();
}

std::optional<RunResult> FakeFrontEnd::run(std::chrono::milliseconds bound) {
    controller_->start();
    loopUntil([this] { return ended_; }, bound);
    controller_->stop();
    controller_->logEnd();
    controller_->waitThreads(kThreadEndBound);
    if (finished.empty()) return std::nullopt;
    return finished.back();
}

void FakeFrontEnd::vReported() {
    if (script_.onReport) script_.onReport(*controller_);
}

void FakeFrontEnd::onConnecting() {
    ++connecting;
    vReported();
}

void FakeFrontEnd::onConfigLoaded(const std::string& info, const std::string& ad) {
    infoUrl = info;
    adUrl = ad;
    vReported();
}

void FakeFrontEnd::onStartPage(StartPage page, const ServerTexts& serverTexts) {
    pages.push_back(page);
    texts = serverTexts;
    switch (page) {
        case StartPage::Testing: controller_->testingPageShown(); break;
        case StartPage::Agreement:
        case StartPage::UpdateOffered:
            if (script_.agree) {
                controller_->agree();
                controller_->testingPageShown();
            } else {
                controller_->decline();
            }
            break;
        case StartPage::UpdateRequired: controller_->decline(); break;
    }
    vReported();
}

void FakeFrontEnd::onGuestTest() {
    ++guestTests;
    vReported();
}

void FakeFrontEnd::onProgress(const Progress& p) {
    progress.push_back(p);
    vReported();
}

void FakeFrontEnd::onSecond(const MeasuredSecond& second) {
    seconds.push_back(second);
    vReported();
}

void FakeFrontEnd::onAnalysisStart() {
    ++analysisStarts;
    vReported();
}

void FakeFrontEnd::onFinished(const RunResult& result) {
    finished.push_back(result);
    if (controller_->worker()) lastWorker = controller_->worker();
    const bool halted = result.outcome.kind == EndKind::ServerFailed;
    if (halted && script_.retries > 0) {
        --script_.retries;
        controller_->retest();
    } else {
        ended_ = true;
    }
    vReported();
}

}  // namespace kivota::test
