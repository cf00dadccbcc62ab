#pragma once
// Message boxes as application-modal Qt boxes over a parent window.

#include "app/message_boxes.h"

class QWidget;

namespace kivota {

class QtMessageBoxes final : public IMessageBoxes {
public:
    // `title` is the caption of a box whose own caption is empty.
    QtMessageBoxes(QWidget* parent, std::string title) : parent_(parent), title_(std::move(title)) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    void information(const std::string& caption, const std::string& text) override;
    void stop(const std::string& caption, const std::string& text) override;
    bool retryCancel(const std::string& caption, const std::string& text) override;

private:
    QWidget* parent_;
    std::string title_;
};

}  // namespace kivota
