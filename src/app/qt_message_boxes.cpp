#include "app/qt_message_boxes.h"

#include <QAbstractButton>
#include <QMessageBox>

namespace kivota {

namespace {

int iShowBox(QWidget* parent, QMessageBox::Icon icon, const std::string& caption, const std::string& title,
             const std::string& text, QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, QString::fromStdString(caption.empty() ? title : caption), QString::fromStdString(text),
                    buttons, parent);
    box.setWindowModality(Qt::ApplicationModal);
    // A box's text is shown as it is, whatever it holds.
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    // The buttons speak the language of the texts.
    if (QAbstractButton* b = box.button(QMessageBox::Ok)) b->setText(QStringLiteral("確定"));
    if (QAbstractButton* b = box.button(QMessageBox::Retry)) b->setText(QStringLiteral("重試(&R)"));
    if (QAbstractButton* b = box.button(QMessageBox::Cancel)) b->setText(QStringLiteral("取消"));
    return box.exec();
}

}  // namespace

void QtMessageBoxes::information(const std::string& caption, const std::string& text) {
    iShowBox(parent_, QMessageBox::Information, caption, title_, text, QMessageBox::Ok, QMessageBox::Ok);
}

void QtMessageBoxes::stop(const std::string& caption, const std::string& text) {
    iShowBox(parent_, QMessageBox::Critical, caption, title_, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtMessageBoxes::retryCancel(const std::string& caption, const std::string& text) {
    return iShowBox(parent_, QMessageBox::Critical, caption, title_, text, QMessageBox::Retry | QMessageBox::Cancel,
                    QMessageBox::Retry) == QMessageBox::Retry;
}

}  // namespace kivota
