#pragma once

// One strip-chart column without its pixels: the wrap at the width, the row of every
// species' mark with its 16-bit check, and the advance of PlotColumn. A run whose chart row
// would leave 16 bits fails, whether or not anyone draws it: the strip chart draws through
// this, and a run without pixels keeps the rule through ChartRows, so that a population far
// outside 0..1 fails at the same step and column, with the same message, in the window,
// lv-run and lv-sweep.

#include <cstdint>
#include <string>

#include "Convert.h"
#include "LvError.h"
#include "Model.h"

// The nearest 16-bit row, halves to even, as Round_To_Int16 gives it. Adding and taking away
// 1.5 * 2^52 rounds a double of this size to an integer in the default rounding mode (to
// nearest, ties to even) without a library call; anything else goes the checked way.
inline int16_t Chart_Round_Row(double v) {
    if (v > -32768.0 && v < 32767.0) {
        constexpr double Shift = 6755399441055744.0;
        return static_cast<int16_t>((v + Shift) - Shift);  // no fast-math: nothing folds it
    }
    return Round_To_Int16(v);
}

// The row of a mark's centre for population x in a chart of scale height H: population 0
// lands on row H, population 1 on row 0. A mark covers y - 1, y and y + 1; any of them
// outside -32768..32767 is an Overflow. (Rows that far out are never on the surface, so
// checking all three before drawing any changes no pixel.)
inline int16_t Chart_Mark_Row(double x, float H, float K) {
    const int16_t y = Chart_Round_Row(double(H) - x / double(K));
    if (y == INT16_MAX) Checked_Add16(y, 1);  // throws: the row below is out of range
    if (y == INT16_MIN) Checked_Add16(y, -1);
    return y;
}

// Draws one column at PlotColumn from Species(i).x of rows 0 to Nanimals - 1 in a chart of
// scale width W and height H, then advances PlotColumn; returns the column. `draw` is told,
// in this order: Wrap() when PlotColumn has passed W (strictly: the column equal to W is
// still drawn) and is about to go back to 0; Begin(col, rows) with the rows to be marked;
// Mark(col, i, y) for each row i in index order. Rows beyond the table fail at row 51, as the
// table itself would, after the rows before it were marked.
template <class Draw>
int Chart_Column(const SpeciesTable& Species, const int16_t& Nanimals, int16_t& PlotColumn, float W,
                 float H, Draw& draw) {
    if (float(PlotColumn) > W) {
        draw.Wrap();
        PlotColumn = 0;
    }
    const int col = PlotColumn;
    const float K = 1.0f / H;
    const int n = Nanimals;
    const int inTable = n < MaxSpecies ? n : MaxSpecies;
    draw.Begin(col, inTable);
    for (int i = 0; i < inTable; ++i) draw.Mark(col, i, Chart_Mark_Row(Species.rows[i].x, H, K));
    if (n > MaxSpecies) (void)Species(MaxSpecies);
    PlotColumn = Checked_Add16(PlotColumn, 1);
    return col;
}

// A column's failure as the run reports it: with the step it belongs to and the column.
inline LvError Chart_Failure(const LvError& e, long long step, int16_t PlotColumn) {
    return e
        .within("strip chart at step " + std::to_string(step) + ", column " +
                std::to_string(PlotColumn))
        .atStep(step);
}
