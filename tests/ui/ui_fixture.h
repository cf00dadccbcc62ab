#pragma once
// What the window tests share: the application object, a scripted environment that records
// what the window asks of it, boxes the test answers, and a window built on them.

#include <QApplication>

#include <memory>
#include <string>
#include <vector>

#include "app/image_control.h"
#include "app/main_form.h"
#include "app/message_boxes.h"
#include "app/run_environment.h"
#include "run/run_services.h"
#include "run/work_thread.h"
#include "support/fake_clock.h"

namespace kivota::test {

// The one application object of a test executable (offscreen platform).
QApplication& uiApplication();

// A worker that does nothing: the window's side is what is under test.
class IdleWorker final : public CWorkThread {
public:
    using CWorkThread::CWorkThread;

protected:
    void Execute() override {}
};

struct BoxRecord {
    char kind;  // 'I' information, 'S' stop, 'R' retry/cancel
    std::string caption, text;
};

class ScriptedBoxes final : public IMessageBoxes {
public:
    void information(const std::string& caption, const std::string& text) override {
        shown.push_back({'I', caption, text});
    }
    void stop(const std::string& caption, const std::string& text) override { shown.push_back({'S', caption, text}); }
    bool retryCancel(const std::string& caption, const std::string& text) override {
        shown.push_back({'R', caption, text});
        return answerRetry;
    }

    bool answerRetry = false;
    std::vector<BoxRecord> shown;
};

// The controller's services and the window's desktop in one, recording every call in order.
class ScriptedEnvironment final : public IRunServices, public IRunEnvironment {
public:
    // The controller's (and so the window's) clock.
    std::shared_ptr<IClock> clock() override { return fakeClock; }
    std::string szProbeTarget1() override { return "127.0.0.1"; }
    std::string szProbeTarget2() override { return "127.0.0.2"; }
    void vReadSettings(RunState& rs) override {
        calls.push_back("readSettings");
        rs.autoTestEnabled = settingsAutoEnabled;
        rs.autoTestMode = settingsAutoMode;
    }
    int iConnectedAdapters() override { return adapters; }
    std::shared_ptr<CWorkThread> pCreateWorker(std::shared_ptr<RunState> rs,
                                               std::shared_ptr<IWindowHandle> window) override;
    void vResetProfile() override { calls.push_back("resetProfile"); }
    void vGetSystemInfo(MachineProfile&) override { calls.push_back("getSystemInfo"); }
    void vOpenCpuQueries(MachineProfile&) override { calls.push_back("openCpuQueries"); }
    void vGetSystemResource(MachineProfile&) override { calls.push_back("getSystemResource"); }
    void vCloseCpuQueries() override { calls.push_back("closeCpuQueries"); }
    void vStartKeepAlive(const std::string& cookie, const std::string& url) override {
        calls.push_back("keepAlive " + cookie + " " + url);
    }
    bool bAppendLog(const std::string& text, const std::string& fileName, std::string&) override {
        calls.push_back("log [" + fileName + "] " + text);
        return true;
    }
    void vOpenUrl(const std::string& url) override { calls.push_back("open " + url); }
    void vSleepMs(int ms) override { calls.push_back("sleep " + std::to_string(ms)); }
    void vRecordRun(const RunResult& result) override {
        calls.push_back(std::string("recordRun ") + szEndName(result.outcome.kind));
    }
    bool bWaitThreadsEnded(std::chrono::milliseconds) override {
        calls.push_back("waitThreads");
        return true;
    }
    void vExitProcess(int code) override {
        calls.push_back("exit " + std::to_string(code));
        ++exits;
    }

    // Calls whose text begins with `prefix`.
    std::vector<std::string> callsStartingWith(const std::string& prefix) const;
    int count(const std::string& call) const;

    std::shared_ptr<FakeClock> fakeClock = std::make_shared<FakeClock>();
    int adapters = 1;
    bool settingsAutoEnabled = false;
    bool settingsAutoMode = false;
    int exits = 0;
    std::vector<std::string> calls;
    std::vector<std::shared_ptr<CWorkThread>> workers;
};

// A window on a scripted environment, shown (so its start-up has run) unless told otherwise.
class FormFixture {
public:
    explicit FormFixture(bool show = true, bool autoEnabled = false, bool autoMode = false, int adapters = 1);
    ~FormFixture();

    TMainForm& form() { return *form_; }
    RunState& rs() { return form_->controller().state(); }
    // The worker of the current run (an idle one).
    CWorkThread& worker() { return *form_->controller().worker(); }
    // The run measured these speeds (a speed of 0 was not measured).
    void setSpeeds(double dlKbps, double ulKbps);
    ScriptedEnvironment& env() { return *env_; }
    ScriptedBoxes& boxes() { return *boxes_; }

    // Runs a message through the window's dispatch, as the message queue does.
    void deliver(unsigned msg, std::intptr_t wParam = 0, std::intptr_t lParam = 0);
    void deliverText(unsigned msg, std::intptr_t wParam, const std::string& lText);
    // Presses a key as the window system delivers it: to the focused widget, else the window.
    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // Presses a key with the text and hardware code a keyboard layout gives it.
    void typed(Qt::Key k, Qt::KeyboardModifiers modifiers, const QString& text, quint32 scanCode);
    // Handles queued events (posted closes, the message queue's wake-ups).
    void processEvents();

    // Pages reached the way the user reaches them.
    void toAgreement();  // WM_START_DECISION 3 on a fresh run
    void toTesting();    // agreement, then agree
    void toResults(double dlKbps, double ulKbps, const std::string& reportUrl = "http://report/1");

    std::shared_ptr<ScriptedEnvironment> env_;
    std::shared_ptr<ScriptedBoxes> boxes_;
    std::unique_ptr<TMainForm> form_;
};

// Visible as far as the window is concerned (not hidden by the window itself).
inline bool shown(const QWidget* w) { return !w->isHidden(); }

}  // namespace kivota::test
