// Pages and image buttons: the pictures on hover, press and leave per page, the latches, the
// copyright link, placement, and real mouse events reaching the buttons.
#include <gtest/gtest.h>

#include <QTest>

#include <functional>

#include "app/browser_pane.h"
#include "ui_fixture.h"

namespace kivota::test {
namespace {

void toUpdateRequired(FormFixture& f) { f.deliver(WM_START_DECISION, 1); }
void toUpdateOffered(FormFixture& f) { f.deliver(WM_START_DECISION, 2); }
void toAgreement(FormFixture& f) { f.toAgreement(); }
void toTesting(FormFixture& f) { f.toTesting(); }
void toResults(FormFixture& f) { f.toResults(5000, 1000); }
void toSetupDoc(FormFixture& f) {
    f.toAgreement();
    f.form().ImgPreviousMouseDown();
}
void toAbout(FormFixture& f) {
    f.toAgreement();
    f.form().ImgCopyrightClick();
}
void toBulletin(FormFixture& f) {
    f.rs().announcementText = "本週六凌晨系統維護。";
    f.toAgreement();
    f.form().ImgNextMouseDown();
}

enum class Button { Previous, Next, Cancel, Report };

struct HoverCase {
    const char* page;
    void (*reach)(FormFixture&);
    int pageCode;
    Button button;
    const char* hover;  // nullptr: the page has no entry, nothing changes
    const char* leave;
};

ImageControl* button(TMainForm& form, Button b) {
    switch (b) {
        case Button::Previous: return form.ImgPrevious;
        case Button::Next: return form.ImgNext;
        case Button::Cancel: return form.ImgCancel;
        case Button::Report: return form.ImgReport;
    }
    return nullptr;
}

void hover(TMainForm& form, Button b) {
    switch (b) {
        case Button::Previous: form.ImgPreviousMouseMove(); break;
        case Button::Next: form.ImgNextMouseMove(); break;
        case Button::Cancel: form.ImgCancelMouseMove(); break;
        case Button::Report: form.ImgReportMouseMove(); break;
    }
}

class HoverAndLeave : public ::testing::TestWithParam<HoverCase> {};

TEST_P(HoverAndLeave, LoadsThePicturesOfTheTable) {
    const HoverCase& c = GetParam();
    FormFixture f;
    c.reach(f);
    ASSERT_EQ(f.form().currentPage, c.pageCode) << c.page;
    ImageControl* image = button(f.form(), c.button);
    const std::string before = image->lastLoaded();
    const int loadsBefore = image->loadCount();
    hover(f.form(), c.button);
    if (c.hover == nullptr) {
        EXPECT_EQ(image->loadCount(), loadsBefore);
    } else {
        EXPECT_EQ(image->lastLoaded(), c.hover);
    }
    f.form().CMMouseLeave(image);
    if (c.leave == nullptr) {
        EXPECT_EQ(image->lastLoaded(), before);
        EXPECT_EQ(image->loadCount(), loadsBefore);
    } else {
        EXPECT_EQ(image->lastLoaded(), c.leave);
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryButtonAndPage, HoverAndLeave,
    ::testing::Values(
        HoverCase{"offered", toUpdateOffered, PageUpdateOffered, Button::Previous, "BUTTON_N_OVER", "BUTTON_N"},
        HoverCase{"agreement", toAgreement, PageAgreement, Button::Previous, "BUTTON_T_OVER", "BUTTON_T"},
        HoverCase{"required", toUpdateRequired, PageUpdateRequired, Button::Next, "BUTTON_D_OVER", "BUTTON_D"},
        HoverCase{"offered", toUpdateOffered, PageUpdateOffered, Button::Next, "BUTTON_D_OVER", "BUTTON_D"},
        HoverCase{"agreement", toAgreement, PageAgreement, Button::Next, "BUTTON_Y_OVER", "BUTTON_Y"},
        HoverCase{"results", toResults, PageResults, Button::Next, "BUTTON_RT_OVER", "BUTTON_RT"},
        HoverCase{"bulletin", toBulletin, PageBulletin, Button::Next, "BUTTON_N_OVER", "BUTTON_N"},
        HoverCase{"testing", toTesting, PageTesting, Button::Next, nullptr, nullptr},
        HoverCase{"required", toUpdateRequired, PageUpdateRequired, Button::Cancel, "BUTTON_C_OVER", "BUTTON_C"},
        HoverCase{"agreement", toAgreement, PageAgreement, Button::Cancel, "BUTTON_C_OVER", "BUTTON_C"},
        HoverCase{"bulletin", toBulletin, PageBulletin, Button::Cancel, "BUTTON_C_OVER", "BUTTON_C"},
        HoverCase{"testing", toTesting, PageTesting, Button::Cancel, "BUTTON_Q_OVER", "BUTTON_Q"},
        HoverCase{"results", toResults, PageResults, Button::Cancel, "BUTTON_Q_OVER", "BUTTON_Q"},
        HoverCase{"setupdoc", toSetupDoc, PageSetupDoc, Button::Cancel, "BUTTON_P_OVER", "BUTTON_P"},
        HoverCase{"about", toAbout, PageAbout, Button::Cancel, "BUTTON_P_OVER", "BUTTON_P"},
        HoverCase{"results", toResults, PageResults, Button::Report, "BUTTON_R_OVER", "BUTTON_R"},
        HoverCase{"agreement", toAgreement, PageAgreement, Button::Report, nullptr, nullptr}));

TEST(Latches, HoverAfterPressOnTheAgreementPageKeepsThePressedPicture) {
    FormFixture f;
    f.toAgreement();
    f.form().ImgPreviousMouseDown();
    EXPECT_EQ(f.form().currentPage, PageSetupDoc);
    EXPECT_EQ(f.form().originPage, PageSetupDoc);
    EXPECT_EQ(f.form().ImgPrevious->lastLoaded(), "BUTTON_T_OUT");
    f.form().ImgPreviousMouseMove();
    f.form().CMMouseLeave(f.form().ImgPrevious);
    EXPECT_EQ(f.form().ImgPrevious->lastLoaded(), "BUTTON_T_OUT");
    // Until the next page that gives the button its picture.
    f.form().ImgCancelMouseDown();
    EXPECT_EQ(f.form().currentPage, PageAgreement);
    EXPECT_EQ(f.form().ImgPrevious->lastLoaded(), "BUTTON_T");
}

TEST(Latches, WhileSetNeitherHoverNorLeaveChangesPictures) {
    FormFixture f;
    f.toAgreement();
    f.form().prevLatch = true;
    const int loads = f.form().ImgPrevious->loadCount();
    f.form().ImgPreviousMouseMove();
    f.form().CMMouseLeave(f.form().ImgPrevious);
    EXPECT_EQ(f.form().ImgPrevious->loadCount(), loads);
    f.form().prevLatch = false;
    f.form().nextLatch = true;
    f.form().ImgCancelMouseMove();  // hover is only latched for ImgPrevious
    EXPECT_EQ(f.form().ImgCancel->lastLoaded(), "BUTTON_C_OVER");
    f.form().CMMouseLeave(f.form().ImgCancel);
    EXPECT_EQ(f.form().ImgCancel->lastLoaded(), "BUTTON_C_OVER");
    // Every page set-up clears both.
    f.form().vShowSetupDocPage();
    EXPECT_FALSE(f.form().prevLatch);
    EXPECT_FALSE(f.form().nextLatch);
}

TEST(Presses, AgreeGoesToTestingWithoutAnnouncementAndBulletinWithOne) {
    FormFixture f;
    f.toAgreement();
    f.form().ImgNextMouseDown();
    EXPECT_EQ(f.form().currentPage, PageTesting);
    EXPECT_EQ(f.form().ImgNext->lastLoaded(), "BUTTON_Y_OUT");
    EXPECT_TRUE(f.rs().noticeAccepted);
    EXPECT_EQ(f.form().ImgCancel->lastLoaded(), "BUTTON_Q");
    EXPECT_EQ(f.form().ImgRotation->lastLoaded(), "ROTATION");
    EXPECT_EQ(f.form().ImgHint->lastLoaded(), "NOTICE_P1");
    EXPECT_EQ(f.form().ImgStatus->lastLoaded(), "TEXT_CONFIG");
    EXPECT_EQ(f.form().ImgBar->lastLoaded(), "PERCENT_BAR_0");
    EXPECT_EQ(f.form().ImgBarNum->lastLoaded(), "PERCENT_0");
    EXPECT_EQ(f.env().count("openCpuQueries"), 1);

    FormFixture g;
    g.rs().announcementText = "公告";
    g.toAgreement();
    g.form().ImgNextMouseDown();
    EXPECT_EQ(g.form().currentPage, PageBulletin);
    EXPECT_EQ(g.form().MemoAnouncement->toPlainText().toStdString(), "公告");
    g.form().ImgNextMouseDown();
    EXPECT_EQ(g.form().currentPage, PageTesting);
    EXPECT_EQ(g.form().originPage, PageBulletin);
}

TEST(Presses, CancelOnTheHaltedPageCloses) {
    FormFixture f;
    f.rs().errorCode = ErrEchoTimeout;
    f.deliver(WM_START_DECISION, 0);
    EXPECT_EQ(f.form().currentPage, PageHalted);
    f.form().ImgCancelMouseDown();
    EXPECT_EQ(f.env().exits, 1);
}

TEST(Presses, CancelClosesOrGoesBackByPage) {
    FormFixture f;
    toAbout(f);
    f.form().ImgCancelMouseDown();
    EXPECT_EQ(f.form().currentPage, PageAgreement);
    EXPECT_EQ(f.form().originPage, PageAbout);
    EXPECT_EQ(f.env().exits, 0);
    f.form().ImgCancelMouseDown();
    EXPECT_EQ(f.form().ImgCancel->lastLoaded(), "BUTTON_C_OUT");
    EXPECT_EQ(f.env().exits, 1);
}

TEST(Presses, DownloadOpensTheUpdateUrlAndCloses) {
    FormFixture f;
    f.rs().updateUrl = "http://update/new";
    toUpdateOffered(f);
    EXPECT_EQ(f.form().ImgAlarm->lastLoaded(), "ALARMVER");
    EXPECT_EQ(f.form().ImgNotice->lastLoaded(), "DOWNLOAD");
    EXPECT_EQ(f.form().ImgPrevious->lastLoaded(), "BUTTON_N");
    EXPECT_FALSE(shown(f.form().ImgConnecting));
    f.form().ImgNextMouseDown();
    EXPECT_EQ(f.form().ImgNext->lastLoaded(), "BUTTON_D_OUT");
    EXPECT_EQ(f.env().count("open http://update/new"), 1);
    f.processEvents();
    EXPECT_EQ(f.env().exits, 1);
}

TEST(Presses, ReportOpensTheResultPage) {
    FormFixture f;
    f.toResults(5000, 1000, "http://report/9");
    f.form().ImgReportMouseDown();
    EXPECT_EQ(f.env().count("open http://report/9"), 1);
    EXPECT_EQ(f.form().ImgReport->lastLoaded(), "BUTTON_R_OUT");
}

TEST(Copyright, OnlyTheAgreementPageOpensAbout) {
    FormFixture f;
    f.form().ImgCopyrightClick();  // connecting page
    EXPECT_NE(f.form().currentPage, PageAbout);
    f.toTesting();
    f.form().ImgCopyrightClick();
    EXPECT_EQ(f.form().currentPage, PageTesting);

    FormFixture g;
    g.toAgreement();
    g.form().ImgCopyrightClick();
    EXPECT_EQ(g.form().currentPage, PageAbout);
    EXPECT_EQ(g.form().labelLicense->text().toStdString(), "Ver 0.93\nRelease Date:2012-08-09\n");
    EXPECT_EQ(g.form().labelLicense->geometry(), QRect(188, 240, 300, 120));
    EXPECT_EQ(g.form().ImgBackground->lastLoaded(), "BACKGROUND_CR");
    EXPECT_TRUE(shown(g.form().labelLicense));
}

TEST(Pages, AgreementPageShowsTheTextAndItsControls) {
    FormFixture f;
    f.rs().agreementText = "第一條\n第二條";
    f.toAgreement();
    TMainForm& form = f.form();
    EXPECT_EQ(form.MemoAnouncement->toPlainText().toStdString(), "第一條\n第二條");
    EXPECT_TRUE(form.MemoAnouncement->isReadOnly());
    EXPECT_EQ(form.ImgTitle->geometry(), QRect(194, 16, 306, 33));
    EXPECT_EQ(form.ImgTitle->lastLoaded(), "ANNOUNCEMENT");
    for (QWidget* w : {static_cast<QWidget*>(form.ImgTitle), static_cast<QWidget*>(form.ImgPrevious),
                       static_cast<QWidget*>(form.ImgNext), static_cast<QWidget*>(form.ImgCancel),
                       static_cast<QWidget*>(form.ImgCopyright), static_cast<QWidget*>(form.ImgApplogo),
                       static_cast<QWidget*>(form.MemoAnouncement)}) {
        EXPECT_TRUE(shown(w)) << w->objectName().toStdString();
    }
    EXPECT_FALSE(shown(form.ImgConnecting));
    EXPECT_TRUE(shown(form.ImgZuv));
}

TEST(Pages, SetupDocumentShowsTheInformationPane) {
    FormFixture f;
    toSetupDoc(f);
    EXPECT_TRUE(f.form().Info_WebBrowser->browserVisible());
    EXPECT_EQ(f.form().Info_WebBrowser->size(), QSize(490, 310));
    EXPECT_EQ(f.form().ImgTitle->geometry(), QRect(79, 16, 421, 33));
    f.form().ImgCancelMouseDown();  // back: the pane collapses again
    EXPECT_TRUE(f.form().Info_WebBrowser->collapsed());
    EXPECT_FALSE(f.form().Info_WebBrowser->browserVisible());
}

TEST(Pages, ControlsSitWhereTheLayoutPutsThem) {
    FormFixture f;
    TMainForm& form = f.form();
    EXPECT_EQ(form.ImgBackground->geometry(), QRect(0, 0, 520, 420));
    EXPECT_EQ(form.ImgConnecting->geometry(), QRect(101, 172, 57, 57));
    EXPECT_EQ(form.ImgCenter->geometry(), QRect(152, 180, 284, 41));
    EXPECT_EQ(form.ImgPrevious->geometry(), QRect(190, 375, 91, 41));
    EXPECT_EQ(form.ImgNext->geometry(), QRect(310, 375, 100, 41));
    EXPECT_EQ(form.ImgCancel->geometry(), QRect(420, 375, 97, 41));
    EXPECT_EQ(form.ImgZuv->geometry(), QRect(10, 375, 135, 41));
    EXPECT_EQ(form.ImgCopyright->geometry(), QRect(400, 350, 114, 25));
    EXPECT_EQ(form.ImgDowndot->geometry(), QRect(164, 128, 17, 14));
    EXPECT_EQ(form.ImgUpUnit->geometry(), QRect(260, 224, 75, 31));
    EXPECT_EQ(form.MemoAnouncement->geometry(), QRect(17, 56, 490, 280));
    EXPECT_EQ(form.labelResultSerial->geometry().topLeft(), QPoint(150, 323));
    EXPECT_EQ(form.labelResultSerial->font().pixelSize(), 12);
    EXPECT_TRUE(form.labelResultSerial->font().bold());
}

TEST(Pages, AdvertisementPlacementFollowsScreenDensity) {
    for (const auto& [dpi, left] : {std::pair{96, 208}, std::pair{120, 340}, std::pair{144, 470}}) {
        FormFixture f;
        f.form().screenDpi = dpi;
        f.form().vShowConnecting();
        EXPECT_EQ(f.form().Ad_WebBrowser->pos(), QPoint(left, 8)) << dpi;
        EXPECT_TRUE(f.form().Ad_WebBrowser->collapsed());
    }
}

TEST(Pages, RealMouseEventsReachTheButtons) {
    FormFixture f;
    f.toAgreement();
    ImageControl* next = f.form().ImgNext;
    QTest::mouseMove(next, QPoint(10, 10));
    QMouseEvent move(QEvent::MouseMove, QPointF(12, 12), next->mapToGlobal(QPointF(12, 12)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(next, &move);
    EXPECT_EQ(next->lastLoaded(), "BUTTON_Y_OVER");
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(next, &leave);
    EXPECT_EQ(next->lastLoaded(), "BUTTON_Y");
    QTest::mouseClick(f.form().ImgCopyright, Qt::LeftButton);
    EXPECT_EQ(f.form().currentPage, PageAbout);
    QTest::mousePress(f.form().ImgCancel, Qt::LeftButton);
    EXPECT_EQ(f.form().currentPage, PageAgreement);
}

}  // namespace
}  // namespace kivota::test
