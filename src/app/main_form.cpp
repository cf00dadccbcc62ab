// The window's construction, start-up, timers, keyboard and closing path.
#include "app/main_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>

#include <cmath>
#include <cstdio>
#include <sstream>

#include "app/browser_pane.h"
#include "app/error_texts.h"
#include "app/image_control.h"
#include "app/message_boxes.h"
#include "app/qt_event_loop.h"
#include "app/report_form.h"
#include "app/run_environment.h"

namespace kivota {

namespace {

constexpr const char* kReleaseDate = "2012-08-09";
constexpr int kCloseWaitMs = 300;
constexpr int kAutoLogWaitMs = 500;
// How long the closing path waits for the worker and its connections to notice the terminate
// request before the process ends anyway.
constexpr std::chrono::milliseconds kThreadEndBound{3000};

}  // namespace

std::string szFileVersion(const std::string& version) {
    std::vector<std::string> parts;
    std::stringstream in(version);
    std::string part;
    while (std::getline(in, part, '.')) parts.push_back(part);
    if (parts.size() < 3) return {};
    for (std::size_t i = 0; i < 3; ++i) {
        if (parts[i].empty() || parts[i].find_first_not_of("0123456789") != std::string::npos) return {};
    }
    return parts[0] + "." + parts[1] + parts[2];
}

TMainForm::TMainForm(std::shared_ptr<IRunServices> services, std::shared_ptr<IRunEnvironment> env,
                     std::shared_ptr<IMessageBoxes> boxes, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      env_(std::move(env)),
      boxes_(std::move(boxes)),
      loop_(new QtEventLoop(this)),
      controller_(std::make_unique<RunController>(std::move(services), *loop_, *this)) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QString::fromUtf8(kFormCaption));
    setFixedSize(520, 420);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    // Controls, bottom to top: the background, the hint panel that the testing page draws
    // behind its other pictures, then everything else, the browser panes last.
    ImgBackground = pMakeImage("ImgBackground");
    ImgHint = pMakeImage("ImgHint");
    ImgLogo = pMakeImage("ImgLogo");
    ImgApplogo = pMakeImage("ImgApplogo");
    ImgTitle = pMakeImage("ImgTitle");
    ImgAlarm = pMakeImage("ImgAlarm");
    ImgNotice = pMakeImage("ImgNotice");
    ImgNotice->setAutoSize(true);
    ImgConnecting = pMakeImage("ImgConnecting");
    ImgCenter = pMakeImage("ImgCenter");
    ImgRotation = pMakeImage("ImgRotation");
    ImgTesting = pMakeImage("ImgTesting");
    ImgStatus = pMakeImage("ImgStatus");
    ImgBar = pMakeImage("ImgBar");
    ImgBarNum = pMakeImage("ImgBarNum");
    ImgDownlinkTitle = pMakeImage("ImgDownlinkTitle");
    ImgUplinkTitle = pMakeImage("ImgUplinkTitle");
    ImgDown1000 = pMakeImage("ImgDown1000");
    ImgDown100 = pMakeImage("ImgDown100");
    ImgDown10 = pMakeImage("ImgDown10");
    ImgDown1 = pMakeImage("ImgDown1");
    ImgDowndot = pMakeImage("ImgDowndot");
    ImgDowndot1 = pMakeImage("ImgDowndot1");
    ImgDowndot01 = pMakeImage("ImgDowndot01");
    ImgDownUnit = pMakeImage("ImgDownUnit");
    ImgUp1000 = pMakeImage("ImgUp1000");
    ImgUp100 = pMakeImage("ImgUp100");
    ImgUp10 = pMakeImage("ImgUp10");
    ImgUp1 = pMakeImage("ImgUp1");
    ImgUpdot = pMakeImage("ImgUpdot");
    ImgUpdot1 = pMakeImage("ImgUpdot1");
    ImgUpdot01 = pMakeImage("ImgUpdot01");
    ImgUpUnit = pMakeImage("ImgUpUnit");
    ImgReport = pMakeImage("ImgReport");
    ImgSerial = pMakeImage("ImgSerial");
    ImgZuv = pMakeImage("ImgZuv");
    ImgCopyright = pMakeImage("ImgCopyright");
    ImgCopyright->setCursor(Qt::PointingHandCursor);
    ImgPrevious = pMakeImage("ImgPrevious");
    ImgNext = pMakeImage("ImgNext");
    ImgCancel = pMakeImage("ImgCancel");

    labelResultSerial = pMakeLabel("labelResultSerial");
    labelResultTime = pMakeLabel("labelResultTime");
    labelBSPM = pMakeLabel("labelBSPM");
    {
        QPalette blue = labelBSPM->palette();
        blue.setColor(QPalette::WindowText, Qt::blue);
        labelBSPM->setPalette(blue);
    }
    labelLicense = new QLabel(this);
    labelLicense->setObjectName(QStringLiteral("labelLicense"));
    {
        QFont font;
        font.setFamilies(
            {QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"), QStringLiteral("Noto Sans CJK TC")});
        font.setBold(true);
        font.setPointSize(8);
        labelLicense->setFont(font);
        labelLicense->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        labelLicense->setTextFormat(Qt::PlainText);
        QPalette black = labelLicense->palette();
        black.setColor(QPalette::WindowText, Qt::black);
        labelLicense->setPalette(black);
    }

    MemoAnouncement = new QPlainTextEdit(this);
    MemoAnouncement->setObjectName(QStringLiteral("MemoAnouncement"));
    MemoAnouncement->setReadOnly(true);
    MemoAnouncement->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoAnouncement->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    MemoAnouncement->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    {
        QFont font;
        font.setFamilies({QStringLiteral("Noto Sans CJK TC"), QStringLiteral("Liberation Sans")});
        font.setPixelSize(15);
        MemoAnouncement->setFont(font);
        QPalette memo = MemoAnouncement->palette();
        memo.setColor(QPalette::Text, Qt::black);
        memo.setColor(QPalette::Base, Qt::white);
        MemoAnouncement->setPalette(memo);
    }
    MemoAnouncement->setGeometry(17, 56, 490, 280);
    MemoAnouncement->hide();

    Info_WebBrowser = new BrowserPane(QStringLiteral("Info_WebBrowser"), this);
    Info_WebBrowser->setGeometry(17, 56, 0, 0);
    Ad_WebBrowser = new BrowserPane(QStringLiteral("Ad_WebBrowser"), this);
    Ad_WebBrowser->setGeometry(208, 8, 0, 0);
    Ad_WebBrowser->setPlainDocument(true);
    connect(Ad_WebBrowser, &BrowserPane::documentComplete, this, &TMainForm::Ad_WebBrowserDocumentComplete);

    TimerDisable.setInterval(1000);
    connect(&TimerDisable, &QTimer::timeout, this, &TMainForm::TimerDisableTimer);

    ReportForm = new TReportForm(this);
    ReportForm->showMessage = [this](const std::string& text) { boxes_->information("", text); };
    runReportDialog = [](TReportForm& form) {
        form.exec();
        return form.m_bAccepted;
    };

    vDesignLayout();
    vWireButtons();
    // Key preview: the window sees every key of its own widgets before they do.
    qApp->installEventFilter(this);
}

TMainForm::~TMainForm() {
    qApp->removeEventFilter(this);
    controller_->stop();
}

void TMainForm::vDesignLayout() {
    // Sizes the pages never change, and where each control sits before the first page.
    ImgTitle->setGeometry(144, 16, 176, 33);
    ImgNotice->setGeometry(56, 136, 169, 81);
    ImgTesting->setGeometry(152, 112, 241, 41);
    ImgHint->setGeometry(0, 0, 520, 316);
    ImgBar->setGeometry(15, 340, 482, 33);
    ImgBarNum->setGeometry(440, 320, 65, 32);
    ImgDownlinkTitle->setGeometry(0, 56, 257, 25);
    ImgUplinkTitle->setGeometry(0, 160, 200, 25);
    ImgReport->setGeometry(94, 280, 201, 33);
    ImgSerial->setGeometry(94, 320, 105, 33);
    labelResultSerial->setGeometry(150, 323, 360, 17);
    labelResultTime->setGeometry(150, 338, 360, 17);
    labelBSPM->setGeometry(150, 355, 300, 17);
    labelLicense->setGeometry(240, 160, 81, 25);
    ImgHint->hide();
    ImgBar->hide();
    ImgBarNum->hide();
}

ImageControl* TMainForm::pMakeImage(const char* name) {
    auto* image = new ImageControl(QString::fromLatin1(name), this);
    return image;
}

QLabel* TMainForm::pMakeLabel(const char* name) {
    auto* label = new QLabel(this);
    label->setObjectName(QString::fromLatin1(name));
    QFont font;
    // Arial for the serial and time texts; Chinese captions fall back to the CJK face.
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Noto Sans CJK TC")});
    font.setBold(true);
    font.setPixelSize(12);
    label->setFont(font);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->setAutoFillBackground(false);
    QPalette black = label->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(black);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // These labels show texts of the server's replies: markup in them is shown, never obeyed
    // (rich text would load pictures named in it from the disk and draw links).
    label->setTextFormat(Qt::PlainText);
    return label;
}

void TMainForm::FormShow() {
    // The version and release texts; the run's own start-up is the controller's.
    setWindowTitle(windowTitle() + QString::fromUtf8(kTrialSuffix));
    releaseDate = kReleaseDate;
#ifdef KIVOTA_FILE_VERSION
    fileVersion = szFileVersion(KIVOTA_FILE_VERSION);
#else
    fileVersion.clear();
#endif
    // Painting is double-buffered by the toolkit; the density of the desktop.
    if (QScreen* sc = screen()) screenDpi = static_cast<int>(std::lround(sc->logicalDotsPerInchX()));
    controller_->start();
}

void TMainForm::vRetest() {
    try {
        controller_->retest();
    } catch (...) {
        // A retest that fails leaves the window as it is.
    }
}

void TMainForm::vCloseApp() {
    if (closing_) return;
    if (onClosing) onClosing(*this);
    closing_ = true;
    // 1-3: the CPU-load queries, the timers, the worker, and the messages still queued.
    controller_->stop();
    TimerDisable.stop();
    // 4.
    env_->vSleepMs(kCloseWaitMs);
    // 5: "NULL" from the server means there is no page; handing it to the browser would only
    // make the desktop complain about an address that does not exist.
    const std::string& endPage = controller_->endPageUrl();
    if (!endPage.empty() && !bIsNoPage(endPage)) env_->vOpenUrl(endPage);
    // 6.
    if (controller_->logEnd()) env_->vSleepMs(kAutoLogWaitMs);
    // 7: every thread holds its own reference to what it touches; waiting here lets the worker
    // and its connections end before the process does.
    controller_->waitThreads(kThreadEndBound);
    // 8.
    env_->vExitProcess(0);
}

void TMainForm::vPostClose() { QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection); }

void TMainForm::closeEvent(QCloseEvent* event) {
    vCloseApp();
    event->accept();
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TMainForm::TimerDisableTimer() {
    if (!resultsShown) return;
    markNow = controller_->clock().now();
    if (controller_->automatic()) {
        const auto whole = static_cast<long long>(controller_->clock().secondsBetween(markNow, markStart));
        if (whole > 1) vCloseApp();
    }
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && !closing_) {
        // A key goes first to the focused widget of the active window, or to the window itself,
        // then up through the parents: act on its first delivery only.
        QWidget* first = QApplication::focusWidget();
        if (first == nullptr || first->window() != this) first = this;
        if (watched == first) FormKeyDown(iFormKey(*static_cast<QKeyEvent*>(event)));
    }
    return QWidget::eventFilter(watched, event);
}

int TMainForm::iFormKey(const QKeyEvent& event) {
    // The keypad's digits are keys of their own, never the digit row's.
    if (event.modifiers() & Qt::KeypadModifier) return event.key() | static_cast<int>(Qt::KeypadModifier);
    // The digit row's 6 key, whatever the layout makes of it and with Shift held: the key that
    // types "6", or the one in that place (X keyboard code 15, the evdev key 7 plus 8).
    constexpr quint32 kDigitRowSixScanCode = 15;
    if (event.key() == Qt::Key_6 || event.text() == QStringLiteral("6") ||
        event.nativeScanCode() == kDigitRowSixScanCode)
        return Qt::Key_6;
    return event.key();
}

void TMainForm::FormKeyDown(int key) {
    switch (currentPage) {
        case PageHalted:
            if (key == Qt::Key_Q) vCloseApp();
            break;
        case PageUpdateRequired:
            if (key == Qt::Key_C) vCloseApp();
            else if (key == Qt::Key_D) vOpenDownload();
            break;
        case PageUpdateOffered:
            if (key == Qt::Key_C) vCloseApp();
            else if (key == Qt::Key_D) vOpenDownload();
            else if (key == Qt::Key_N) vShowAgreementPage();
            break;
        case PageAgreement:
            if (key == Qt::Key_6 || key == Qt::Key_C) {
                vCloseApp();
            } else if (key == Qt::Key_A) {
                vAgree();
            } else if (key == Qt::Key_T) {
                vShowSetupDocPage();
            } else if (key == Qt::Key_End && lastKey == Qt::Key_K) {
                if (runReportDialog && runReportDialog(*ReportForm))
                    controller_->setCompletionCode(ReportForm->m_szCode);
            } else {
                lastKey = key;
            }
            break;
        case PageTesting:
            if (key == Qt::Key_Q) vCloseApp();
            break;
        case PageResults:
            if (key == Qt::Key_Q) {
                vCloseApp();
            } else if (key == Qt::Key_R) {
                env_->vOpenUrl(resultPageUrl);
            } else if (key == Qt::Key_T) {
                ImgNext->hide();
                vRetest();
            }
            break;
        case PageSetupDoc:
            if (key == Qt::Key_P) vShowAgreementPage();
            break;
        case PageBulletin:
            if (key == Qt::Key_C) vCloseApp();
            else if (key == Qt::Key_N) vShowTestingPage();
            break;
        case PageAbout:
            if (key == Qt::Key_P) {
                originPage = PageAbout;
                vShowAgreementPage();
            } else if (key == Qt::Key_Q) {
                vCloseApp();
            }
            break;
        default: break;
    }
}

void TMainForm::vShowErrorBox(char kind, int errorCode) {
    const std::string caption = szErrorCaption(errorCode);
    const std::string text = szErrorText(errorCode);
    if (kind == 'I') boxes_->information(caption, text);
    else boxes_->stop(caption, text);
}

}  // namespace kivota
