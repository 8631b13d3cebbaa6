#pragma once

#include <string>

#include "PlotData.h"

// What the plot library offers its loader: one entry, "Lv_Plot_Library", giving this table.
// A drawing fills `bytes` with the file in `format` (a PlotFormat's value) and returns true,
// or returns false with the error kind (an ErrorKind's value) and the message; nothing is
// thrown across the boundary.
template <class Data>
using PlotDrawing = bool (*)(const Data& data, int format, const char* program, std::string& bytes,
                             int& kind, std::string& message);

struct PlotLibrary {
    int version;
    PlotDrawing<HistoryPlotData> history;
    PlotDrawing<SweepPlotData> sweep;
    PlotDrawing<OrbitPlotData> orbit;
    PlotDrawing<AttractorPlotData> attractor;
};

inline constexpr int PlotLibraryVersion = 3;
inline constexpr const char* PlotLibraryEntry = "Lv_Plot_Library";
inline constexpr const char* PlotLibraryFile = "lv-plots.so";
