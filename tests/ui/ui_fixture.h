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
#include "support/scripted_services.h"

namespace kivota::test {

// The one application object of a test executable (offscreen platform).
QApplication& uiApplication();

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
class ScriptedEnvironment final : public ScriptedServices, public IRunEnvironment {
public:
    void vOpenUrl(const std::string& url) override { calls.push_back("open " + url); }
    void vSleepMs(int ms) override { calls.push_back("sleep " + std::to_string(ms)); }
    void vExitProcess(int code) override {
        calls.push_back("exit " + std::to_string(code));
        ++exits;
    }
    // The window's closing path waits for threads that the idle workers end at once.
    bool bWaitThreadsEnded(std::chrono::milliseconds) override {
        calls.push_back("waitThreads");
        return true;
    }

    int exits = 0;
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
