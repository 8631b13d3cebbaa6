#include "StripChart.h"

#include <algorithm>
#include <cstdint>

#include "ChartColumn.h"

namespace {
constexpr uint32_t White = 0xFFFFFFFFu;

// Species colours hold red in the low byte; the image wants 0xAARRGGBB.
uint32_t toArgb(int32_t color) {
    const uint32_t c = static_cast<uint32_t>(color);
    return 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}
}  // namespace

StripChart::StripChart(PixelSurface surface)
    : surface_(surface), width_(surface.width), height_(surface.height) {
    const std::size_t columns = std::size_t(std::max(width_, 0));
    rows_.assign(columns * MaxSpecies, 0);
    colours_.assign(columns * MaxSpecies, 0);
    marks_.assign(columns, 0);
    pending_.assign(columns, 0);
}

void StripChart::Clear() {
    for (int y = 0; y < height_; ++y) std::fill_n(&surface_.At(0, y), width_, White);
    std::fill(pending_.begin(), pending_.end(), 0);
    pendingFirst_ = 0;
    pendingLast_ = -1;
}

// The shared column arithmetic, noting the column's marks for Render.
struct StripChart::Notes {
    StripChart& chart;
    const SpeciesTable& Species;
    int col = -1;  // -1: the column lies outside the surface (the one at the width)
    void Wrap() {
        if (chart.wrapPause_) chart.wrapPause_();
    }
    void Begin(int c, int) {
        col = c >= 0 && c < chart.width_ ? c : -1;
        if (col < 0) return;
        chart.marks_[col] = 0;  // whitened, and marked row by row from here
        if (!chart.pending_[col]) {
            chart.pending_[col] = 1;
            chart.pendingFirst_ =
                chart.pendingLast_ < chart.pendingFirst_ ? col : std::min(chart.pendingFirst_, col);
            chart.pendingLast_ = std::max(chart.pendingLast_, col);
        }
    }
    void Mark(int, int i, int16_t y) {
        if (col < 0) return;
        const std::size_t at = std::size_t(col) * MaxSpecies + chart.marks_[col]++;
        chart.rows_[at] = y;
        chart.colours_[at] = toArgb(Species.rows[i].Color);
    }
};

int StripChart::Graph_Populations(const SpeciesTable& Species, const int16_t& Nanimals,
                                  int16_t& PlotColumn) {
    Notes notes{*this, Species};
    return Chart_Column(Species, Nanimals, PlotColumn, float(width_), float(height_), notes);
}

void StripChart::Render() {
    if (pendingLast_ < pendingFirst_) return;
    auto pixel = [this](int x, int y) -> uint32_t& { return surface_.At(x, y); };
    // Whitened row by row across the runs of pending columns: each row of a run is one
    // stretch of memory.
    for (int a = pendingFirst_; a <= pendingLast_;) {
        if (!pending_[a]) {
            ++a;
            continue;
        }
        int b = a;
        while (b + 1 <= pendingLast_ && pending_[b + 1]) ++b;
        for (int y = height_ - 1; y >= 0; --y) std::fill_n(&pixel(a, y), b - a + 1, White);
        a = b + 1;
    }
    // Then each column's marks in species order (a later species shows where marks meet),
    // each three rows high, clipped to the surface.
    for (int c = pendingFirst_; c <= pendingLast_; ++c) {
        if (!pending_[c]) continue;
        pending_[c] = 0;
        const std::size_t base = std::size_t(c) * MaxSpecies;
        for (int k = 0; k < marks_[c]; ++k) {
            const int y = rows_[base + k];
            const uint32_t argb = colours_[base + k];
            for (int yy : {y, y + 1, y - 1})
                if (yy >= 0 && yy < height_) pixel(c, yy) = argb;
        }
    }
    pendingFirst_ = 0;
    pendingLast_ = -1;
}
