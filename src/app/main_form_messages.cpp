// The window's side of the worker's messages.
#include <QApplication>

#include "app/browser_pane.h"
#include "app/error_texts.h"
#include "app/image_control.h"
#include "app/main_form.h"
#include "app/message_boxes.h"
#include "app/run_environment.h"
#include "run/work_thread.h"

namespace kivota {

namespace {

constexpr const char* kNoPage = "NULL";
constexpr double kSpeedLimitKbps = 1'000'000.0;

bool bIsNoPage(const std::string& url) { return url == kNoPage; }

}  // namespace

void TMainForm::vDispatchMessage(WindowMessage& message) {
    // After the closing path has run nothing more is handled; the message (and its texts) is
    // freed by its owner as it goes out of scope.
    if (closing_) return;
    switch (message.msg) {
        case WM_START_DECISION: WMStartDecision(message); break;
        case WM_TEST_FINISHED: WMTestFinished(message); break;
        case WM_TEST_PROGRESS: WMTestProgress(message); break;
        case WM_TEST_REFUSED: WMTestRefused(message); break;
        case WM_KEEP_ALIVE: WMKeepAlive(message); break;
        case WM_CONFIG_LOADED: WMConfigLoaded(message); break;
        case WM_ANALYSIS_START: WMAnalysisStart(message); break;
        case WM_GO_REQUEST: WMGoRequest(message); break;
        default: break;
    }
    // Every text holder is released here on every path, also when a handler ended the program.
    message.wText.reset();
    message.lText.reset();
}

void TMainForm::WMStartDecision(WindowMessage& message) {
    RunState& s = rs();
    originPage = 9;
    switch (message.wParam) {
        case 3:
            if ((s.freshStart || !s.noticeAccepted) && !s.autoTestEnabled) {
                currentPage = PageAgreement;
                vShowAgreementPage();
            } else {
                if (s.autoTestEnabled) s.noticeAccepted = true;
                vShowTestingPage();
            }
            break;
        case 1:
            currentPage = PageUpdateRequired;
            vShowUpdateRequiredPage();
            break;
        case 2:
            if (!s.autoTestEnabled) {
                currentPage = PageUpdateOffered;
                vShowUpdateOfferedPage();
            } else {
                s.noticeAccepted = true;
                vShowTestingPage();
            }
            break;
        case 0: vHaltRun(); break;
        default: break;
    }
}

void TMainForm::vHaltRun() {
    RunState& s = rs();
    currentPage = PageHalted;
    if (workThread) {
        workThread->Terminate();
        workThread.reset();
    }
    vScreenshot("halted");
    if (s.errorCode == ErrConfigFetch) {
        if (boxes_->retryCancel(szErrorCaption(s.errorCode), szErrorText(s.errorCode))) {
            vRetest();
            return;
        }
        vPostClose();
    } else if (s.errorCode == ErrEchoTimeout) {
        s.userGo = true;
    }
    Ad_WebBrowser->collapse();
}

void TMainForm::WMTestProgress(WindowMessage& message) {
    const auto p = static_cast<int>(message.lParam);
    const int r = ((p + 5) / 10) * 10;
    const auto phase = message.wParam;
    if (r >= 100) {
        if (phase == 0) vLoadImage(ImgStatus, "TEXT_UPLINK_END", "PNG");
        else if (phase == 1) vLoadImage(ImgStatus, "TEXT_DOWNLINK_END", "PNG");
        vLoadImage(ImgBar, "PERCENT_BAR_100", "PNG");
        vLoadImage(ImgBarNum, "PERCENT_100", "PNG");
        vScreenshot(phase == 0 ? "testing-upload-done" : (phase == 1 ? "testing-download-done" : "testing-ready"));
        return;
    }
    const std::string step = std::to_string(r);
    const char* status = phase == 0 ? "TEXT_UPLINK" : (phase == 1 ? "TEXT_DOWNLINK" : "TEXT_CONFIG");
    const char* hint = phase == 0 ? "NOTICE_P3" : (phase == 1 ? "NOTICE_P2" : "NOTICE_P1");
    vLoadImage(ImgStatus, status, "PNG");
    vLoadImage(ImgBar, "PERCENT_BAR_" + step, "PNG");
    vLoadImage(ImgBarNum, "PERCENT_" + step, "PNG");
    vLoadImage(ImgHint, hint, "PNG");
}

void TMainForm::WMTestFinished(WindowMessage& message) {
    RunState& s = rs();
    // Steps common to every outcome.
    currentPage = PageResults;
    vHideAll();
    s.freshStart = false;
    adOnResults = false;
    ImgTitle->show();
    ImgNext->show();
    ImgCancel->show();
    ImgApplogo->show();
    ImgTitle->setGeometry(20, ImgTitle->y(), 227, ImgTitle->height());
    ImgApplogo->move(width() - 196, ImgApplogo->y());
    vLoadImage(ImgBackground, "BACKGROUND_OVER", "PNG");
    vLoadImage(ImgTitle, "TEST_END", "PNG");
    vLoadImage(ImgNext, "BUTTON_RT", "PNG");
    vLoadImage(ImgCancel, "BUTTON_Q", "PNG");
    vLoadImage(ImgDownlinkTitle, "DOWNLINK", "PNG");
    vLoadImage(ImgUplinkTitle, "UPLINK", "PNG");
    vLoadImage(ImgApplogo, "APPLOGO", "PNG");
    Ad_WebBrowser->collapse();

    const auto outcome = message.wParam;
    if (outcome == 1 || outcome == 2) {
        if (s.dlFtpKbps >= kSpeedLimitKbps || s.ulFtpKbps >= kSpeedLimitKbps || s.dlFtpKbps <= 1.0 ||
            s.ulFtpKbps <= 1.0) {
            s.errorCode = ErrImplausibleResult;
        }
        if (s.errorCode == ErrImplausibleResult) {
            if (s.autoTestEnabled) {
                if (s.autoTestMode) vLogAutoError();
                vCloseApp();
            } else {
                vScreenshot("results");
                vShowErrorBox('I');
            }
            return;
        }
        vShowSpeeds();
        if (outcome == 1) {
            resultsShown = true;
            adOnResults = true;
            if (!bIsNoPage(s.adUrl2)) Ad_WebBrowser->navigate(s.adUrl2);
            else Ad_WebBrowser->collapse();
            resultPageUrl = message.lText ? *message.lText : std::string();
            if (resultPageUrl.compare(0, 4, kNoPage) != 0) ImgReport->show();
            ImgSerial->show();
            ImgDownlinkTitle->show();
            ImgUplinkTitle->show();
            labelResultSerial->show();
            labelResultTime->show();
            if (!s.completionCode.empty()) labelBSPM->setText(QStringLiteral("測通報峻已完成"));
            vLoadImage(ImgReport, "BUTTON_R", "PNG");
            vLoadImage(ImgSerial, "SERIAL", "PNG");
            labelResultSerial->setText(QString::fromStdString(s.resultFlags));
            labelResultTime->setText(QString::fromStdString(s.resultITime));
            markStart = env_->clock().now();
        } else {
            if (s.autoTestEnabled) {
                markStart = env_->clock().now();
                resultsShown = true;
            }
            if (!s.completionCode.empty()) labelBSPM->setText(QStringLiteral("測通報峻結果未回報成功"));
        }
    } else if (outcome == 3) {
        if (s.autoTestEnabled) {
            if (s.autoTestMode) vLogAutoError();
            vCloseApp();
            return;
        }
        switch (s.errorCode.load()) {
            case ErrUploadTooShort:
            case ErrDownloadTooShort:
            case 3:
            case ErrUploadNoneLargeMtu:
            case ErrUploadNoneOther: vShowSpeeds(); break;
            case ErrConfigFetch:
                vScreenshot("results");
                if (boxes_->retryCancel(szErrorCaption(s.errorCode), szErrorText(s.errorCode))) {
                    vRetest();
                    return;
                }
                vPostClose();
                return;
            case ErrPhaseStart:
                vScreenshot("results");
                vShowErrorBox('S');
                vPostClose();
                return;
            default: break;
        }
    }
    vScreenshot("results");
}

void TMainForm::WMTestRefused(WindowMessage&) {
    RunState& s = rs();
    Ad_WebBrowser->collapse();
    if (!s.autoTestEnabled) vShowErrorBox('I');
    else if (s.autoTestMode) vLogAutoError();
    vCloseApp();
}

void TMainForm::WMKeepAlive(WindowMessage& message) {
    RunState& s = rs();
    const std::string url = message.lText ? *message.lText : std::string();
    const std::string cookie = message.wText ? *message.wText : std::string();
    env_->vGetSystemResource(s);
    env_->vStartKeepAlive(cookie, url);
}

void TMainForm::WMConfigLoaded(WindowMessage&) {
    RunState& s = rs();
    Info_WebBrowser->navigate(s.infoUrl);
    if (!bIsNoPage(s.adUrl1)) Ad_WebBrowser->navigate(s.adUrl1);
    else Ad_WebBrowser->collapse();
}

void TMainForm::WMAnalysisStart(WindowMessage&) {
    markStart = env_->clock().now();
    resultsShown = false;
    TimerDisable.start();
    ImgTesting->move(152, ImgTesting->y());
    vLoadImage(ImgTesting, "ANALYSIS", "PNG");
    ImgStatus->hide();
    ImgBar->hide();
    ImgBarNum->hide();
    ImgHint->hide();
}

void TMainForm::WMGoRequest(WindowMessage&) { rs().userGo = true; }

void TMainForm::Ad_WebBrowserDocumentComplete() {
    adLoaded = true;
    if (currentPage == PageTesting) {
        vSetAdTestingSize();
    } else if (currentPage == PageResults && adOnResults) {
        Ad_WebBrowser->setGeometry(400, screenDpi > 96 ? 70 : 56, 120, 300);
    }
}

}  // namespace kivota
