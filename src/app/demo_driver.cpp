#include "app/demo_driver.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include "app/main_form.h"

namespace kivota {

namespace {

constexpr int kStepMs = 1200;      // long enough to see (and photograph) each page
constexpr int kDocumentMs = 2500;  // the setup document loads from the server

std::string szEnv(const char* name) {
    const char* v = std::getenv(name);
    return v == nullptr ? std::string() : std::string(v);
}

}  // namespace

DemoDriver::DemoDriver() {
    screenshotDir_ = szEnv("KIVOTA_SCREENSHOT_DIR");
    const std::string agree = szEnv("KIVOTA_AUTO_AGREE");
    autoAgree_ = !agree.empty() && agree != "0";
    tour_ = agree == "tour";
    const std::string exitAfter = szEnv("KIVOTA_EXIT_AFTER_RESULTS");
    if (!exitAfter.empty()) exitAfterMs_ = static_cast<int>(std::strtod(exitAfter.c_str(), nullptr) * 1000.0);
}

void DemoDriver::vOnPage(TMainForm& form, const std::string& page) {
    if (!active()) return;
    vScreenshot(form, page);
    if (autoAgree_) {
        if (page == "agreement") {
            if (tour_ && !visitedSetupDoc_) {
                vLater(form, kStepMs, PageAgreement, [](TMainForm& f) { f.ImgPreviousMouseDown(); });
            } else if (tour_ && !visitedAbout_) {
                vLater(form, kStepMs, PageAgreement, [](TMainForm& f) { f.ImgCopyrightClick(); });
            } else {
                vLater(form, kStepMs, PageAgreement, [](TMainForm& f) { f.ImgNextMouseDown(); });
            }
        } else if (page == "setupdoc") {
            visitedSetupDoc_ = true;
            vLater(form, kDocumentMs, PageSetupDoc, [](TMainForm& f) { f.ImgCancelMouseDown(); });
        } else if (page == "about") {
            visitedAbout_ = true;
            vLater(form, kStepMs, PageAbout, [](TMainForm& f) { f.ImgCancelMouseDown(); });
        } else if (page == "bulletin") {
            vLater(form, kStepMs, PageBulletin, [](TMainForm& f) { f.ImgNextMouseDown(); });
        } else if (page == "update-offered") {
            vLater(form, kStepMs, PageUpdateOffered, [](TMainForm& f) { f.ImgPreviousMouseDown(); });
        }
    }
    if (page == "results" && tour_ && !retested_) {
        retested_ = true;
        vLater(form, 3000, PageResults, [](TMainForm& f) { f.ImgNextMouseDown(); });
        return;
    }
    if (exitAfterMs_ >= 0 && (page == "results" || page == "update-required" || page == "halted")) {
        QTimer::singleShot(exitAfterMs_, &form, [this, &form] { vCloseWhenShot(form); });
    }
}

void DemoDriver::vCloseWhenShot(TMainForm& form) {
    if (waiting_.empty()) form.vCloseApp();
    else closeWhenShot_ = true;
}

void DemoDriver::vOnClosing(TMainForm& form) {
    const auto waiting = std::move(waiting_);
    waiting_.clear();
    for (const auto& [number, shot] : waiting) vTakeShot(form, number, shot);
}

void DemoDriver::vLater(TMainForm& form, int ms, int expectedPage, void (*action)(TMainForm&)) {
    // The step only runs when the page it was meant for is still on screen.
    QTimer::singleShot(ms, &form, [&form, expectedPage, action] {
        if (form.closing() || form.currentPage != expectedPage) return;
        action(form);
    });
}

void DemoDriver::vScreenshot(TMainForm& form, const std::string& page) {
    if (screenshotDir_.empty()) return;
    const int number = ++shots_;
    // The window's own controls are pictured once the current event is handled, so the
    // picture shows the page as it ends up. Pages with a browser pane or a message box are
    // taken from the screen a little later instead: the pane draws outside the window's own
    // painting, and the box is a window of its own over it.
    const bool overlaid = page == "setupdoc" || page == "results" || page == "testing" || page == "halted";
    const bool fromScreen = overlaid && QGuiApplication::platformName() == QLatin1String("xcb");
    waiting_[number] = Shot{page, fromScreen};
    QTimer::singleShot(fromScreen ? kDocumentMs : 0, &form, [this, &form, number] {
        const auto it = waiting_.find(number);
        if (it == waiting_.end()) return;  // taken already, as the window closed
        const Shot shot = it->second;
        waiting_.erase(it);
        vTakeShot(form, number, shot);
        if (closeWhenShot_ && waiting_.empty()) form.vCloseApp();
    });
}

void DemoDriver::vTakeShot(TMainForm& form, int number, const Shot& shot) {
    const QString dir = QString::fromStdString(screenshotDir_);
    QDir().mkpath(dir);
    const QString file = QStringLiteral("%1/%2-%3.png")
                             .arg(dir)
                             .arg(number, 2, 10, QLatin1Char('0'))
                             .arg(QString::fromStdString(shot.page));
    QScreen* screen = form.screen();
    const QPoint origin = form.mapToGlobal(QPoint(0, 0));
    const QPixmap picture = shot.fromScreen && screen != nullptr
                                ? screen->grabWindow(0, origin.x(), origin.y(), form.width(), form.height())
                                : form.grab();
    if (!picture.save(file)) std::fprintf(stderr, "kivota: cannot save the screenshot %s\n", qPrintable(file));
}

}  // namespace kivota
