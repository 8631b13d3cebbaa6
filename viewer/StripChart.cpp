#include "StripChart.h"

#include "Convert.h"
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
}

void StripChart::setPoint(int x, int y, uint32_t argb) {
    // Points outside the surface are clipped, as the drawing area clips them.
    if (x < 0 || y < 0 || x >= surface_.width() || y >= surface_.height()) return;
    reinterpret_cast<uint32_t*>(surface_.scanLine(y))[x] = argb;
}

int StripChart::Graph_Populations(const int16_t& Nanimals) {
    // Strict test: the column equal to the width is still drawn (just outside the visible
    // 0 to W - 1), the call after it wraps.
    if (float(PlotColumn) > ScaleWidth()) {
        if (wrapPause_) wrapPause_();
        PlotColumn = 0;
    }
    const int col = PlotColumn;

    // Erase line from (col, H - 1) up to (col, 0), both ends included.
    const int h = surface_.height();
    for (int y = h - 1; y >= 0; --y) setPoint(col, y, White);

    const float H = ScaleHeight();
    const float K = 1.0f / H;
    const int n = Nanimals;
    for (int i = 0; i < n; ++i) {
        const SpeciesRec& s = Species(i);
        // Population 0 lands on row H, population 1 on row 0; halves go to the even row.
        const int16_t y = Round_To_Int16(double(H) - s.x / double(K));
        const uint32_t argb = toArgb(s.Color);
        setPoint(col, y, argb);
        setPoint(col, Checked_Add16(y, 1), argb);
        setPoint(col, Checked_Add16(y, -1), argb);
    }
    PlotColumn = Checked_Add16(PlotColumn, 1);
    return col;
}
