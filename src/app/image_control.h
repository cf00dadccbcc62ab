#pragma once
// An image control of the skinned window: shows a decoded picture at its top-left corner,
// clipped to the control, runs an animated picture by its frame delays, and draws nothing
// without a picture. It reports the mouse to the window: moves over it, presses, clicks and
// the mouse leaving it.

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <string>
#include <vector>

namespace kivota {

struct Picture;

class ImageControl final : public QWidget {
    Q_OBJECT

public:
    ImageControl(const QString& name, QWidget* parent);

    // Shows `picture` (its frames are copied); `name` is remembered as the picture last loaded.
    void setPicture(const Picture& picture, const std::string& name);
    void clearPicture();
    bool hasPicture() const { return !frames_.empty(); }
    // Name of the picture last loaded into this control (empty before the first).
    const std::string& lastLoaded() const { return lastLoaded_; }
    // Number of pictures loaded so far (a reload of the same picture counts too).
    int loadCount() const { return loadCount_; }

    // With auto-size on, the control takes the size of each picture it is given.
    void setAutoSize(bool on);
    bool autoSize() const { return autoSize_; }

    int frameCount() const { return static_cast<int>(frames_.size()); }
    int currentFrame() const { return frame_; }
    // The frame on screen, for tests and screenshots; a null image without a picture.
    QImage currentImage() const;

signals:
    void mouseMoved(kivota::ImageControl* control);
    void mousePressed(kivota::ImageControl* control);
    void clicked(kivota::ImageControl* control);
    void mouseLeft(kivota::ImageControl* control);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void advanceFrame();
    void scheduleNextFrame();

    std::vector<QImage> frames_;
    std::vector<int> delaysMs_;
    int frame_ = 0;
    QTimer animation_;
    bool autoSize_ = false;
    bool pressed_ = false;
    std::string lastLoaded_;
    int loadCount_ = 0;
};

}  // namespace kivota
