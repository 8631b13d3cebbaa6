#pragma once

#include <string>

#include "PlotData.h"

// The plots as PNG bytes. They are drawn with Qt Charts by a library of their own,
// lv-plots.so beside the program, loaded only when a plot is asked for: a run that draws none
// starts without the toolkit. `program` names the caller in the toolkit's own errors. Throws
// LvError: the library's failure (Out of memory when no thread or image can be had), or its
// absence.
std::string History_Plot_Png(const HistoryPlotData& data, const char* program);
std::string Sweep_Plot_Png(const SweepPlotData& data, const char* program);
