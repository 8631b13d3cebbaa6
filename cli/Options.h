#pragma once

// The command line of lv-run: the options it shares with lv-sweep, and its own.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "RunAnalyses.h"
#include "RunOptions.h"

extern const char* const Usage;

struct Options {
    RunOptions run;
    std::string file;
    bool random = false;
    std::optional<uint32_t> seed;
    int width = 700;
    int height = 250;
    std::optional<std::string> image;
    std::optional<std::string> history;
    long long historyEvery = 1;
    std::optional<std::string> historyPlot;
    bool historyLogTime = false;
    std::optional<std::string> phasePlot;
    std::vector<int> phase = {0, 1};  // x(I), x(J) and perhaps x(K) of the phase plot
    bool phaseGiven = false;
    bool json = false;
    AnalysisOptions analyses;
    bool help = false;
};

// Widest and tallest chart a run can draw: the column after the last (the one that wraps)
// and the row below the lowest must still be 16-bit coordinates.
inline constexpr int MaxChartSide = 32766;

// "I,J" or "I,J,K": two or three different rows; throws UsageError.
std::vector<int> Phase_Rows(const std::string& text);

// Reads the options (CLI11); throws UsageError. "--" ends the options, so that a file whose
// name starts with "-" can be given; FILE "-" is standard input.
Options Parse_Options(int argc, char** argv);
