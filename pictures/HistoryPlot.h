#pragma once

#include <QImage>

#include "PlotData.h"

// The exponent so far against the model time covered, drawn with Qt Charts off screen (a
// PlotApplication must exist). Throws LvError (Out of memory) when the image cannot be had.
QImage History_Plot(const HistoryPlotData& data);
