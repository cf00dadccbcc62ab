// The image buttons: their hover, press and leave pictures per page, and the copyright link.
#include "app/image_control.h"
#include "app/main_form.h"
#include "app/run_environment.h"

namespace kivota {

namespace {

bool bOnUpdatePage(int page) { return page == PageUpdateRequired || page == PageUpdateOffered; }

// The picture name stem of ImgCancel on a page, or nullptr where the page has no entry.
const char* szCancelStem(int page) {
    switch (page) {
        case PageUpdateRequired:
        case PageUpdateOffered:
        case PageAgreement:
        case PageBulletin: return "BUTTON_C";
        case PageTesting:
        case PageResults: return "BUTTON_Q";
        case PageSetupDoc:
        case PageAbout: return "BUTTON_P";
        default: return nullptr;
    }
}

// The picture name stem of ImgNext on a page, or nullptr.
const char* szNextStem(int page) {
    switch (page) {
        case PageUpdateRequired:
        case PageUpdateOffered: return "BUTTON_D";
        case PageAgreement: return "BUTTON_Y";
        case PageResults: return "BUTTON_RT";
        case PageBulletin: return "BUTTON_N";
        default: return nullptr;
    }
}

// The picture name stem of ImgPrevious on a page, or nullptr.
const char* szPreviousStem(int page) {
    switch (page) {
        case PageUpdateOffered: return "BUTTON_N";
        case PageAgreement: return "BUTTON_T";
        default: return nullptr;
    }
}

}  // namespace

void TMainForm::vWireButtons() {
    connect(ImgPrevious, &ImageControl::mouseMoved, this, &TMainForm::ImgPreviousMouseMove);
    connect(ImgPrevious, &ImageControl::mousePressed, this, &TMainForm::ImgPreviousMouseDown);
    connect(ImgNext, &ImageControl::mouseMoved, this, &TMainForm::ImgNextMouseMove);
    connect(ImgNext, &ImageControl::mousePressed, this, &TMainForm::ImgNextMouseDown);
    connect(ImgCancel, &ImageControl::mouseMoved, this, &TMainForm::ImgCancelMouseMove);
    connect(ImgCancel, &ImageControl::mousePressed, this, &TMainForm::ImgCancelMouseDown);
    connect(ImgReport, &ImageControl::mouseMoved, this, &TMainForm::ImgReportMouseMove);
    connect(ImgReport, &ImageControl::mousePressed, this, &TMainForm::ImgReportMouseDown);
    connect(ImgCopyright, &ImageControl::clicked, this, &TMainForm::ImgCopyrightClick);
    // Every control reports the mouse leaving it; the window decides which ones react.
    for (QObject* child : children()) {
        if (auto* image = qobject_cast<ImageControl*>(child)) {
            connect(image, &ImageControl::mouseLeft, this, [this](ImageControl* c) { CMMouseLeave(c); });
        }
    }
}

void TMainForm::ImgPreviousMouseMove() {
    if (prevLatch) return;
    if (const char* stem = szPreviousStem(currentPage)) vLoadImage(ImgPrevious, std::string(stem) + "_OVER", "PNG");
}

void TMainForm::ImgPreviousMouseDown() {
    if (currentPage == PageUpdateOffered) {
        vLoadImage(ImgPrevious, "BUTTON_N_OUT", "PNG");
        vShowAgreementPage();
    } else if (currentPage == PageAgreement) {
        vLoadImage(ImgPrevious, "BUTTON_T_OUT", "PNG");
        prevLatch = true;
        originPage = PageAgreement;
        vShowSetupDocPage();
    }
}

void TMainForm::ImgNextMouseMove() {
    if (const char* stem = szNextStem(currentPage)) vLoadImage(ImgNext, std::string(stem) + "_OVER", "PNG");
}

void TMainForm::vAgree() {
    vLoadImage(ImgNext, "BUTTON_Y_OUT", "PNG");
    nextLatch = true;
    controller_->agree();
    originPage = PageAgreement;
    if (serverTexts.announcement.empty()) vShowTestingPage();
    else vShowBulletinPage();
}

void TMainForm::ImgNextMouseDown() {
    if (bOnUpdatePage(currentPage)) {
        vLoadImage(ImgNext, "BUTTON_D_OUT", "PNG");
        vOpenDownload();
    } else if (currentPage == PageAgreement) {
        vAgree();
    } else if (currentPage == PageResults) {
        ImgNext->hide();
        vRetest();
    } else if (currentPage == PageBulletin) {
        vLoadImage(ImgNext, "BUTTON_N_OUT", "PNG");
        originPage = PageBulletin;
        vShowTestingPage();
    }
}

void TMainForm::ImgCancelMouseMove() {
    if (const char* stem = szCancelStem(currentPage)) vLoadImage(ImgCancel, std::string(stem) + "_OVER", "PNG");
}

void TMainForm::ImgCancelMouseDown() {
    const char* stem = szCancelStem(currentPage);
    if (stem == nullptr) {
        // A page without an entry for this button: the button still closes the program.
        vCloseApp();
        return;
    }
    vLoadImage(ImgCancel, std::string(stem) + "_OUT", "PNG");
    if (currentPage == PageSetupDoc || currentPage == PageAbout) {
        originPage = currentPage;
        vShowAgreementPage();
    } else {
        vCloseApp();
    }
}

void TMainForm::ImgReportMouseMove() {
    if (currentPage == PageResults) vLoadImage(ImgReport, "BUTTON_R_OVER", "PNG");
}

void TMainForm::ImgReportMouseDown() {
    if (currentPage != PageResults) return;
    env_->vOpenUrl(resultPageUrl);
    vLoadImage(ImgReport, "BUTTON_R_OUT", "PNG");
}

void TMainForm::ImgCopyrightClick() {
    if (currentPage == PageAgreement) vShowAboutPage();
}

void TMainForm::CMMouseLeave(QWidget* control) {
    if (prevLatch || nextLatch || closing_) return;
    const char* stem = nullptr;
    if (control == ImgPrevious) stem = szPreviousStem(currentPage);
    else if (control == ImgNext) stem = szNextStem(currentPage);
    else if (control == ImgCancel) stem = szCancelStem(currentPage);
    else if (control == ImgReport) stem = currentPage == PageResults ? "BUTTON_R" : nullptr;
    if (stem != nullptr) vLoadImage(static_cast<ImageControl*>(control), stem, "PNG");
}

}  // namespace kivota
