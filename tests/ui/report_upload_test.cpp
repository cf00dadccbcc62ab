// A completion code confirmed in the dialog reaches the operator's server with the result:
// the window copies it into the run record, the upload carries it as QUELM, and the testbed
// reads back exactly the typed code, Base64 '+', '/' and '=' included.
#include <gtest/gtest.h>

#include <QLineEdit>

#include <memory>
#include <string>

#include "app/report_form.h"
#include "run/work_thread.h"
#include "support/letter_encode.h"
#include "support/recording_window.h"
#include "support/testbed_process.h"
#include "ui_fixture.h"

namespace kivota::test {
namespace {

// "SO20261208:T7734:OK:0912345678:>>>???:<check>" (made with Python's hashlib and base64): the
// ignored fifth field puts '+' and '/' into the code, and it ends in "==".
constexpr const char* kCodeWithBase64Signs =
    "U08yMDI2MTIwODpUNzczNDpPSzowOTEyMzQ1Njc4Oj4+Pj8/PzpjMGUwMzE2MDg4NzVlOTEzOWMyODlhZTYzYzY2Y2Y5Mw==";

TEST(ReportUpload, ConfirmedCodeReachesTheServerAsQuelm) {
    FormFixture f;
    f.toAgreement();
    f.form().runReportDialog = [](TReportForm& form) {
        form.show();
        form.m_editBSPM->setText(QString::fromUtf8(kCodeWithBase64Signs));
        form.m_btnCheckClick();
        form.m_btnOKClick();
        return form.m_bAccepted;
    };
    f.key(Qt::Key_K);
    f.key(Qt::Key_End);
    ASSERT_EQ(f.rs().completionCode, kCodeWithBase64Signs);

    TestbedProcess testbed;
    auto addresses = std::make_shared<StoredAddresses>();
    addresses->configUrl = szEncode(testbed.url("/kivota/config"));
    addresses->resultUrl = szEncode(testbed.url("/kivota/result"));
    WorkerServices svc;
    svc.state = f.worker().svc.state;
    svc.window = std::make_shared<RecordingWindow>();
    svc.clock = std::make_shared<FakeClock>();
    svc.addresses = addresses;
    auto worker = std::make_shared<CWorkThread>(std::move(svc));
    std::string reply;
    ASSERT_TRUE(worker->bHttpRequest(testbed.url("/kivota/config"), true, true, true, reply));
    worker->vUploadResult();

    const TestbedResult stored = testbed.result(1);
    EXPECT_EQ(stored.error, "");
    EXPECT_TRUE(stored.authOk);
    EXPECT_EQ(stored.field("QUELM"), kCodeWithBase64Signs);
}

}  // namespace
}  // namespace kivota::test
