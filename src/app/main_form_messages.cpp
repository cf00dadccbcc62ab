// The window's side of the run controller's reports.
#include <algorithm>
#include <iterator>

#include "app/browser_pane.h"
#include "app/error_texts.h"
#include "app/image_control.h"
#include "app/main_form.h"
#include "app/message_boxes.h"
#include "app/run_environment.h"

namespace kivota {

namespace {

// How each end of a run shows: on which page, with which box ('I' information, 'S' stop, 'R'
// retry or cancel, which the automatic mode shows too), and whether the window closes after it.
enum class EndPage { Results, Halted, None };
struct WindowEnd {
    EndKind kind;
    EndPage page;
    char box;
    bool close;
};

constexpr WindowEnd kEnds[] = {
    {EndKind::Reported, EndPage::Results, 0, false},          {EndKind::Recorded, EndPage::Results, 0, false},
    {EndKind::NotReported, EndPage::Results, 0, false},       {EndKind::NotRecorded, EndPage::Results, 0, false},
    {EndKind::OutOfRange, EndPage::Results, 'I', false},      {EndKind::MeasurementFailed, EndPage::Results, 0, false},
    {EndKind::PhasesNotStarted, EndPage::Results, 'S', true}, {EndKind::ServerFailed, EndPage::Halted, 'R', false},
    {EndKind::NoRoundTrip, EndPage::Halted, 0, false},        {EndKind::Refused, EndPage::None, 'I', true},
    {EndKind::NoAdapter, EndPage::None, 'S', true},
};

}  // namespace

void TMainForm::onStartPage(StartPage page, const ServerTexts& texts) {
    serverTexts = texts;
    originPage = 9;
    switch (page) {
        case StartPage::Agreement: vShowAgreementPage(); break;
        case StartPage::Testing: vShowTestingPage(); break;
        case StartPage::UpdateRequired:
            currentPage = PageUpdateRequired;
            vShowUpdateRequiredPage();
            break;
        case StartPage::UpdateOffered:
            currentPage = PageUpdateOffered;
            vShowUpdateOfferedPage();
            break;
    }
}

void TMainForm::onConnecting() {
    if (placed_) vLeaveResults();
    else vPlaceFirstPage();
    vShowConnecting();
}

void TMainForm::onProgress(const Progress& progress) { vShowProgress(progress.phase, progress.percent); }

void TMainForm::onAnalysisStart() {
    markStart = controller_->clock().now();
    resultsShown = false;
    TimerDisable.start();
    vShowAnalysis();
}

void TMainForm::onFinished(const RunResult& result) {
    const EndKind kind = result.outcome.kind;
    const int code = result.outcome.code;
    const auto* end =
        std::find_if(std::begin(kEnds), std::end(kEnds), [&](const WindowEnd& e) { return e.kind == kind; });
    if (end == std::end(kEnds)) return;  // the window ends a run only by closing
    if (end->page == EndPage::None) {
        if (kind == EndKind::Refused) Ad_WebBrowser->collapse();
        if (!result.automatic) vShowErrorBox(end->box, code);
        if (kind == EndKind::Refused) vCloseApp();
        else vPostClose();
        return;
    }
    if (end->page == EndPage::Halted) {
        // The connecting page stays on screen.
        currentPage = PageHalted;
        vScreenshot("halted");
        if (end->box == 'R') {
            if (boxes_->retryCancel(szErrorCaption(code), szErrorText(code))) {
                vRetest();
                return;
            }
            vPostClose();
        } else if (result.automatic) {
            vCloseApp();  // nobody is there to close it
            return;
        }
        Ad_WebBrowser->collapse();
        return;
    }
    vShowResultsFrame();
    // An end that carries no result closes the automatic mode at once (its log line is written).
    if (result.automatic && (!bMeasuredKind(kind) || kind == EndKind::OutOfRange)) {
        vCloseApp();
        return;
    }
    if (end->box != 0) {
        vScreenshot("results");
        vShowErrorBox(end->box, code);
        if (end->close) vPostClose();
        return;
    }
    shownDownloadKbps = result.downloadKbps.value_or(0.0);
    shownUploadKbps = result.uploadKbps.value_or(0.0);
    vShowSpeeds();
    if (bMeasuredKind(kind)) vShowReport(result);
    vScreenshot("results");
}

void TMainForm::onConfigLoaded(const std::string& infoUrl, const std::string& adUrl) {
    Info_WebBrowser->navigate(infoUrl);
    if (!bIsNoPage(adUrl)) Ad_WebBrowser->navigate(adUrl);
    else Ad_WebBrowser->collapse();
}

}  // namespace kivota
