#include "StripChart.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "Convert.h"
#include "Globals.h"

namespace {
constexpr uint32_t White = 0xFFFFFFFFu;

// Species colours hold red in the low byte; the image wants 0xAARRGGBB.
uint32_t toArgb(int32_t color) {
    const uint32_t c = static_cast<uint32_t>(color);
    return 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}
// The nearest 16-bit row, halves to even, as Round_To_Int16 gives it. Adding and taking away
// 1.5 * 2^52 rounds a double of this size to an integer in the default rounding mode (to
// nearest, ties to even) without a library call; anything else goes the checked way.
inline int16_t roundRow(double v) {
    if (v > -32768.0 && v < 32767.0) {
        constexpr double Shift = 6755399441055744.0;
        return static_cast<int16_t>((v + Shift) - Shift);  // no fast-math: nothing folds it
    }
    return Round_To_Int16(v);
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

int StripChart::Graph_Populations(const int16_t& Nanimals) {
    // Strict test: the column equal to the width is still drawn (just outside the visible
    // 0 to W - 1), the call after it wraps.
    if (float(PlotColumn) > ScaleWidth()) {
        if (wrapPause_) wrapPause_();
        PlotColumn = 0;
    }
    const int col = PlotColumn;
    // Anyone else writing into the surface (or resizing it) voids what is known of it.
    if (surface_.cacheKey() != key_ || surface_.width() != width_ || surface_.height() != height_)
        track(false);
    // One detach check per column, not one per pixel (scanLine() checks at every call).
    pixels_ = surface_.bits();
    stride_ = surface_.bytesPerLine();

    eraseColumn(col);

    const float H = ScaleHeight();
    const float K = 1.0f / H;
    const int n = Nanimals;
    // Rows 0 to 50 straight from the table; a count beyond it fails at row 51 as the table
    // itself would, after the rows before it were drawn.
    const int inTable = n < MaxSpecies ? n : MaxSpecies;
    // With many species the next sweep goes down the whole column anyway: the marks are not
    // worth noting, and the column counts as unknown.
    trackMarks_ = inTable * 9 < height_;
    if (!trackMarks_ && col >= 0 && col < width_) exact_[col] = 0;
    for (int i = 0; i < inTable; ++i) {
        const SpeciesRec& s = Species.rows[i];
        // Population 0 lands on row H, population 1 on row 0; halves go to the even row.
        const int16_t y = roundRow(double(H) - s.x / double(K));
        const uint32_t argb = toArgb(s.Color);
        setPoint(col, y, argb);
        if (y == INT16_MAX) Checked_Add16(y, 1);  // throws: the row below is out of range
        setPoint(col, y + 1, argb);
        if (y == INT16_MIN) Checked_Add16(y, -1);
        setPoint(col, y - 1, argb);
    }
    if (n > MaxSpecies) (void)Species(MaxSpecies);
    key_ = surface_.cacheKey();  // our own writes leave what is known intact
    PlotColumn = Checked_Add16(PlotColumn, 1);
    return col;
}
