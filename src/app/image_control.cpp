#include "app/image_control.h"

#include <QMouseEvent>
#include <QPainter>

#include "app/resources/picture_decoder.h"

namespace kivota {

namespace {

// Frames come as tightly packed, non-premultiplied RGBA rows.
QImage toImage(const PictureFrame& frame) {
    if (frame.width <= 0 || frame.height <= 0) return {};
    const auto needed = static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height) * 4;
    if (frame.rgba.size() < needed) return {};
    QImage image(frame.rgba.data(), frame.width, frame.height, static_cast<qsizetype>(frame.width) * 4,
                 QImage::Format_RGBA8888);
    // The decoder's buffer is about to go away: keep a deep copy in the form painting likes best.
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace

ImageControl::ImageControl(const QString& name, QWidget* parent) : QWidget(parent) {
    setObjectName(name);
    setMouseTracking(true);  // hover pictures follow every move, not only drags
    setAttribute(Qt::WA_NoSystemBackground);
    animation_.setSingleShot(true);
    connect(&animation_, &QTimer::timeout, this, &ImageControl::advanceFrame);
}

void ImageControl::setPicture(const Picture& picture, const std::string& name) {
    animation_.stop();
    frames_.clear();
    delaysMs_.clear();
    for (const PictureFrame& f : picture.frames) {
        QImage image = toImage(f);
        if (image.isNull()) continue;
        frames_.push_back(std::move(image));
        delaysMs_.push_back(f.delayMs > 0 ? f.delayMs : 100);
    }
    frame_ = 0;
    lastLoaded_ = name;
    ++loadCount_;
    if (autoSize_ && !frames_.empty()) resize(picture.width, picture.height);
    scheduleNextFrame();
    update();
}

void ImageControl::clearPicture() {
    animation_.stop();
    frames_.clear();
    delaysMs_.clear();
    frame_ = 0;
    update();
}

void ImageControl::setAutoSize(bool on) {
    autoSize_ = on;
    if (autoSize_ && !frames_.empty()) resize(frames_.front().size());
}

QImage ImageControl::currentImage() const {
    if (frames_.empty()) return {};
    return frames_[static_cast<std::size_t>(frame_)];
}

void ImageControl::scheduleNextFrame() {
    if (frames_.size() > 1 && isVisible()) animation_.start(delaysMs_[static_cast<std::size_t>(frame_)]);
}

void ImageControl::advanceFrame() {
    if (frames_.size() < 2) return;
    frame_ = (frame_ + 1) % static_cast<int>(frames_.size());
    update();
    scheduleNextFrame();
}

void ImageControl::paintEvent(QPaintEvent*) {
    if (frames_.empty()) return;
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), frames_[static_cast<std::size_t>(frame_)]);
}

void ImageControl::mouseMoveEvent(QMouseEvent* event) {
    emit mouseMoved(this);
    event->accept();
}

void ImageControl::mousePressEvent(QMouseEvent* event) {
    pressed_ = true;
    emit mousePressed(this);
    event->accept();
}

void ImageControl::mouseReleaseEvent(QMouseEvent* event) {
    // A click is a press and a release over the same control, as the platform counts it.
    const bool inside = rect().contains(event->position().toPoint());
    const bool wasPressed = pressed_;
    pressed_ = false;
    if (wasPressed && inside) emit clicked(this);
    event->accept();
}

void ImageControl::leaveEvent(QEvent* event) {
    pressed_ = false;
    emit mouseLeft(this);
    QWidget::leaveEvent(event);
}

void ImageControl::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!animation_.isActive()) scheduleNextFrame();
}

void ImageControl::hideEvent(QHideEvent* event) {
    // A hidden animation costs nothing: it resumes where it was when shown again.
    animation_.stop();
    QWidget::hideEvent(event);
}

}  // namespace kivota
