#pragma once

#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QPushButton>
#include <functional>

#include "PixelSurface.h"

// The drawing area: a sunken 2-pixel border around a persistent image of its inner surface.
// Everything is drawn into the image; the widget repaints from it (after being covered or
// minimised, and for the columns the chart marks as changed).
class PictureBox : public QFrame {
    Q_OBJECT
  public:
    // outerSize includes the border; the image is the inner surface.
    PictureBox(QSize outerSize, QWidget* parent);

    QImage& Image() { return image_; }
    const QImage& Image() const { return image_; }
    // The same pixels, for the chart and the bitmap writer.
    PixelSurface Surface() {
        return {reinterpret_cast<uint32_t*>(image_.bits()), image_.width(), image_.height(),
                image_.bytesPerLine() / 4};
    }
    // Scale width and height: the inner surface in pixels.
    float ScaleWidth() const { return float(image_.width()); }
    float ScaleHeight() const { return float(image_.height()); }

    // Notes one changed column of the surface (nothing for columns outside it). The repaint
    // of the changed columns is scheduled by Flush_Updates, so that a run drawing a column
    // every few microseconds asks the window system once per round of event processing.
    void Update_Column(int x);
    void Flush_Updates();
    void Update_All();
    // Runs before every repaint, to bring the image up to date (the chart draws its columns
    // into it when someone looks).
    void Set_Before_Paint(std::function<void()> f) { beforePaint_ = std::move(f); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage image_;
    std::function<void()> beforePaint_;
    int dirtyFirst_ = 0, dirtyLast_ = -1;  // changed columns not yet scheduled for repaint
};

// A push button whose caption wraps at spaces when it does not fit on one line, as the
// window's buttons do; text() stays the caption as given.
class WrapButton : public QPushButton {
    Q_OBJECT
  public:
    using QPushButton::QPushButton;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// A frame whose caption sits on its etched border line, near the top-left corner, as the
// window's frames were drawn; children are placed from the frame's outer corner.
class FrameBox : public QGroupBox {
    Q_OBJECT
  public:
    using QGroupBox::QGroupBox;

  protected:
    void paintEvent(QPaintEvent* event) override;
};
