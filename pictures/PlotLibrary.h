#pragma once

#include <string>

#include "PlotData.h"

// What the plot library offers its loader: one entry, "Lv_Plot_Library", giving this table.
// A drawing fills `bytes` with the PNG file and returns true, or returns false with the error
// kind (an ErrorKind's value) and the message; nothing is thrown across the boundary.
struct PlotLibrary {
    int version;
    bool (*history)(const HistoryPlotData& data, const char* program, std::string& bytes, int& kind,
                    std::string& message);
    bool (*sweep)(const SweepPlotData& data, const char* program, std::string& bytes, int& kind,
                  std::string& message);
};

inline constexpr int PlotLibraryVersion = 1;
inline constexpr const char* PlotLibraryEntry = "Lv_Plot_Library";
inline constexpr const char* PlotLibraryFile = "lv-plots.so";
