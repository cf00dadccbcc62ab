#include "ui_fixture.h"

#include <QKeyEvent>
#include <QTest>

#include "app/browser_pane.h"

namespace kivota::test {

QApplication& uiApplication() {
    static int argc = 1;
    static char name[] = "kivota-ui-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // The window's own logic is under test: the panes record navigations, load nothing.
        BrowserPane::setWebEngineEnabled(false);
        return new QApplication(argc, argv);
    }();
    return *app;
}

FormFixture::FormFixture(bool show, bool autoEnabled, bool autoMode, int adapters)
    : env_(std::make_shared<ScriptedEnvironment>()), boxes_(std::make_shared<ScriptedBoxes>()) {
    uiApplication();
    env_->settingsAutoEnabled = autoEnabled;
    env_->settingsAutoMode = autoMode;
    env_->adapters = adapters;
    form_ = std::make_unique<TMainForm>(env_, env_, boxes_);
    if (show) form_->show();
}

FormFixture::~FormFixture() {
    form_.reset();
    // The idle workers end at once; their threads are joined before the next test.
    for (auto& w : env_->workers) w->Terminate();
    ThreadTracker::waitAllEnded(std::chrono::seconds(5));
}

// A send from the receiving thread is handled at once, as the worker's messages are.
void FormFixture::deliver(unsigned msg, std::intptr_t wParam, std::intptr_t lParam) {
    form_->controller().workerAddress()->SendMessage(WindowMessage::make(msg, wParam, lParam));
}

void FormFixture::deliverText(unsigned msg, std::intptr_t wParam, const std::string& lText) {
    WindowMessage m = WindowMessage::withTexts(msg, nullptr, std::make_unique<TextHolder>(lText));
    m.wParam = wParam;
    form_->controller().workerAddress()->SendMessage(std::move(m));
}

void FormFixture::setSpeeds(double dlKbps, double ulKbps) {
    rs().dlFtpKbps = dlKbps;
    rs().ulFtpKbps = ulKbps;
    worker().dlMeasured = dlKbps > 0;
    worker().ulMeasured = ulKbps > 0;
}

void FormFixture::key(Qt::Key k, Qt::KeyboardModifiers modifiers) {
    QWidget* target = QApplication::focusWidget();
    if (target == nullptr || target->window() != form_.get()) target = form_.get();
    QTest::keyClick(target, k, modifiers);
}

void FormFixture::typed(Qt::Key k, Qt::KeyboardModifiers modifiers, const QString& text, quint32 scanCode) {
    QWidget* target = QApplication::focusWidget();
    if (target == nullptr || target->window() != form_.get()) target = form_.get();
    QKeyEvent press(QEvent::KeyPress, k, modifiers, scanCode, 0, 0, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, k, modifiers, scanCode, 0, 0, text);
    QApplication::sendEvent(target, &release);
}

void FormFixture::processEvents() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void FormFixture::toAgreement() { deliver(WM_START_DECISION, 3); }

void FormFixture::toTesting() {
    toAgreement();
    form_->ImgNextMouseDown();
}

void FormFixture::toResults(double dlKbps, double ulKbps, const std::string& reportUrl) {
    toTesting();
    deliver(WM_ANALYSIS_START);
    setSpeeds(dlKbps, ulKbps);
    deliverText(WM_TEST_FINISHED, 1, reportUrl);
}

}  // namespace kivota::test
