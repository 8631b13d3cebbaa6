#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// What the plots are drawn from, with no toolkit in sight: the runners fill these, the plot
// library draws them.

// The exponent so far against the model time covered, for one run: whether it has settled.
struct HistoryPlotData {
    std::vector<double> t, LE;  // the exponent so far at those times, in order
    long long steps = 0;        // of the whole run
    std::string subject;        // the parameter file, for the title
};

// One point of a sweep as the plot sees it: where it lies on the axes (indices into the axes'
// values) and its exponent, none for a point that failed.
struct PlotPoint {
    std::vector<long long> cell;  // one index per axis
    std::optional<double> LE;
};

struct SweepPlotData {
    std::vector<std::string> names;               // the varied parameters, 0 to 2
    std::vector<std::vector<double>> axisValues;  // each parameter's values, in order
    long long seeds = 0;                          // runs per grid point (0: no --seeds)
    std::optional<std::pair<uint32_t, uint32_t>> seedRange;
    std::string subject;            // the parameter file, for the title
    long long totalPoints = 0;      // of the whole sweep
    std::vector<PlotPoint> points;  // those that ran here (a shard: some)
};
