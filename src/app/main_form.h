#pragma once
// The one skinned window of the program: its start-up, its pages and image buttons, the run
// controller's reports, the speed readout, the keyboard shortcuts, and the one way out. The run
// itself is the controller's; the window draws what it reports and asks the user.
//
// Controls and fields carry the names the rest of the program uses for them. They are public
// so that the window tests can look at every control.

#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QKeyEvent;

#include "platform/clock.h"
#include "run/run_controller.h"
#include "run/run_reporter.h"

namespace kivota {

class BrowserPane;
class IMessageBoxes;
class IRunEnvironment;
class ImageControl;
class QtEventLoop;
class TReportForm;

// Page codes of currentPage.
enum PageCode : int {
    PageHalted = 0,
    PageUpdateRequired = 1,
    PageUpdateOffered = 2,
    PageAgreement = 4,
    PageTesting = 5,
    PageResults = 6,
    PageSetupDoc = 7,
    PageBulletin = 8,
    PageAbout = 10,
};

// "0.93" from the version "0.9.3.0": the major number, ".", then the minor and the third
// number without a separator. Empty when the text is not a version of at least three numbers.
std::string szFileVersion(const std::string& version);

// The window's caption before and after start-up.
inline constexpr const char* kFormCaption = "Vantrel測速軟體 Kivota";
inline constexpr const char* kTrialSuffix = "(試用版)";
inline constexpr const char* kApplicationTitle = "Vantrel測速軟體";

class TMainForm final : public QWidget, public IRunReporter {
    Q_OBJECT

public:
    // `services` serve the run controller; `env` the window's own needs (the desktop's browser,
    // its pauses, the process's end).
    TMainForm(std::shared_ptr<IRunServices> services, std::shared_ptr<IRunEnvironment> env,
              std::shared_ptr<IMessageBoxes> boxes, QWidget* parent = nullptr);
    ~TMainForm() override;

    // --- lifecycle ---
    void FormShow();
    void vRetest();
    void vCloseApp();
    void FormKeyDown(int key);
    // The key code FormKeyDown acts on: the digit row's 6 key as Qt::Key_6 in every layout and
    // with Shift; keypad keys carry Qt::KeypadModifier so that they match nothing.
    static int iFormKey(const QKeyEvent& event);
    void TimerDisableTimer();
    // Queues a close of the window (its normal close path then runs vCloseApp).
    void vPostClose();

    // --- the run controller's reports (all on the window's thread) ---
    void onConnecting() override;
    void onConfigLoaded(const std::string& infoUrl, const std::string& adUrl) override;
    void onStartPage(StartPage page, const ServerTexts& texts) override;
    void onGuestTest() override {}
    void onProgress(const Progress& progress) override;
    void onSecond(const MeasuredSecond&) override {}
    void onAnalysisStart() override;
    void onFinished(const RunResult& result) override;
    // The mouse left one of the window's controls.
    void CMMouseLeave(QWidget* control);

    // --- pages ---
    void vLoadImage(ImageControl* image, const std::string& name, const std::string& type);
    void vPlaceControls();
    void vHideAll();
    void vShowConnecting();
    void vShowUpdateRequiredPage();
    void vShowUpdateOfferedPage();
    void vShowAgreementPage();
    void vShowTestingPage();
    void vShowSetupDocPage();
    void vShowBulletinPage();
    void vShowAboutPage();
    void vOpenDownload();
    void vShowSpeeds();

    // --- image buttons ---
    void ImgPreviousMouseMove();
    void ImgPreviousMouseDown();
    void ImgNextMouseMove();
    void ImgNextMouseDown();
    void ImgCancelMouseMove();
    void ImgCancelMouseDown();
    void ImgReportMouseMove();
    void ImgReportMouseDown();
    void ImgCopyrightClick();
    void Ad_WebBrowserDocumentComplete();

    RunController& controller() { return *controller_; }
    bool closing() const { return closing_; }
    // Shows the completion-code dialog modally; true when it was accepted. Tests replace it.
    std::function<bool(TReportForm&)> runReportDialog;
    // Told whenever a page (or a notable state of one) is on screen; unset in the product.
    std::function<void(TMainForm&, const std::string& page)> onPageShown;
    // Told once when the closing path starts, while the window is still on screen; unset in the
    // product.
    std::function<void(TMainForm&)> onClosing;

    // --- controls ---
    ImageControl *ImgBackground, *ImgHint, *ImgApplogo, *ImgTitle, *ImgAlarm, *ImgNotice, *ImgConnecting, *ImgCenter,
        *ImgRotation, *ImgTesting, *ImgStatus, *ImgBar, *ImgBarNum, *ImgDownlinkTitle, *ImgUplinkTitle, *ImgReport,
        *ImgSerial, *ImgPrevious, *ImgNext, *ImgCancel, *ImgZuv, *ImgCopyright, *ImgLogo;
    ImageControl *ImgDown1000, *ImgDown100, *ImgDown10, *ImgDown1, *ImgDowndot, *ImgDowndot1, *ImgDowndot01,
        *ImgDownUnit;
    ImageControl *ImgUp1000, *ImgUp100, *ImgUp10, *ImgUp1, *ImgUpdot, *ImgUpdot1, *ImgUpdot01, *ImgUpUnit;
    QLabel *labelResultSerial, *labelResultTime, *labelBSPM, *labelLicense;
    QPlainTextEdit* MemoAnouncement;
    BrowserPane *Info_WebBrowser, *Ad_WebBrowser;
    QTimer TimerDisable;
    TReportForm* ReportForm;

    // --- fields ---
    int screenDpi = 96;
    std::string resultPageUrl;
    std::string fileVersion;
    std::string releaseDate;
    IClock::Mark markStart = 0, markNow = 0;
    std::string downloadUrl;
    int currentPage = PageHalted;
    int originPage = 0;
    bool adLoaded = false;
    bool adOnResults = false;
    bool resultsShown = false;
    bool prevLatch = false;
    bool nextLatch = false;
    int lastKey = 0;
    // What the run gave the pages to show.
    ServerTexts serverTexts;
    double shownDownloadKbps = 0, shownUploadKbps = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    ImageControl* pMakeImage(const char* name);
    QLabel* pMakeLabel(const char* name);
    void vDesignLayout();
    void vWireButtons();
    void vAgree();
    void vShowSpeedRow(double speed, const std::vector<ImageControl*>& row, const char* notShownUnit);
    void vShowErrorBox(char kind, int errorCode);
    void vShowResultsFrame();
    void vShowReport(const RunResult& result);
    void vPlaceFirstPage();
    void vLeaveResults();
    void vShowProgress(RunPhase phase, int percent);
    void vShowAnalysis();
    void vSetAdTestingSize();
    void vScreenshot(const std::string& page);
    std::shared_ptr<IRunEnvironment> env_;
    std::shared_ptr<IMessageBoxes> boxes_;
    QtEventLoop* loop_;
    std::unique_ptr<RunController> controller_;
    std::vector<ImageControl*> buttons_;
    bool shown_ = false;
    bool placed_ = false;  // the first run placed the controls
    bool closing_ = false;
};

}  // namespace kivota
