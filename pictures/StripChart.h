#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "Model.h"
#include "PixelSurface.h"

// The wrapping strip chart of a run in a picture: the window's persistent image, or the
// headless runner's off-screen one. Knows no widget and no toolkit.
//
// A column is drawn in two halves. Graph_Populations does the column's arithmetic at once
// (the wrap, every mark's row and its check, PlotColumn) and notes what the column will
// hold; Render puts the columns noted since the last Render into the image. A column's
// pixels depend only on the last time it was drawn (it is whitened, then marked), so many
// columns can go into the image together, row by row, at the moment someone looks at the
// picture, which costs a fraction of drawing each one down its 250 rows as it comes.
class StripChart {
  public:
    // The picture's pixels are written directly; it keeps its size.
    explicit StripChart(PixelSurface surface);

    // Called at a wrap, before column 0 is drawn again: the window waits its pause there.
    void setWrapPause(std::function<void()> pause) { wrapPause_ = std::move(pause); }

    // Fills the surface with the background colour, white; no column is pending after it.
    void Clear();

    // One chart column at PlotColumn from Species(i).x and .Color of rows 0 to Nanimals - 1,
    // then PlotColumn advances. Returns the x of the column drawn, for the caller's repaint.
    // The surface shows it after the next Render.
    int Graph_Populations(const SpeciesTable& Species, const int16_t& Nanimals,
                          int16_t& PlotColumn);

    // Brings the surface up to date with every column drawn so far.
    void Render();

    // Scale width and height: the surface's size in pixels.
    float ScaleWidth() const { return float(surface_.width); }
    float ScaleHeight() const { return float(surface_.height); }

  private:
    struct Notes;

    PixelSurface surface_;
    std::function<void()> wrapPause_;
    // Per column of the surface, what its last drawing marks: the rows, in species order, and
    // their colours; and whether it waits for Render.
    int width_ = 0, height_ = 0;
    std::vector<int16_t> rows_;
    std::vector<uint32_t> colours_;
    std::vector<uint8_t> marks_;
    std::vector<uint8_t> pending_;
    int pendingFirst_ = 0, pendingLast_ = -1;
};
