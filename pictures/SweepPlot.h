#pragma once

#include <QImage>

#include "PlotData.h"

// The pictures of a sweep's exponents, drawn with Qt Charts off screen (a QApplication must
// exist): LE against the parameter for one varied parameter, a colour map of LE over the grid
// of two, and a histogram of LE for an ensemble over seeds alone.

// The picture for the data: the map for two names, the line for one, the histogram for
// none (seeds). Throws LvError (Out of memory) when the image cannot be had.
QImage Sweep_Plot(const SweepPlotData& data);

// The diverging scale of the map: LE = -limit blue, 0 white, +limit red.
QRgb Exponent_Colour(double LE, double limit);
