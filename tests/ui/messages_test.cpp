// The window's side of the worker's messages.
#include <gtest/gtest.h>

#include "app/browser_pane.h"
#include "app/error_texts.h"
#include "ui_fixture.h"

namespace kivota::test {
namespace {

TEST(Progress, RoundsToTensAndSwitchesToTheEndPictureFrom95) {
    FormFixture f;
    f.toTesting();
    TMainForm& form = f.form();
    f.deliver(WM_TEST_PROGRESS, 1, 94);
    EXPECT_EQ(form.ImgBar->lastLoaded(), "PERCENT_BAR_90");
    EXPECT_EQ(form.ImgBarNum->lastLoaded(), "PERCENT_90");
    EXPECT_EQ(form.ImgStatus->lastLoaded(), "TEXT_DOWNLINK");
    EXPECT_EQ(form.ImgHint->lastLoaded(), "NOTICE_P2");
    f.deliver(WM_TEST_PROGRESS, 1, 95);
    EXPECT_EQ(form.ImgBar->lastLoaded(), "PERCENT_BAR_100");
    EXPECT_EQ(form.ImgBarNum->lastLoaded(), "PERCENT_100");
    EXPECT_EQ(form.ImgStatus->lastLoaded(), "TEXT_DOWNLINK_END");
    EXPECT_EQ(form.ImgHint->lastLoaded(), "NOTICE_P2");  // left as it was
    f.deliver(WM_TEST_PROGRESS, 0, 4);
    EXPECT_EQ(form.ImgBar->lastLoaded(), "PERCENT_BAR_0");
    EXPECT_EQ(form.ImgStatus->lastLoaded(), "TEXT_UPLINK");
    EXPECT_EQ(form.ImgHint->lastLoaded(), "NOTICE_P3");
    f.deliver(WM_TEST_PROGRESS, 0, 100);
    EXPECT_EQ(form.ImgStatus->lastLoaded(), "TEXT_UPLINK_END");
}

TEST(Progress, PreparationAtHundredLeavesTheStatusPicture) {
    FormFixture f;
    f.toTesting();
    f.deliver(WM_TEST_PROGRESS, 2, 55);
    EXPECT_EQ(f.form().ImgBarNum->lastLoaded(), "PERCENT_60");
    EXPECT_EQ(f.form().ImgHint->lastLoaded(), "NOTICE_P1");
    f.deliver(WM_TEST_PROGRESS, 2, 100);
    EXPECT_EQ(f.form().ImgStatus->lastLoaded(), "TEXT_CONFIG");
    EXPECT_EQ(f.form().ImgBar->lastLoaded(), "PERCENT_BAR_100");
}

TEST(Analysis, ShowsTheAnalysisPictureAndHidesTheProgress) {
    FormFixture f;
    f.toTesting();
    f.deliver(WM_ANALYSIS_START);
    EXPECT_EQ(f.form().ImgTesting->lastLoaded(), "ANALYSIS");
    EXPECT_EQ(f.form().ImgTesting->x(), 152);
    EXPECT_TRUE(f.form().TimerDisable.isActive());
    EXPECT_FALSE(f.form().resultsShown);
    for (QWidget* w : {static_cast<QWidget*>(f.form().ImgStatus), static_cast<QWidget*>(f.form().ImgBar),
                       static_cast<QWidget*>(f.form().ImgBarNum), static_cast<QWidget*>(f.form().ImgHint)}) {
        EXPECT_FALSE(shown(w));
    }
}

TEST(Finished, AcceptedResultShowsDigitsLabelsAndReportButton) {
    FormFixture f;
    f.rs().resultFlags = "KV00001234";
    f.rs().resultITime = "2026-12-08 10:20:30";
    f.rs().adUrl2 = "http://ad/2";
    f.toResults(5000, 1000, "http://report/1");
    TMainForm& form = f.form();
    EXPECT_EQ(form.currentPage, PageResults);
    EXPECT_EQ(form.ImgBackground->lastLoaded(), "BACKGROUND_OVER");
    EXPECT_EQ(form.ImgTitle->lastLoaded(), "TEST_END");
    EXPECT_EQ(form.ImgTitle->geometry(), QRect(20, 16, 227, 33));
    EXPECT_EQ(form.ImgApplogo->x(), 520 - 196);
    EXPECT_TRUE(shown(form.ImgReport));
    EXPECT_TRUE(shown(form.ImgSerial));
    EXPECT_TRUE(shown(form.ImgDown1));
    EXPECT_EQ(form.labelResultSerial->text().toStdString(), "KV00001234");
    EXPECT_EQ(form.labelResultTime->text().toStdString(), "2026-12-08 10:20:30");
    EXPECT_TRUE(shown(form.labelResultSerial));
    EXPECT_EQ(form.resultPageUrl, "http://report/1");
    EXPECT_TRUE(form.resultsShown);
    EXPECT_TRUE(form.adOnResults);
    EXPECT_EQ(form.Ad_WebBrowser->lastUrl(), "http://ad/2");
    EXPECT_TRUE(form.labelBSPM->text().isEmpty());  // no completion code entered
    EXPECT_FALSE(f.rs().freshStart);
    EXPECT_TRUE(f.boxes().shown.empty());
}

TEST(Finished, ReportButtonHiddenForUrlsBeginningWithNull) {
    for (const auto& [url, visible] :
         {std::pair{"NULL", false}, std::pair{"NULLx", false}, std::pair{"", true}, std::pair{"http://r/", true}}) {
        FormFixture f;
        f.toResults(5000, 1000, url);
        EXPECT_EQ(shown(f.form().ImgReport), visible) << url;
    }
}

TEST(Finished, SpeedOfOneKbitIsOutOfRange) {
    FormFixture f;
    f.toResults(1.0, 5000);
    EXPECT_EQ(f.rs().errorCode, ErrImplausibleResult);
    ASSERT_EQ(f.boxes().shown.size(), 1u);
    EXPECT_EQ(f.boxes().shown[0].kind, 'I');
    EXPECT_EQ(f.boxes().shown[0].text, szErrorText(4));
    EXPECT_FALSE(shown(f.form().ImgDown1));
    EXPECT_FALSE(shown(f.form().ImgUp1));
    EXPECT_FALSE(shown(f.form().ImgReport));
    EXPECT_TRUE(shown(f.form().ImgTitle));
    EXPECT_TRUE(shown(f.form().ImgNext));
    EXPECT_FALSE(f.form().resultsShown);
}

TEST(Finished, OutOfRangeInAutomaticModeLogsAndEnds) {
    FormFixture f(true, true, true);
    f.deliver(WM_START_DECISION, 3);
    f.setSpeeds(2'000'000, 500);
    f.deliver(WM_TEST_FINISHED, 2);
    EXPECT_TRUE(f.boxes().shown.empty());
    EXPECT_EQ(f.env().count("log [] " + szErrorText(4)), 1);
    EXPECT_EQ(f.env().exits, 1);
}

TEST(Finished, CompletionCodeLabelByOutcome) {
    FormFixture f;
    f.rs().completionCode = "ABC";
    f.toResults(5000, 1000);
    EXPECT_EQ(f.form().labelBSPM->text().toStdString(), "測通報峻已完成");
    FormFixture g;
    g.rs().completionCode = "ABC";
    g.toTesting();
    g.setSpeeds(5000, 1000);
    g.deliver(WM_TEST_FINISHED, 2);
    EXPECT_EQ(g.form().labelBSPM->text().toStdString(), "測通報峻結果未回報成功");
    EXPECT_FALSE(shown(g.form().ImgReport));
    EXPECT_FALSE(g.form().resultsShown);
}

TEST(Finished, AbortedRunByErrorCode) {
    {
        FormFixture f;
        f.toTesting();
        f.rs().errorCode = ErrDownloadTooShort;
        f.setSpeeds(0, 800);
        f.deliver(WM_TEST_FINISHED, 3);
        EXPECT_EQ(f.form().ImgDown1->lastLoaded(), "DASH");
        EXPECT_EQ(f.form().ImgUp1->lastLoaded(), "DIGIT_0");
        EXPECT_TRUE(f.boxes().shown.empty());
    }
    {
        FormFixture f;
        f.toTesting();
        f.rs().errorCode = ErrPhaseStart;
        f.deliver(WM_TEST_FINISHED, 3);
        ASSERT_EQ(f.boxes().shown.size(), 1u);
        EXPECT_EQ(f.boxes().shown[0].kind, 'S');
        EXPECT_FALSE(shown(f.form().ImgDown1));
        f.processEvents();
        EXPECT_EQ(f.env().exits, 1);
    }
    {
        FormFixture f(true, true, true);
        f.deliver(WM_START_DECISION, 3);
        f.rs().errorCode = ErrUploadNoneOther;
        f.deliver(WM_TEST_FINISHED, 3);
        EXPECT_EQ(f.env().count("log [] " + szErrorText(13)), 1);
        EXPECT_EQ(f.env().exits, 1);
    }
}

TEST(StartDecision, GoInAutomaticModeGoesStraightToTesting) {
    FormFixture f(true, true, false);
    f.deliver(WM_START_DECISION, 3);
    EXPECT_EQ(f.form().currentPage, PageTesting);
    EXPECT_TRUE(f.rs().noticeAccepted);
    EXPECT_EQ(f.form().originPage, 9);
}

TEST(StartDecision, GoOnAFreshRunShowsTheAgreement) {
    FormFixture f;
    f.deliver(WM_START_DECISION, 3);
    EXPECT_EQ(f.form().currentPage, PageAgreement);
    FormFixture g(true, true, false);
    g.deliver(WM_START_DECISION, 2);  // update offered: skipped in automatic mode
    EXPECT_EQ(g.form().currentPage, PageTesting);
    g.deliver(WM_START_DECISION, 7);  // unknown: nothing
    EXPECT_EQ(g.form().currentPage, PageTesting);
}

TEST(StartDecision, HaltWithEchoTimeoutReleasesTheWorkerSilently) {
    FormFixture f;
    auto worker = f.form().controller().worker();
    f.rs().errorCode = ErrEchoTimeout;
    f.form().Ad_WebBrowser->resize(300, 250);
    f.deliver(WM_START_DECISION, 0);
    EXPECT_EQ(f.form().currentPage, PageHalted);
    EXPECT_TRUE(worker->Terminated());
    EXPECT_FALSE(f.form().controller().worker());
    EXPECT_TRUE(f.boxes().shown.empty());
    EXPECT_TRUE(f.rs().userGo);
    EXPECT_TRUE(f.form().Ad_WebBrowser->collapsed());
    EXPECT_EQ(f.form().ImgCenter->lastLoaded(), "CONNECTING");  // the connecting page stays
}

TEST(StartDecision, HaltAfterConfigFailureOffersRetry) {
    FormFixture f;
    f.rs().errorCode = ErrConfigFetch;
    f.boxes().answerRetry = true;
    f.deliver(WM_START_DECISION, 0);
    ASSERT_EQ(f.boxes().shown.size(), 1u);
    EXPECT_EQ(f.boxes().shown[0].kind, 'R');
    EXPECT_EQ(f.boxes().shown[0].caption, szErrorCaption(6));
    EXPECT_EQ(f.env().workers.size(), 2u);  // the retest started a new worker
    EXPECT_EQ(f.form().controller().worker(), f.env().workers[1]);

    FormFixture g;
    g.rs().errorCode = ErrConfigFetch;
    g.deliver(WM_START_DECISION, 0);
    g.processEvents();
    EXPECT_EQ(g.env().exits, 1);
    EXPECT_FALSE(g.rs().userGo);
}

TEST(Refused, ShowsTheInformationBoxThenEnds) {
    FormFixture f;
    f.rs().errorCode = ErrRefused;
    f.deliver(WM_TEST_REFUSED);
    ASSERT_EQ(f.boxes().shown.size(), 1u);
    EXPECT_EQ(f.boxes().shown[0].kind, 'I');
    EXPECT_EQ(f.boxes().shown[0].text, szErrorText(10));
    EXPECT_EQ(f.env().exits, 1);

    FormFixture g(true, true, true);
    g.rs().errorCode = ErrRefused;
    g.deliver(WM_TEST_REFUSED);
    EXPECT_TRUE(g.boxes().shown.empty());
    EXPECT_EQ(g.env().count("log [] " + szErrorText(10)), 1);
    EXPECT_EQ(g.env().exits, 1);
}

TEST(KeepAlive, SamplesTheSystemAndSendsWithTheCookie) {
    FormFixture f;
    WindowMessage m = WindowMessage::withTexts(WM_KEEP_ALIVE, std::make_unique<TextHolder>("KVSID=abc"),
                                               std::make_unique<TextHolder>("http://lab/keepalive"));
    f.form().controller().workerAddress()->SendMessage(std::move(m));
    EXPECT_EQ(f.env().count("getSystemResource"), 1);  // which counts the sample
    EXPECT_EQ(f.env().count("keepAlive KVSID=abc http://lab/keepalive"), 1);
}

TEST(Messages, AFailedRunEndsTheAutomaticModeWithItsLogLine) {
    FormFixture f(true, true, true);
    f.deliver(WM_START_DECISION, 3);
    f.rs().errorCode = ErrPhaseStart;
    f.deliverText(WM_TEST_FINISHED, 3, "x");
    EXPECT_EQ(f.env().exits, 1);
    EXPECT_TRUE(f.boxes().shown.empty());
    EXPECT_EQ(f.env().count("log [] " + szErrorText(ErrPhaseStart)), 1);
}

TEST(Messages, ConfigLoadedNavigatesThePanes) {
    FormFixture f;
    f.rs().infoUrl = "http://info/";
    f.rs().adUrl1 = "NULL";
    f.deliver(WM_CONFIG_LOADED);
    EXPECT_EQ(f.form().Info_WebBrowser->lastUrl(), "http://info/");
    EXPECT_EQ(f.form().Ad_WebBrowser->lastUrl(), "");
    f.rs().adUrl1 = "http://ad/1";
    f.deliver(WM_CONFIG_LOADED);
    EXPECT_EQ(f.form().Ad_WebBrowser->lastUrl(), "http://ad/1");
    f.deliver(WM_GO_REQUEST);
    EXPECT_TRUE(f.rs().userGo);
}

TEST(Messages, AdvertisementSizesItselfByPageWhenItsDocumentCompletes) {
    FormFixture f;
    f.toTesting();
    EXPECT_TRUE(f.form().Ad_WebBrowser->collapsed());
    f.form().Ad_WebBrowserDocumentComplete();
    EXPECT_TRUE(f.form().adLoaded);
    EXPECT_EQ(f.form().Ad_WebBrowser->size(), QSize(300, 250));
    f.deliver(WM_ANALYSIS_START);
    f.setSpeeds(5000, 1000);
    f.deliverText(WM_TEST_FINISHED, 1, "http://r/");
    EXPECT_TRUE(f.form().Ad_WebBrowser->collapsed());
    f.form().Ad_WebBrowserDocumentComplete();
    EXPECT_EQ(f.form().Ad_WebBrowser->geometry(), QRect(400, 56, 120, 300));
}

}  // namespace
}  // namespace kivota::test
