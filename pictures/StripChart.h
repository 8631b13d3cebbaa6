#pragma once

#include <QImage>
#include <cstdint>
#include <functional>
#include <vector>

// The wrapping strip chart, drawn straight into the pixels of an image: the window's
// persistent picture, or the headless runner's off-screen one. Knows no widget.
class StripChart {
  public:
    // The surface is a 32-bit image (RGB32 or ARGB32): pixels are written directly.
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
    struct Pixels;
    void beginColumn(int col, int rows);
    void setPoint(int x, int y, uint32_t argb);
    void eraseColumn(int col);
    void track(bool cleared);

    QImage& surface_;
    std::function<void()> wrapPause_;
    // The surface's pixels and size, fetched once per column (QImage's are library calls).
    uchar* pixels_ = nullptr;
    qsizetype stride_ = 0;
    int width_ = 0, height_ = 0;
    // Per column, one bit per row: the pixels this chart coloured there since the column was
    // last white. Valid for the columns flagged in exact_, while the surface's cache key is
    // key_ (any other write into the image changes it).
    std::vector<uint64_t> marked_;
    std::vector<char> exact_;
    int words_ = 0;
    bool trackMarks_ = false;
    qint64 key_ = -1;
};
