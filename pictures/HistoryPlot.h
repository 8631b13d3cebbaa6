#pragma once

#include <memory>

#include "PlotData.h"
#include "PlotParts.h"

// The exponent so far against the model time covered, on a linear or a logarithmic time
// axis, drawn with Qt Charts off screen (a PlotApplication must exist). Throws LvError:
// Invalid argument for a history without a point, Out of memory.
std::unique_ptr<PlotFigure> History_Plot(const HistoryPlotData& data);
