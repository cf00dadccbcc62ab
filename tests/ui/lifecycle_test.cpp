// Start-up, the worker's start, the timers, the keyboard table, retest and the closing path.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include "app/error_texts.h"
#include "app/report_form.h"
#include "app/single_instance.h"
#include "ui_fixture.h"

namespace kivota::test {
namespace {

TEST(FileVersion, MajorDotMinorAndThirdWithoutSeparator) {
    EXPECT_EQ(szFileVersion("0.9.3.0"), "0.93");
    EXPECT_EQ(szFileVersion("1.2.10.4"), "1.210");
    EXPECT_EQ(szFileVersion("0.9"), "");
    EXPECT_EQ(szFileVersion("0.x.3.0"), "");
    EXPECT_EQ(szFileVersion(""), "");
}

TEST(ErrorTexts, EmptyEntriesAreExactlyTheListedOnes) {
    for (int code = 0; code < 14; ++code) {
        const bool captionEmpty = code == 0 || code == 4 || code == 5 || code == 9 || code == 10 || code == 11;
        const bool textEmpty = code == 0 || code == 5 || code == 9 || code == 11;
        EXPECT_EQ(szErrorCaption(code).empty(), captionEmpty) << code;
        EXPECT_EQ(szErrorText(code).empty(), textEmpty) << code;
        // Stored letter-encoded, never as readable text.
        const std::string_view stored = errorMessageTable()[static_cast<std::size_t>(code)];
        EXPECT_TRUE(std::all_of(stored.begin(), stored.end(), [](char c) { return c >= 'a' && c <= 'p'; }));
    }
    EXPECT_EQ(szErrorText(14), "");
    EXPECT_EQ(szErrorText(-1), "");
}

TEST(StartUp, ShowsConnectingPageAndStartsOneWorker) {
    FormFixture f;
    TMainForm& form = f.form();
    EXPECT_EQ(form.windowTitle().toStdString(), std::string(kFormCaption) + kTrialSuffix);
    EXPECT_EQ(form.size(), QSize(520, 420));
    EXPECT_EQ(f.rs().appVer, "0.93");
    EXPECT_EQ(form.fileVersion, "0.93");
    EXPECT_EQ(form.releaseDate, "2012-08-09");
    EXPECT_TRUE(f.rs().freshStart);
    EXPECT_FALSE(f.rs().noticeAccepted);
    EXPECT_EQ(form.ImgBackground->lastLoaded(), "BACKGROUND");
    EXPECT_EQ(form.ImgConnecting->lastLoaded(), "LOADING");
    EXPECT_EQ(form.ImgCenter->lastLoaded(), "CONNECTING");
    EXPECT_EQ(form.ImgZuv->lastLoaded(), "ZUV");
    EXPECT_GT(form.ImgConnecting->frameCount(), 1);  // the animation runs
    EXPECT_FALSE(shown(form.labelResultSerial));
    EXPECT_FALSE(shown(form.ImgHint));
    ASSERT_EQ(f.env().workers.size(), 1u);
    EXPECT_EQ(f.form().controller().worker(), f.env().workers[0]);
    EXPECT_TRUE(f.form().controller().worker()->FreeOnTerminate());
    EXPECT_FALSE(f.form().controller().worker()->sysInfoReady);
    // Settings are read before the adapter check, which comes before the worker.
    EXPECT_EQ(f.env().calls.front(), "readSettings");
    EXPECT_EQ(f.env().count("log [] 啟動測試"), 0);
}

TEST(StartUp, AutomaticModeLogsStartFirst) {
    FormFixture f(true, true, true);
    const auto logs = f.env().callsStartingWith("log");
    ASSERT_FALSE(logs.empty());
    EXPECT_EQ(logs.front(), "log [] 啟動測試");
}

TEST(StartUp, NoAdapterShowsStopBoxAndCloses) {
    FormFixture f(true, false, false, 0);
    EXPECT_EQ(f.rs().errorCode, ErrNoAdapter);
    ASSERT_EQ(f.boxes().shown.size(), 1u);
    EXPECT_EQ(f.boxes().shown[0].kind, 'S');
    EXPECT_EQ(f.boxes().shown[0].caption, szErrorCaption(8));
    EXPECT_EQ(f.boxes().shown[0].text, szErrorText(8));
    EXPECT_TRUE(f.env().workers.empty());
    f.processEvents();  // the posted close
    EXPECT_EQ(f.env().exits, 1);
}

TEST(StartUp, NoAdapterInAutomaticModeLogsInsteadOfABox) {
    FormFixture f(true, true, true, 0);
    f.processEvents();
    EXPECT_TRUE(f.boxes().shown.empty());
    EXPECT_EQ(f.env().count("log [] " + szErrorText(8)), 1);
    // Start first, end last.
    const auto logs = f.env().callsStartingWith("log");
    ASSERT_EQ(logs.size(), 3u);
    EXPECT_EQ(logs.front(), "log [] 啟動測試");
    EXPECT_EQ(logs.back(), "log [] 結束測試");
    EXPECT_EQ(f.env().exits, 1);
}

// The profile follows the testing page 100 ms later, once, and releases the worker.
TEST(Timers, ExecuteRunsOnceAndReleasesTheWorker) {
    FormFixture f;
    f.toTesting();
    EXPECT_EQ(f.env().count("getSystemInfo"), 0);
    QElapsedTimer waited;
    waited.start();
    while (!f.worker().sysInfoReady && waited.elapsed() < 2000) QTest::qWait(10);
    EXPECT_GE(waited.elapsed(), 90);
    EXPECT_TRUE(f.worker().sysInfoReady);
    QTest::qWait(250);
    EXPECT_EQ(f.env().count("getSystemInfo"), 1);
}

// The automatic mode ends on the second or the third tick after the results, by where the
// results mark falls between two ticks.
TEST(Timers, AutomaticModeEndsOnSecondOrThirdDisableTick) {
    for (const int offsetMs : {0, 500}) {
        FormFixture f(true, true, true);
        f.deliver(WM_START_DECISION, 3);
        EXPECT_EQ(f.form().currentPage, PageTesting);
        f.deliver(WM_ANALYSIS_START);
        EXPECT_TRUE(f.form().TimerDisable.isActive());
        f.setSpeeds(5000, 1000);
        f.rs().errorCode = ErrAutoRunning;
        f.env().fakeClock->advanceMs(offsetMs);
        f.deliver(WM_TEST_FINISHED, 2);
        f.env().fakeClock->advanceMs(1000 - offsetMs);
        int ticks = 0;
        while (f.env().exits == 0 && ticks < 5) {
            f.form().TimerDisableTimer();
            ++ticks;
            f.env().fakeClock->advanceMs(1000);
        }
        EXPECT_EQ(ticks, offsetMs == 0 ? 2 : 3) << offsetMs;
    }
}

TEST(Timers, DisableTickDoesNothingOutsideAutomaticMode) {
    FormFixture f;
    f.toResults(5000, 1000);
    for (int i = 0; i < 5; ++i) {
        f.env().fakeClock->advanceMs(1000);
        f.form().TimerDisableTimer();
    }
    EXPECT_EQ(f.env().exits, 0);
    EXPECT_NE(f.form().markNow, 0);
}

class AgreementKeys : public ::testing::Test {
protected:
    void SetUp() override {
        f.toAgreement();
        f.form().runReportDialog = [this](TReportForm& dialog) {
            ++dialogs;
            dialog.m_bAccepted = accept;
            dialog.m_szCode = "CODE-1";
            return accept;
        };
    }
    void key(Qt::Key k) { f.key(k); }

    FormFixture f;
    int dialogs = 0;
    bool accept = false;
};

TEST_F(AgreementKeys, KThenEndOpensTheDialog) {
    key(Qt::Key_K);
    key(Qt::Key_End);
    EXPECT_EQ(dialogs, 1);
    key(Qt::Key_End);  // K is still the last key
    EXPECT_EQ(dialogs, 2);
}

TEST_F(AgreementKeys, EndAloneOrAnotherKeyBetweenDoesNot) {
    key(Qt::Key_End);
    key(Qt::Key_K);
    key(Qt::Key_X);
    key(Qt::Key_End);
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(f.form().currentPage, PageAgreement);
}

TEST_F(AgreementKeys, KeyOnTheMemoReachesTheWindowOnce) {
    f.form().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f.form()));
    f.form().MemoAnouncement->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), f.form().MemoAnouncement);
    QTest::keyClick(f.form().MemoAnouncement, Qt::Key_K);
    QTest::keyClick(f.form().MemoAnouncement, Qt::Key_End);
    EXPECT_EQ(dialogs, 1);
}

TEST_F(AgreementKeys, AcceptedCodeIsKeptCancelledLeavesIt) {
    f.rs().completionCode = "OLD";
    key(Qt::Key_K);
    key(Qt::Key_End);
    EXPECT_EQ(f.rs().completionCode, "OLD");
    accept = true;
    key(Qt::Key_End);
    EXPECT_EQ(f.rs().completionCode, "CODE-1");
}

TEST_F(AgreementKeys, ShiftedLettersActAndSixCloses) {
    f.key(Qt::Key_T, Qt::ShiftModifier);
    EXPECT_EQ(f.form().currentPage, PageSetupDoc);
    key(Qt::Key_P);
    EXPECT_EQ(f.form().currentPage, PageAgreement);
    key(Qt::Key_6);
    EXPECT_EQ(f.env().exits, 1);
}

// The digit row's 6 key closes in every layout and with Shift; the keypad's 6 is another key.
TEST(AgreementSixKey, DigitRowInEveryLayoutNotTheKeypad) {
    struct Press {
        const char* what;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char* text;
        quint32 scanCode;
        int exits;
    };
    const Press presses[] = {
        {"US", Qt::Key_6, Qt::NoModifier, "6", 15, 1},
        {"US with Shift", Qt::Key_AsciiCircum, Qt::ShiftModifier, "^", 15, 1},
        {"French", Qt::Key_Minus, Qt::NoModifier, "-", 15, 1},
        {"French with Shift", Qt::Key_6, Qt::ShiftModifier, "6", 15, 1},
        {"keypad", Qt::Key_6, Qt::KeypadModifier, "6", 85, 0},
        {"keypad without Num Lock", Qt::Key_Right, Qt::KeypadModifier, "", 85, 0},
    };
    for (const Press& p : presses) {
        FormFixture f;
        f.toAgreement();
        f.typed(p.key, p.modifiers, QString::fromLatin1(p.text), p.scanCode);
        EXPECT_EQ(f.env().exits, p.exits) << p.what;
        if (p.exits == 0) {
            EXPECT_EQ(f.form().currentPage, PageAgreement) << p.what;
        }
    }
}

TEST_F(AgreementKeys, AAgreesWithThePressedPicture) {
    // The server's announcement comes with the agreement.
    f.rs().announcementText = "公告";
    f.toAgreement();
    key(Qt::Key_A);
    EXPECT_EQ(f.form().currentPage, PageBulletin);
    EXPECT_TRUE(f.rs().noticeAccepted);
    EXPECT_EQ(f.form().originPage, PageAgreement);
    key(Qt::Key_N);
    EXPECT_EQ(f.form().currentPage, PageTesting);
}

TEST(Keys, EachPageActsOnlyOnItsOwnKeys) {
    {
        FormFixture f;
        f.rs().updateUrl = "http://update/";
        f.deliver(WM_START_DECISION, 2);
        EXPECT_EQ(f.form().currentPage, PageUpdateOffered);
        f.key(Qt::Key_Q);  // not on this page
        EXPECT_EQ(f.env().exits, 0);
        f.key(Qt::Key_N);
        EXPECT_EQ(f.form().currentPage, PageAgreement);
    }
    {
        FormFixture f;
        f.rs().updateUrl = "http://update/";
        f.deliver(WM_START_DECISION, 1);
        f.key(Qt::Key_N);
        EXPECT_EQ(f.form().currentPage, PageUpdateRequired);
        f.key(Qt::Key_D);
        EXPECT_EQ(f.env().count("open http://update/"), 1);
        f.processEvents();
        EXPECT_EQ(f.env().exits, 1);
    }
    {
        FormFixture f;
        f.toAgreement();
        f.form().ImgCopyrightClick();
        EXPECT_EQ(f.form().currentPage, PageAbout);
        f.key(Qt::Key_P);
        EXPECT_EQ(f.form().currentPage, PageAgreement);
        EXPECT_EQ(f.form().originPage, PageAbout);
    }
    {
        FormFixture f;
        f.toResults(5000, 1000, "http://report/7");
        f.key(Qt::Key_R);
        EXPECT_EQ(f.env().count("open http://report/7"), 1);
        f.key(Qt::Key_Q);
        EXPECT_EQ(f.env().exits, 1);
    }
}

TEST(Retest, FromResultsStartsAFreshRunStraightToTesting) {
    FormFixture f;
    f.toResults(5000, 1000);
    auto first = f.form().controller().worker();
    ASSERT_TRUE(first);
    f.key(Qt::Key_T);
    EXPECT_TRUE(first->Terminated());
    ASSERT_EQ(f.env().workers.size(), 2u);
    EXPECT_EQ(f.form().controller().worker(), f.env().workers[1]);
    EXPECT_EQ(f.form().originPage, PageResults);
    EXPECT_FALSE(f.form().TimerDisable.isActive());
    EXPECT_FALSE(shown(f.form().ImgNext));
    EXPECT_TRUE(shown(f.form().ImgConnecting));
    EXPECT_FALSE(shown(f.form().ImgDown1));
    // The agreement was accepted and this is no fresh start: the next go goes to testing.
    f.deliver(WM_START_DECISION, 3);
    EXPECT_EQ(f.form().currentPage, PageTesting);
}

TEST(Retest, WithoutAdapterShowsTheStopBoxAndCloses) {
    FormFixture f;
    f.toResults(5000, 1000);
    f.env().adapters = 0;
    f.form().ImgNextMouseDown();
    EXPECT_EQ(f.rs().errorCode, ErrNoAdapter);
    ASSERT_EQ(f.boxes().shown.size(), 1u);
    EXPECT_EQ(f.boxes().shown[0].kind, 'S');
    f.processEvents();
    EXPECT_EQ(f.env().exits, 1);
}

TEST(CloseApp, StepsInOrderAndNothingHandledAfterwards) {
    FormFixture f(true, true, true);
    f.rs().adEndUrl = "http://end/";
    auto worker = f.form().controller().worker();
    auto pump = f.form().controller().workerAddress();
    f.env().calls.clear();
    f.form().vCloseApp();
    const std::vector<std::string> expected{
        "closeCpuQueries", "sleep 300", "open http://end/", "log [] 結束測試", "sleep 500", "waitThreads", "exit 0"};
    EXPECT_EQ(f.env().calls, expected);
    EXPECT_TRUE(worker->Terminated());
    EXPECT_FALSE(f.form().controller().worker());
    // A worker that sends now is released at once instead of blocking.
    EXPECT_FALSE(pump->SendMessage(WindowMessage::make(WM_TEST_PROGRESS, 1, 50)));
    EXPECT_FALSE(pump->PostMessage(WindowMessage::make(WM_GO_REQUEST)));
    f.form().vCloseApp();  // a second close does nothing
    EXPECT_EQ(f.env().exits, 1);
    f.deliver(WM_GO_REQUEST);
    EXPECT_FALSE(f.rs().userGo);
}

TEST(CloseApp, EndPageNullOrEmptyOpensNothing) {
    for (const char* url : {"NULL", ""}) {
        FormFixture f;
        f.rs().adEndUrl = url;
        f.form().vCloseApp();
        EXPECT_TRUE(f.env().callsStartingWith("open").empty()) << url;
        EXPECT_EQ(f.env().exits, 1);
    }
}

TEST(CloseApp, WindowCloseRunsTheClosingPath) {
    FormFixture f;
    f.form().close();
    EXPECT_EQ(f.env().exits, 1);
    EXPECT_TRUE(f.form().closing());
}

TEST(CloseApp, WorkerBlockedInSendIsReleased) {
    FormFixture f;
    auto pump = f.form().controller().workerAddress();
    std::atomic<int> result{-1};
    std::thread sender([&] { result = pump->SendMessage(WindowMessage::make(WM_TEST_PROGRESS, 1, 50)) ? 1 : 0; });
    // The send is queued; the window closes before it handles it.
    while (pump->pending() == 0) std::this_thread::yield();
    f.form().vCloseApp();
    sender.join();
    EXPECT_EQ(result, 0);
}

TEST(MessageQueue, MessagesFromAnotherThreadAreHandledOnTheWindowThread) {
    FormFixture f;
    f.toTesting();
    auto pump = f.form().controller().workerAddress();
    std::atomic<bool> sent{false};
    std::thread worker([&] { sent = pump->SendMessage(WindowMessage::make(WM_TEST_PROGRESS, 1, 40)); });
    while (!sent) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    worker.join();
    EXPECT_EQ(f.form().ImgBarNum->lastLoaded(), "PERCENT_40");
}

TEST(SingleInstance, SecondCopyRaisesTheFirstAndKilledCopyDoesNotBlock) {
    uiApplication();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto start = [&](QProcess& p) {
        p.setProgram(QStringLiteral(KIVOTA_INSTANCE_HOLDER));
        p.setArguments({dir.path()});
        p.start();
        return p.waitForStarted(10000);
    };
    auto line = [](QProcess& p) {
        while (!p.canReadLine()) {
            if (!p.waitForReadyRead(10000)) return std::string("(none)");
        }
        return p.readLine().trimmed().toStdString();
    };
    QProcess first;
    ASSERT_TRUE(start(first));
    EXPECT_EQ(line(first), "first");
    QProcess second;
    ASSERT_TRUE(start(second));
    EXPECT_EQ(line(second), "second");
    EXPECT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(line(first), "raised");
    first.kill();  // SIGKILL: the lock and the socket stay behind
    first.waitForFinished(10000);
    QProcess third;
    ASSERT_TRUE(start(third));
    EXPECT_EQ(line(third), "first");
    third.kill();
    third.waitForFinished(10000);
}

}  // namespace
}  // namespace kivota::test
