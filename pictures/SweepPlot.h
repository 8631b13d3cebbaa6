#pragma once

#include <QRgb>
#include <memory>
#include <utility>
#include <vector>

#include "PlotData.h"
#include "PlotParts.h"

// The pictures of a sweep's exponents, drawn with Qt Charts off screen (a PlotApplication
// must exist): LE against the parameter for one varied parameter, a colour map of LE over
// the grid of two, and a histogram of LE for an ensemble over seeds alone. Each costs what
// the points that ran cost: nothing of it follows the size of the whole sweep.

// The picture for the data: the map for two axes, the line for one, the histogram for none
// (seeds). Throws LvError (Out of memory) when an image cannot be had.
std::unique_ptr<PlotFigure> Sweep_Plot(const SweepPlotData& data);

// The range of exponents a scale or an axis shows: all of them, unless some stray further
// beyond the 2nd or the 98th percentile than the one is from the other (a few clamped runs
// at 1000 beside exponents of 0.01); then all but those strays, and `clipped`. A map of
// fewer than 50 cells has no 2 % to spare: there a stray can still set the scale, which the
// points' clamped flags are for.
struct ExponentRange {
    double low = 0, high = 0;
    bool clipped = false;
};
ExponentRange Exponent_Range(std::vector<double> values);

// The line plot joins its values up to this many, about the columns of its plot: a line
// through more would hide the dots and show nothing they do not.
inline constexpr std::size_t Line_Value_Limit = 1000;

// The largest map a sweep draws has this many cells a side; a grid of more values is drawn
// in bins of neighbouring values, each the mean of its points, as the plot has no more
// pixels than that.
inline constexpr long long Map_Side_Limit = 800;

// The diverging scale of the map: LE = -limit blue, 0 white, +limit red, and white for
// |LE| <= band, from where the colour grows towards either end.
QRgb Exponent_Colour(double LE, double limit, double band);
