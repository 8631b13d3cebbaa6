#pragma once

#include <string>
#include <string_view>

#include "PlotData.h"

// The plots as the bytes of a PNG, SVG or PDF file. They are drawn with Qt Charts by a
// library of their own, lv-plots.so beside the program, loaded only when a plot is asked for:
// a run that draws none starts without the toolkit. `program` names the caller in the
// toolkit's own errors. Throws LvError: the library's failure (Out of memory when no thread
// or image can be had), or its absence.

// The format a file name asks for: ".svg" and ".pdf" (in any case) are those, anything else
// PNG.
PlotFormat Plot_Format_For(std::string_view path);

std::string History_Plot_File(const HistoryPlotData& data, PlotFormat format, const char* program);
std::string Sweep_Plot_File(const SweepPlotData& data, PlotFormat format, const char* program);
std::string Orbit_Plot_File(const OrbitPlotData& data, PlotFormat format, const char* program);
std::string Attractor_Plot_File(const AttractorPlotData& data, PlotFormat format,
                                const char* program);

inline std::string History_Plot_Png(const HistoryPlotData& data, const char* program) {
    return History_Plot_File(data, PlotFormat::Png, program);
}
inline std::string Sweep_Plot_Png(const SweepPlotData& data, const char* program) {
    return Sweep_Plot_File(data, PlotFormat::Png, program);
}
