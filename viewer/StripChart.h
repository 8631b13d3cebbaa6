#pragma once

#include <QImage>
#include <cstdint>
#include <functional>

// The wrapping strip chart, drawn straight into the pixels of an image: the window's
// persistent picture, or the headless runner's off-screen one. Knows no widget.
class StripChart {
  public:
    explicit StripChart(QImage& surface) : surface_(surface) {}

    // Called at a wrap, before column 0 is drawn again: the window waits its pause there.
    void setWrapPause(std::function<void()> pause) { wrapPause_ = std::move(pause); }

    // Fills the surface with the background colour, white.
    void Clear();

    // One chart column at PlotColumn from Species(i).x and .Color of rows 0 to Nanimals - 1,
    // then PlotColumn advances. Returns the x of the column drawn, for the caller's repaint.
    int Graph_Populations(const int16_t& Nanimals);

    // Scale width and height: the surface's size in pixels.
    float ScaleWidth() const { return float(surface_.width()); }
    float ScaleHeight() const { return float(surface_.height()); }

  private:
    void setPoint(int x, int y, uint32_t argb);

    QImage& surface_;
    std::function<void()> wrapPause_;
};
