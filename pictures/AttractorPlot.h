#pragma once

#include <memory>

#include "PlotData.h"
#include "PlotParts.h"

// A run's attractor seen from two populations, drawn with Qt Charts off screen (a
// PlotApplication must exist): the path of x(j) against x(i) as a line, and when the steps
// are too many for a line to show apart, how often the run passes each pixel; with a third
// population, each stretch or pixel coloured by its x(k) on a colour bar. Throws LvError:
// Invalid argument for series of unequal length, Out of memory.
std::unique_ptr<PlotFigure> Attractor_Plot(const AttractorPlotData& data);

// Steps up to which a path is drawn as a line (a series of its own without a third
// population, an image of coloured stretches with one); more are drawn as a density.
inline constexpr std::size_t Attractor_Series_Limit = 20000;
inline constexpr std::size_t Attractor_Path_Limit = 200000;
