// The completion-code dialog: the buttons at every showing, the check of a code (valid codes
// were made outside the program with Python's hashlib and base64), what OK and Cancel leave in
// the run record, and the edit text that survives between showings.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <string>
#include <vector>

#include "app/report_form.h"
#include "ui_fixture.h"

namespace kivota::test {
namespace {

// Fields "SO20261208", "T7734", "OK", "0912345678" and the check value
// c0e031608875e9139c289ae63c66cf93 = MD5("cc9d" + fields 1-4), "cc9d" leading MD5("0912345678").
constexpr const char* kFiveFields =
    "U08yMDI2MTIwODpUNzczNDpPSzowOTEyMzQ1Njc4OmMwZTAzMTYwODg3NWU5MTM5YzI4OWFlNjNjNjZjZjkz";
// The same with a fifth field "IGNORED" or "OTHER" before the check value.
constexpr const char* kSixFields =
    "U08yMDI2MTIwODpUNzczNDpPSzowOTEyMzQ1Njc4OklHTk9SRUQ6YzBlMDMxNjA4ODc1ZTkxMzljMjg5YWU2M2M2NmNmOTM=";
constexpr const char* kSixFieldsOtherFifth =
    "U08yMDI2MTIwODpUNzczNDpPSzowOTEyMzQ1Njc4Ok9USEVSOmMwZTAzMTYwODg3NWU5MTM5YzI4OWFlNjNjNjZjZjkz";
// The five-field code with its check value in upper case.
constexpr const char* kUpperCheck =
    "U08yMDI2MTIwODpUNzczNDpPSzowOTEyMzQ1Njc4OkMwRTAzMTYwODg3NUU5MTM5QzI4OUFFNjNDNjZDRjkz";
// "SO20261208::T7734:OK:0912345678:<check>": a run of ':' is one separator, so this passes.
constexpr const char* kDoubledSeparator =
    "U08yMDI2MTIwODo6VDc3MzQ6T0s6MDkxMjM0NTY3ODpjMGUwMzE2MDg4NzVlOTEzOWMyODlhZTYzYzY2Y2Y5Mw==";
// "SO20261208:T7734::0912345678:<MD5 over an empty third field>": the empty field vanishes,
// the fields shift and the check value becomes field 4, so this fails.
constexpr const char* kShiftedByEmptyField =
    "U08yMDI2MTIwODpUNzczNDo6MDkxMjM0NTY3ODo3MmVlMmY3NTYxYTViMmE3MTk4ZjBiNTBjYTVhYzgzYw==";

class ReportDialog : public ::testing::Test {
protected:
    ReportDialog() {
        form.showMessage = [this](const std::string& text) { messages.push_back(text); };
    }
    ~ReportDialog() override { form.hide(); }

    void open() {
        form.show();
        QApplication::processEvents();
    }
    void type(const std::string& text) {
        form.m_editBSPM->selectAll();
        QTest::keyClicks(form.m_editBSPM, QString::fromStdString(text));
    }
    void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    QApplication& app = uiApplication();  // before any widget
    TReportForm form;
    std::vector<std::string> messages;
};

TEST_F(ReportDialog, EveryShowingStartsWithBothButtonsOffAndTheEarlierTextKept) {
    open();
    type(kFiveFields);
    click(form.m_btnCheck);
    ASSERT_TRUE(form.m_btnOK->isEnabled());
    click(form.m_btnOK);
    EXPECT_TRUE(form.m_bAccepted);
    EXPECT_FALSE(form.isVisible());

    open();
    EXPECT_EQ(form.m_editBSPM->text().toStdString(), kFiveFields);
    EXPECT_FALSE(form.m_btnOK->isEnabled());
    EXPECT_FALSE(form.m_btnCheck->isEnabled());
    EXPECT_FALSE(form.m_bAccepted);
    EXPECT_FALSE(form.m_bVerified);
}

TEST_F(ReportDialog, OneCharacterEnablesCheckAndDeletingItLeavesCheckOn) {
    open();
    form.m_editBSPM->setFocus();
    QTest::keyClick(form.m_editBSPM, Qt::Key_A);
    EXPECT_TRUE(form.m_btnCheck->isEnabled());
    QTest::keyClick(form.m_editBSPM, Qt::Key_Backspace);
    EXPECT_TRUE(form.m_editBSPM->text().isEmpty());
    EXPECT_TRUE(form.m_btnCheck->isEnabled());
    click(form.m_btnCheck);
    EXPECT_EQ(messages, std::vector<std::string>{"報峻碼錯誤,請重新輸入!"});
    EXPECT_FALSE(form.m_btnOK->isEnabled());
    EXPECT_TRUE(form.isVisible());  // the dialog stays open for another try
}

struct CodeCase {
    const char* name;
    const char* code;
    bool valid;
};

class CodeCheck : public ReportDialog, public ::testing::WithParamInterface<CodeCase> {};

TEST_P(CodeCheck, AcceptsExactlyTheConsistentCodes) {
    const CodeCase& c = GetParam();
    open();
    type(c.code);
    click(form.m_btnCheck);
    EXPECT_EQ(form.m_bVerified, c.valid) << c.name;
    EXPECT_EQ(form.m_btnOK->isEnabled(), c.valid) << c.name;
    EXPECT_EQ(messages.size(), c.valid ? 0u : 1u) << c.name;
    click(form.m_btnOK);
    EXPECT_EQ(form.m_bAccepted, c.valid) << c.name;
    if (c.valid) {
        EXPECT_EQ(form.m_szCode, c.code);
    }
}

INSTANTIATE_TEST_SUITE_P(Codes, CodeCheck,
                         ::testing::Values(CodeCase{"five fields", kFiveFields, true},
                                           CodeCase{"six fields", kSixFields, true},
                                           CodeCase{"six fields, other fifth", kSixFieldsOtherFifth, true},
                                           CodeCase{"doubled separator", kDoubledSeparator, true},
                                           CodeCase{"upper-case check", kUpperCheck, false},
                                           CodeCase{"shifted by an empty field", kShiftedByEmptyField, false},
                                           CodeCase{"not Base64", "@@@@!!!!", false},
                                           CodeCase{"too few fields", "QTpCOkM6RA==", false}));

TEST_F(ReportDialog, OkAfterAFailedCheckDoesNotAccept) {
    open();
    type(kFiveFields);
    click(form.m_btnCheck);
    ASSERT_TRUE(form.m_bVerified);
    type(kUpperCheck);
    click(form.m_btnCheck);
    EXPECT_FALSE(form.m_bVerified);
    form.m_btnOKClick();  // OK is off; its handler still refuses
    EXPECT_FALSE(form.m_bAccepted);
    EXPECT_FALSE(form.isVisible());
}

TEST_F(ReportDialog, EditingAfterAPassedCheckConfirmsTheCheckedCode) {
    open();
    type(kFiveFields);
    click(form.m_btnCheck);
    type("something else");
    EXPECT_TRUE(form.m_btnOK->isEnabled());
    click(form.m_btnOK);
    EXPECT_TRUE(form.m_bAccepted);
    EXPECT_EQ(form.m_szCode, kFiveFields);
}

// The window's key command opens the shared dialog; Cancel leaves completionCode alone, an
// accepted code replaces it. The message goes through the window's boxes.
TEST(ReportDialogInWindow, CancelKeepsTheCodeOkCopiesIt) {
    FormFixture f;
    f.toAgreement();
    TReportForm* dialog = f.form().ReportForm;
    std::string typed = kFiveFields;
    bool pressOk = false;
    f.form().runReportDialog = [&](TReportForm& form) {
        EXPECT_EQ(&form, dialog);
        form.show();
        form.m_editBSPM->setText(QString::fromStdString(typed));
        form.m_btnCheckClick();
        if (pressOk) form.m_btnOKClick();
        else form.m_btnCancelClick();
        return form.m_bAccepted;
    };
    f.rs().completionCode = "OLD";
    f.key(Qt::Key_K);
    f.key(Qt::Key_End);
    EXPECT_EQ(f.rs().completionCode, "OLD");
    pressOk = true;
    f.key(Qt::Key_End);
    EXPECT_EQ(f.rs().completionCode, kFiveFields);

    typed = kUpperCheck;
    f.key(Qt::Key_End);
    EXPECT_EQ(f.rs().completionCode, kFiveFields);
    ASSERT_FALSE(f.boxes().shown.empty());
    EXPECT_EQ(f.boxes().shown.back().text, "報峻碼錯誤,請重新輸入!");
}

}  // namespace
}  // namespace kivota::test
