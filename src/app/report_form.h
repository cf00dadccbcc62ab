#pragma once
// The completion-code dialog: the subscriber enters the code of a service order that the field
// staff gave, the dialog checks its internal consistency (Base64 text of ':'-separated fields
// ending in an MD5 check value) and lets the user confirm only a code that passed. The window
// shows it modally and copies m_szCode when m_bAccepted is set. Created once, it lives as long
// as the window, so its edit text survives between showings.

#include <QDialog>

#include <functional>
#include <string>

#include "run/completion_code.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace kivota {

inline constexpr const char* kReportCodeError = "報峻碼錯誤,請重新輸入!";

class TReportForm : public QDialog {
    Q_OBJECT

public:
    explicit TReportForm(QWidget* parent = nullptr);
    ~TReportForm() override;

    void FormShow();
    void m_editBSPMChange();
    void m_btnCheckClick();
    void m_btnOKClick();
    void m_btnCancelClick();

    // Shows the dialog's one message (a modal box); the window points it at its own boxes.
    std::function<void(const std::string& text)> showMessage;

    QLabel* labelTitle;
    QPushButton *m_btnOK, *m_btnCheck, *m_btnCancel;
    QLineEdit* m_editBSPM;

    bool m_bVerified = false;
    bool m_bAccepted = false;
    std::string m_szCode;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void vMessage(const std::string& text);
};

}  // namespace kivota
