#include "app/report_form.h"

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace kivota {

namespace {

QFont pixelFont(int pixels, bool bold = false) {
    QFont font;
    font.setFamilies(
        {QStringLiteral("MS Sans Serif"), QStringLiteral("Noto Sans CJK TC"), QStringLiteral("Liberation Sans")});
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
