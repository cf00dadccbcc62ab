#include "app/report_form.h"

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <array>

#include "net/text_codecs.h"

namespace kivota {

namespace {

// Splits like the C library's tokeniser on ':': runs of separators count as one and empty
// fields vanish. At most `count` fields; missing ones stay empty.
template <std::size_t count>
std::array<std::string, count> splitFields(const std::string& text) {
    std::array<std::string, count> fields;
    std::size_t n = 0;
    std::size_t pos = 0;
    while (n < count) {
        pos = text.find_first_not_of(':', pos);
        if (pos == std::string::npos) break;
        const std::size_t end = text.find(':', pos);
        fields[n++] = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (end == std::string::npos) break;
        pos = end;
    }
    return fields;
}

QFont pixelFont(int pixels, bool bold = false) {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Noto Sans CJK TC"),
                      QStringLiteral("Liberation Sans")});
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption, int left) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(QString::fromUtf8(name));
    button->setGeometry(left, 136, 113, 41);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

bool bCompletionCodeValid(const std::string& code) {
    const auto f = splitFields<6>(szBase64Decode(code));
    std::string field1 = f[0];
    if (!field1.empty() && field1.front() == ' ') field1.erase(0, 1);
    const std::string& check = f[5].empty() ? f[4] : f[5];
    const std::string prefix = szMD5(f[3]).substr(0, 4);
    return !check.empty() && szMD5(prefix + field1 + f[1] + f[2] + f[3]) == check;
}

TReportForm::TReportForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ReportForm"));
    setWindowTitle(QStringLiteral("填寫報峻碼"));
    setFont(pixelFont(11));
    setFixedSize(692, 207);
    move(350, 193);

    labelTitle = new QLabel(QStringLiteral("請輸入QUELM測通報峻碼"), this);
    labelTitle->setObjectName(QStringLiteral("labelTitle"));
    labelTitle->setGeometry(16, 32, 441, 16);
    labelTitle->setFont(pixelFont(13, true));

    m_btnOK = makeButton(this, "m_btnOK", "確認", 200);
    m_btnCheck = makeButton(this, "m_btnCheck", "檢查正確性", 384);
    m_btnCancel = makeButton(this, "m_btnCancel", "取消", 568);

    m_editBSPM = new QLineEdit(this);
    m_editBSPM->setObjectName(QStringLiteral("m_editBSPM"));
    m_editBSPM->setGeometry(16, 64, 665, 25);
    m_editBSPM->setFont(pixelFont(13));

    // Tab order: OK, Check, Cancel, then the edit.
    setTabOrder(m_btnOK, m_btnCheck);
    setTabOrder(m_btnCheck, m_btnCancel);
    setTabOrder(m_btnCancel, m_editBSPM);

    connect(m_btnOK, &QPushButton::clicked, this, &TReportForm::m_btnOKClick);
    connect(m_btnCheck, &QPushButton::clicked, this, &TReportForm::m_btnCheckClick);
    connect(m_btnCancel, &QPushButton::clicked, this, &TReportForm::m_btnCancelClick);
    connect(m_editBSPM, &QLineEdit::textChanged, this, &TReportForm::m_editBSPMChange);
}

TReportForm::~TReportForm() = default;

void TReportForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TReportForm::FormShow() {
    m_btnOK->setEnabled(false);
    m_btnCheck->setEnabled(false);
    m_editBSPM->setFocus();
    m_bAccepted = false;
    m_bVerified = false;
}

void TReportForm::m_editBSPMChange() {
    // Only ever enables: the check itself judges an emptied text.
    if (!m_editBSPM->text().isEmpty()) m_btnCheck->setEnabled(true);
}

void TReportForm::m_btnCheckClick() {
    m_bVerified = false;
    m_btnOK->setEnabled(false);
    const std::string text = m_editBSPM->text().toStdString();
    if (text.empty()) {
        vMessage(kReportCodeError);
        return;
    }
    m_szCode = text;
    if (bCompletionCodeValid(m_szCode)) {
        m_bVerified = true;
        m_btnOK->setEnabled(true);
    } else {
        vMessage(kReportCodeError);
    }
}

void TReportForm::m_btnOKClick() {
    if (m_bVerified) m_bAccepted = true;
    accept();
}

void TReportForm::m_btnCancelClick() { reject(); }

void TReportForm::vMessage(const std::string& text) {
    if (showMessage) {
        showMessage(text);
    } else {
        QMessageBox::information(this, windowTitle(), QString::fromUtf8(text));
    }
}

}  // namespace kivota
