// The browser panes with the real web engine against the testbed's pages: the advertisement
// loads, its body loses scroll bars and border, the pane takes the size of the page it is on,
// and "NULL" keeps it collapsed in a new run.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <unistd.h>

#include "app/browser_pane.h"
#include "support/testbed_process.h"
#include "ui_fixture.h"

namespace kivota::test {
namespace {

// Before the application object exists: the web engine shares its contexts, and as root it
// runs without its sandbox.
const bool kEngineReady = [] {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    return true;
}();

constexpr int kLoadBoundMs = 30000;

bool waitComplete(BrowserPane& pane, int count = 1) {
    QSignalSpy spy(&pane, &BrowserPane::documentComplete);
    QElapsedTimer t;
    t.start();
    while (spy.count() < count && t.elapsed() < kLoadBoundMs) spy.wait(200);
    return spy.count() >= count;
}

QVariant evaluate(BrowserPane& pane, const QString& script) {
    QVariant result;
    bool answered = false;
    pane.view()->page()->runJavaScript(script, [&](const QVariant& v) {
        result = v;
        answered = true;
    });
    QElapsedTimer t;
    t.start();
    while (!answered && t.elapsed() < kLoadBoundMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return result;
}

class Panes : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        (void)kEngineReady;
        uiApplication();
        BrowserPane::setWebEngineEnabled(true);
    }
    static void TearDownTestSuite() { BrowserPane::setWebEngineEnabled(false); }

    TestbedProcess testbed;
};

TEST_F(Panes, AdvertisementLoadsWithoutScrollBarsOrBorder) {
    QWidget host;
    host.resize(520, 420);
    BrowserPane pane(QStringLiteral("Ad_WebBrowser"), &host);
    pane.setPlainDocument(true);
    pane.setGeometry(208, 8, 300, 250);
    host.show();
    pane.navigate(testbed.url("/kivota/ad1"));
    ASSERT_TRUE(waitComplete(pane));
    ASSERT_NE(pane.view(), nullptr);
    EXPECT_EQ(pane.view()->size(), QSize(300, 250));
    const QVariantList style = evaluate(pane, QStringLiteral("[location.pathname, document.body.style.overflow, "
                                                             "getComputedStyle(document.body).overflow, "
                                                             "getComputedStyle(document.body).borderTopStyle, "
                                                             "document.body.getAttribute('scroll')]"))
                                   .toList();
    ASSERT_EQ(style.size(), 5);
    EXPECT_EQ(style[0].toString(), QStringLiteral("/kivota/ad1"));
    EXPECT_EQ(style[1].toString(), QStringLiteral("hidden"));
    EXPECT_EQ(style[2].toString(), QStringLiteral("hidden"));
    EXPECT_EQ(style[3].toString(), QStringLiteral("none"));
    EXPECT_EQ(style[4].toString(), QStringLiteral("no"));
}

TEST_F(Panes, AdvertisementTakesTheSizeOfItsPage) {
    for (const int dpi : {96, 120}) {
        FormFixture f;
        f.form().screenDpi = dpi;
        f.form().vShowConnecting();
        BrowserPane& ad = *f.form().Ad_WebBrowser;
        f.rs().adUrl1 = testbed.url("/kivota/ad1");
        f.rs().adUrl2 = testbed.url("/kivota/ad2");
        f.rs().infoUrl = testbed.url("/kivota/info");
        f.deliver(WM_CONFIG_LOADED);
        EXPECT_EQ(f.form().Info_WebBrowser->lastUrl(), f.rs().infoUrl);
        f.toTesting();
        ASSERT_TRUE(waitComplete(ad)) << dpi;
        EXPECT_TRUE(f.form().adLoaded);
        EXPECT_EQ(ad.geometry(), QRect(dpi > 96 ? 340 : 208, 8, 300, 250)) << dpi;

        f.deliver(WM_ANALYSIS_START);
        f.setSpeeds(5000, 1000);
        f.deliverText(WM_TEST_FINISHED, 1, testbed.url("/kivota/report"));
        EXPECT_TRUE(ad.collapsed());
        ASSERT_TRUE(waitComplete(ad)) << dpi;
        EXPECT_EQ(ad.geometry(), QRect(400, dpi > 96 ? 70 : 56, 120, 300)) << dpi;
        EXPECT_EQ(ad.lastUrl(), f.rs().adUrl2);
    }
}

TEST_F(Panes, NullAdvertisementStaysCollapsedInTheNextRun) {
    FormFixture f;
    BrowserPane& ad = *f.form().Ad_WebBrowser;
    f.rs().adUrl1 = testbed.url("/kivota/ad1");
    f.deliver(WM_CONFIG_LOADED);
    f.toTesting();
    ASSERT_TRUE(waitComplete(ad));
    ASSERT_EQ(ad.size(), QSize(300, 250));

    // A new run whose server has no advertisement.
    f.form().vShowConnecting();
    f.rs().adUrl1 = "NULL";
    f.deliver(WM_CONFIG_LOADED);
    f.toTesting();
    EXPECT_FALSE(f.form().adLoaded);
    EXPECT_TRUE(ad.collapsed());
    EXPECT_EQ(ad.lastUrl(), testbed.url("/kivota/ad1"));
}

}  // namespace
}  // namespace kivota::test
