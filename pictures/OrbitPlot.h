#pragma once

#include <memory>

#include "PlotData.h"
#include "PlotParts.h"

// The orbit diagram, drawn with Qt Charts off screen (a PlotApplication must exist): every
// local maximum of one population after the transient, a dot against the parameter value of
// its run; the few as dots of a series, the many (millions) as an image of how many fall in
// each pixel. Throws LvError: Invalid argument for pairs of unequal length, Out of memory.
std::unique_ptr<PlotFigure> Orbit_Plot(const OrbitPlotData& data);
