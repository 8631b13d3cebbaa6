#include "StripChart.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "ChartColumn.h"
#include "Globals.h"

namespace {
constexpr uint32_t White = 0xFFFFFFFFu;

// Species colours hold red in the low byte; the image wants 0xAARRGGBB.
uint32_t toArgb(int32_t color) {
    const uint32_t c = static_cast<uint32_t>(color);
    return 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}
}  // namespace

void StripChart::Clear() {
    surface_.fill(White);
    track(true);
}

void StripChart::track(bool cleared) {
    width_ = surface_.width();
    height_ = surface_.height();
    words_ = (height_ + 63) / 64;
    marked_.assign(std::size_t(width_) * std::size_t(words_), 0);
    // After a clear every column is white, so nothing is marked; otherwise nothing is known.
    exact_.assign(std::size_t(width_), cleared ? 1 : 0);
    key_ = surface_.cacheKey();
}

void StripChart::setPoint(int x, int y, uint32_t argb) {
    // Points outside the surface are clipped, as the drawing area clips them.
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    reinterpret_cast<uint32_t*>(pixels_ + y * stride_)[x] = argb;
    if (trackMarks_) marked_[std::size_t(x) * words_ + (y >> 6)] |= uint64_t(1) << (y & 63);
}

void StripChart::eraseColumn(int col) {
    // The white line from (col, H - 1) up to (col, 0). Where the column is known to be white
    // but for the marks of the last sweep, whitening those pixels gives the same picture.
    if (col < 0 || col >= width_) return;
    uint64_t* m = &marked_[std::size_t(col) * words_];
    uchar* base = pixels_ + col * qsizetype(sizeof(uint32_t));
    int marks = 0;
    for (int w = 0; w < words_; ++w) marks += std::popcount(m[w]);
    // Going down the whole column costs about as much as whitening a third of it point by
    // point.
    if (exact_[col] && marks * 3 < height_) {
        for (int w = 0; w < words_; ++w) {
            for (uint64_t bits = m[w]; bits; bits &= bits - 1) {
                const int y = w * 64 + std::countr_zero(bits);
                *reinterpret_cast<uint32_t*>(base + y * stride_) = White;
            }
        }
    } else {
        // The whole column, bottom to top.
        uchar* p = base + (height_ - 1) * stride_;
        for (int y = height_ - 1; y >= 0; --y, p -= stride_)
            *reinterpret_cast<uint32_t*>(p) = White;
        exact_[col] = 1;
    }
    std::fill(m, m + words_, 0);
}

// The shared column arithmetic, drawing into this chart's pixels.
struct StripChart::Pixels {
    StripChart& chart;
    void Wrap() {
        if (chart.wrapPause_) chart.wrapPause_();
    }
    void Begin(int col, int rows) { chart.beginColumn(col, rows); }
    void Mark(int col, int i, int16_t y) {
        const uint32_t argb = toArgb(Species.rows[i].Color);
        chart.setPoint(col, y, argb);
        chart.setPoint(col, y + 1, argb);
        chart.setPoint(col, y - 1, argb);
    }
};

void StripChart::beginColumn(int col, int rows) {
    // Anyone else writing into the surface (or resizing it) voids what is known of it.
    if (surface_.cacheKey() != key_ || surface_.width() != width_ || surface_.height() != height_)
        track(false);
    // One detach check per column, not one per pixel (scanLine() checks at every call).
    pixels_ = surface_.bits();
    stride_ = surface_.bytesPerLine();
    eraseColumn(col);
    // With many species the next sweep goes down the whole column anyway: the marks are not
    // worth noting, and the column counts as unknown.
    trackMarks_ = rows * 9 < height_;
    if (!trackMarks_ && col >= 0 && col < width_) exact_[col] = 0;
}

int StripChart::Graph_Populations(const int16_t& Nanimals) {
    Pixels pixels{*this};
    const int col = Chart_Column(Nanimals, ScaleWidth(), ScaleHeight(), pixels);
    key_ = surface_.cacheKey();  // our own writes leave what is known intact
    return col;
}
