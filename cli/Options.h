#pragma once

// The command line of lv-run.

#include <cstdint>
#include <optional>
#include <string>

extern const char* const Usage;

// A command line that cannot run: exit status 2, with the usage text.
struct UsageError {
    std::string message;
};

struct Options {
    std::string file;
    std::optional<bool> datStyle;
    std::optional<std::string> time;
    bool continuous = false;
    std::optional<int64_t> steps;
    bool random = false;
    std::optional<uint32_t> seed;
    std::string windowTime = "210";
    int width = 700;
    int height = 250;
    std::optional<std::string> image;
    bool json = false;
    bool help = false;
};

// Widest and tallest chart a run can draw: the column after the last (the one that wraps)
// and the row below the lowest must still be 16-bit coordinates.
inline constexpr int MaxChartSide = 32766;

// Reads the options; FILE's style defaults to its extension. "--" ends the options, so that
// a file whose name starts with "-" can be given; FILE "-" is standard input.
Options Parse_Options(int argc, char** argv);
