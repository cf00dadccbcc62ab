// The window's pages: control placement, the picture loader and every page set-up.
#include <cstdio>
#include <cstdlib>

#include "app/browser_pane.h"
#include "app/image_control.h"
#include "app/main_form.h"
#include "app/resources/picture_decoder.h"
#include "app/resources/resource_table.h"
#include "app/run_environment.h"

namespace kivota {

namespace {

void vSetLeftWidth(QWidget* w, int left, int width) { w->setGeometry(left, w->y(), width, w->height()); }

}  // namespace

void TMainForm::vLoadImage(ImageControl* image, const std::string& name, const std::string& type) {
    if (type != "JPEG" && type != "GIF" && type != "PNG") return;
    // Decoded afresh on every call, a reload of the picture on screen included.
    const auto bytes = findResource(type, name);
    std::optional<Picture> picture;
    if (!bytes.empty()) picture = decodePicture(type, bytes);
    if (!picture) {
        std::fprintf(stderr, "kivota: picture %s %s is missing or damaged\n", type.c_str(), name.c_str());
        return;
    }
    image->setPicture(*picture, name);
}

void TMainForm::vPlaceControls() {
    ImgBackground->setGeometry(0, 0, 520, 420);
    ImgApplogo->setGeometry(0, 0, 180, 50);
    ImgAlarm->setGeometry(0, 56, 520, 49);
    ImgConnecting->setGeometry(101, 172, 57, 57);
    ImgCenter->setGeometry(152, 180, 284, 41);
    ImgRotation->setGeometry(213, 180, 105, 105);
    ImgTesting->move(152, ImgTesting->y());
    ImgHint->move(0, 0);
    ImgStatus->setGeometry(15, 320, 193, 25);
    ImgBar->setGeometry(15, 340, 482, ImgBar->height());
    ImgBarNum->move(440, 320);
    ImgDownlinkTitle->move(0, 56);
    ImgUplinkTitle->move(0, 160);

    // The digit rows: thousands at the left, then the decimal point, two decimals and the unit.
    const int digitLeft[] = {24, 59, 94, 129};
    ImageControl* down[] = {ImgDown1000, ImgDown100, ImgDown10, ImgDown1};
    ImageControl* up[] = {ImgUp1000, ImgUp100, ImgUp10, ImgUp1};
    for (int i = 0; i < 4; ++i) {
        down[i]->setGeometry(digitLeft[i], 88, 34, 55);
        up[i]->setGeometry(digitLeft[i], 192, 34, 55);
    }
    ImgDowndot->setGeometry(164, 128, 17, 14);
    ImgUpdot->setGeometry(164, 232, 17, 16);
    ImgDowndot1->setGeometry(179, 88, 34, 55);
    ImgUpdot1->setGeometry(179, 192, 34, 55);
    ImgDowndot01->setGeometry(214, 88, 34, 55);
    ImgUpdot01->setGeometry(214, 192, 34, 55);
    ImgDownUnit->setGeometry(260, 118, 75, 31);
    ImgUpUnit->setGeometry(260, 224, 75, 31);

    ImgReport->move(94, 280);
    ImgSerial->move(94, 320);
    labelResultSerial->setGeometry(150, 323, 360, labelResultSerial->height());
    labelResultTime->setGeometry(150, 338, 360, labelResultTime->height());
    labelBSPM->setGeometry(150, 355, 300, labelBSPM->height());
    labelLicense->move(240, 160);
    ImgPrevious->setGeometry(190, 375, 91, 41);
    ImgNext->setGeometry(310, 375, 100, 41);
    ImgCancel->setGeometry(420, 375, 97, 41);
    ImgZuv->setGeometry(10, 375, 135, 41);
    ImgCopyright->setGeometry(400, 350, 114, 25);
    ImgLogo->setGeometry(0, 187, 257, 113);
    MemoAnouncement->setGeometry(17, 56, 490, 280);

    ImgBar->hide();
    ImgBarNum->hide();
    ImgHint->hide();
}

void TMainForm::vHideAll() {
    for (QObject* child : children()) {
        auto* image = qobject_cast<ImageControl*>(child);
        if (image != nullptr && image != ImgBackground && image != ImgZuv) image->hide();
    }
    labelResultSerial->hide();
    labelResultTime->hide();
    labelLicense->hide();
    MemoAnouncement->hide();
    Info_WebBrowser->setBrowserVisible(false);
}

void TMainForm::vPlaceFirstPage() {
    placed_ = true;
    vPlaceControls();
    vLoadImage(ImgZuv, "ZUV", "PNG");
    ImgBackground->resize(520, 420);
    labelResultSerial->hide();
    labelResultTime->hide();
}

void TMainForm::vLeaveResults() {
    originPage = PageResults;
    vHideAll();
    TimerDisable.stop();
}

void TMainForm::vShowConnecting() {
    vPlaceControls();
    ImgConnecting->show();
    ImgCenter->show();
    vLoadImage(ImgBackground, "BACKGROUND", "JPEG");
    vLoadImage(ImgConnecting, "LOADING", "GIF");
    vLoadImage(ImgCenter, "CONNECTING", "PNG");
    ImgBackground->setAutoSize(true);
    const int adLeft = screenDpi <= 96 ? 208 : (screenDpi <= 120 ? 340 : 470);
    Ad_WebBrowser->move(adLeft, 8);
    Ad_WebBrowser->collapse();
    Info_WebBrowser->collapse();
    ImgApplogo->move(0, ImgApplogo->y());
    adLoaded = false;
    vScreenshot("connecting");
}

void TMainForm::vShowUpdateRequiredPage() {
    // Reached only on the first run, while every image is still visible: nothing is hidden
    // or shown here but the connecting pictures.
    vLoadImage(ImgAlarm, "UNUSE", "PNG");
    vLoadImage(ImgNotice, "DOWNLOAD", "PNG");
    vLoadImage(ImgNext, "BUTTON_D", "PNG");
    vLoadImage(ImgCancel, "BUTTON_C", "PNG");
    ImgConnecting->hide();
    ImgCenter->hide();
    downloadUrl = serverTexts.updateUrl;
    prevLatch = nextLatch = false;
    vScreenshot("update-required");
}

void TMainForm::vShowUpdateOfferedPage() {
    vLoadImage(ImgAlarm, "ALARMVER", "PNG");
    vLoadImage(ImgNotice, "DOWNLOAD", "PNG");
    vLoadImage(ImgNext, "BUTTON_D", "PNG");
    vLoadImage(ImgCancel, "BUTTON_C", "PNG");
    vLoadImage(ImgPrevious, "BUTTON_N", "PNG");
    ImgConnecting->hide();
    ImgCenter->hide();
    downloadUrl = serverTexts.updateUrl;
    prevLatch = nextLatch = false;
    vScreenshot("update-offered");
}

void TMainForm::vShowAgreementPage() {
    currentPage = PageAgreement;
    vHideAll();
    if (originPage == PageSetupDoc) Info_WebBrowser->collapse();
    for (QWidget* w :
         {static_cast<QWidget*>(ImgTitle), static_cast<QWidget*>(ImgPrevious), static_cast<QWidget*>(ImgNext),
          static_cast<QWidget*>(ImgCancel), static_cast<QWidget*>(ImgCopyright), static_cast<QWidget*>(ImgApplogo),
          static_cast<QWidget*>(MemoAnouncement)}) {
        w->show();
    }
    MemoAnouncement->clear();
    vSetLeftWidth(ImgTitle, 194, 306);
    vLoadImage(ImgBackground, "BACKGROUND", "JPEG");
    vLoadImage(ImgZuv, "ZUV", "PNG");
    vLoadImage(ImgCopyright, "OPENCR", "PNG");
    vLoadImage(ImgApplogo, "APPLOGO", "PNG");
    vLoadImage(ImgTitle, "ANNOUNCEMENT", "PNG");
    vLoadImage(ImgPrevious, "BUTTON_T", "PNG");
    vLoadImage(ImgNext, "BUTTON_Y", "PNG");
    vLoadImage(ImgCancel, "BUTTON_C", "PNG");
    MemoAnouncement->setPlainText(QString::fromStdString(serverTexts.agreement));
    prevLatch = nextLatch = false;
    vScreenshot("agreement");
}

void TMainForm::vShowTestingPage() {
    currentPage = PageTesting;
    vHideAll();
    Info_WebBrowser->collapse();
    // ImgTesting keeps whatever it holds: nothing on the first run, the analysis picture later.
    ImgTesting->show();
    ImgRotation->show();
    ImgCancel->show();
    ImgTesting->move(152, ImgTesting->y());
    vLoadImage(ImgRotation, "ROTATION", "GIF");
    vLoadImage(ImgCancel, "BUTTON_Q", "PNG");
    ImgHint->show();
    vLoadImage(ImgHint, "NOTICE_P1", "PNG");
    ImgStatus->show();
    vLoadImage(ImgStatus, "TEXT_CONFIG", "PNG");
    ImgBar->show();
    vLoadImage(ImgBar, "PERCENT_BAR_0", "PNG");
    ImgBarNum->show();
    vLoadImage(ImgBarNum, "PERCENT_0", "PNG");
    controller_->testingPageShown();
    if (adLoaded) vSetAdTestingSize();
    prevLatch = nextLatch = false;
    vScreenshot("testing");
}

void TMainForm::vSetAdTestingSize() { Ad_WebBrowser->resize(300, 250); }

void TMainForm::vShowSetupDocPage() {
    currentPage = PageSetupDoc;
    originPage = PageSetupDoc;
    vHideAll();
    Info_WebBrowser->setBrowserVisible(true);
    ImgTitle->show();
    ImgCancel->show();
    Info_WebBrowser->resize(490, 310);
    vSetLeftWidth(ImgTitle, 79, 421);
    vLoadImage(ImgTitle, "SETUPDOC", "PNG");
    vLoadImage(ImgCancel, "BUTTON_P", "PNG");
    prevLatch = nextLatch = false;
    vScreenshot("setupdoc");
}

void TMainForm::vShowBulletinPage() {
    currentPage = PageBulletin;
    originPage = PageAgreement;
    vHideAll();
    for (QWidget* w :
         {static_cast<QWidget*>(ImgTitle), static_cast<QWidget*>(ImgNext), static_cast<QWidget*>(ImgCancel),
          static_cast<QWidget*>(MemoAnouncement), static_cast<QWidget*>(ImgApplogo)}) {
        w->show();
    }
    vSetLeftWidth(ImgTitle, 293, 207);
    vLoadImage(ImgTitle, "TEXT_BULLETIN", "PNG");
    vLoadImage(ImgNext, "BUTTON_N", "PNG");
    vLoadImage(ImgCancel, "BUTTON_C", "PNG");
    MemoAnouncement->clear();
    MemoAnouncement->setPlainText(QString::fromStdString(serverTexts.announcement));
    prevLatch = nextLatch = false;
    vScreenshot("bulletin");
}

void TMainForm::vShowAboutPage() {
    currentPage = PageAbout;
    vHideAll();
    ImgCancel->show();
    labelLicense->show();
    // The label asks for a 1-point face. Its face is a bitmap font whose smallest size is
    // 8 points, and a bitmap face is never drawn below its smallest size: the text shows at 8.
    QFont font = labelLicense->font();
    constexpr int kRequestedPoints = 1;
    constexpr int kSmallestBitmapPoints = 8;
    font.setPointSize(std::max(kRequestedPoints, kSmallestBitmapPoints));
    labelLicense->setFont(font);
    vLoadImage(ImgBackground, "BACKGROUND_CR", "PNG");
    vLoadImage(ImgCancel, "BUTTON_P", "PNG");
    labelLicense->setGeometry(188, 240, 300, 120);
    labelLicense->setText(QString::fromStdString("Ver " + fileVersion + "\nRelease Date:" + releaseDate + "\n"));
    prevLatch = nextLatch = false;
    vScreenshot("about");
}

// The steps every end on the results page begins with.
void TMainForm::vShowResultsFrame() {
    currentPage = PageResults;
    vHideAll();
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
}

// A measured run: the operator's answer, or the note that it was not reported.
void TMainForm::vShowReport(const RunResult& result) {
    if (result.outcome.kind != EndKind::Reported) {
        if (result.automatic) {
            markStart = controller_->clock().now();
            resultsShown = true;
        }
        if (result.completionCode) labelBSPM->setText(QStringLiteral("測通報峻結果未回報成功"));
        return;
    }
    resultsShown = true;
    adOnResults = true;
    if (!bIsNoPage(result.resultsAdUrl)) Ad_WebBrowser->navigate(result.resultsAdUrl);
    else Ad_WebBrowser->collapse();
    resultPageUrl = result.resultUrl;
    if (resultPageUrl.compare(0, 4, kNoPage) != 0) ImgReport->show();
    ImgSerial->show();
    ImgDownlinkTitle->show();
    ImgUplinkTitle->show();
    labelResultSerial->show();
    labelResultTime->show();
    if (result.completionCode) labelBSPM->setText(QStringLiteral("測通報峻已完成"));
    vLoadImage(ImgReport, "BUTTON_R", "PNG");
    vLoadImage(ImgSerial, "SERIAL", "PNG");
    labelResultSerial->setText(QString::fromStdString(result.serial));
    labelResultTime->setText(QString::fromStdString(result.serverTime));
    markStart = controller_->clock().now();
}

void TMainForm::vShowAnalysis() {
    ImgTesting->move(152, ImgTesting->y());
    vLoadImage(ImgTesting, "ANALYSIS", "PNG");
    ImgStatus->hide();
    ImgBar->hide();
    ImgBarNum->hide();
    ImgHint->hide();
}

void TMainForm::Ad_WebBrowserDocumentComplete() {
    adLoaded = true;
    if (currentPage == PageTesting) {
        vSetAdTestingSize();
    } else if (currentPage == PageResults && adOnResults) {
        Ad_WebBrowser->setGeometry(400, screenDpi > 96 ? 70 : 56, 120, 300);
    }
}

void TMainForm::vOpenDownload() {
    env_->vOpenUrl(downloadUrl);
    vPostClose();
}

void TMainForm::vScreenshot(const std::string& page) {
    if (onPageShown) onPageShown(*this, page);
}

}  // namespace kivota
