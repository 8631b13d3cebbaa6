#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// What the plots are drawn from, with no toolkit in sight: the runners fill these, the plot
// library draws them.

// The file a plot is written as. Every kind is drawn the same in each.
enum class PlotFormat { Png, Svg, Pdf };

// The exponent so far against the model time covered, for one run: whether it has settled.
struct HistoryPlotData {
    std::vector<double> t, LE;  // the exponent so far at those times, in order
    long long steps = 0;        // of the whole run
    std::string subject;        // the parameter file, for the title
    bool logTime = false;       // t on a logarithmic axis, which spreads out the early run
};

// One point of a sweep as the plot sees it: its own values of the varied parameters, where
// they lie on the axes, and its exponent, none for a point that failed.
struct PlotPoint {
    double x = 0, y = 0;            // the values of the first and second varied parameter
    long long column = 0, row = 0;  // their indices on the axes (value i of FROM:TO:COUNT)
    std::optional<double> LE;
    bool clamped = false;  // a population hit the clamp at 1 in the run: its LE is suspect
};

// A varied parameter: COUNT values from FROM to TO. The plot reads only the spacing of the
// values from it, never every value.
struct PlotAxis {
    std::string name;
    double from = 0, to = 0;
    long long count = 1;
};

struct SweepPlotData {
    std::vector<PlotAxis> axes;  // 0 to 2
    long long seeds = 0;         // runs per grid point (0: no --seeds)
    std::optional<std::pair<uint32_t, uint32_t>> seedRange;
    std::string subject;            // the parameter file, for the title
    long long totalPoints = 0;      // of the whole sweep
    std::vector<PlotPoint> points;  // those that ran here (a shard: some)
    // Exponents within this of 0 are drawn as 0 (neither order nor chaos): the estimate of a
    // run on a limit cycle or a torus settles within a few 1e-5 of 0 once the run is long
    // (20,000 units of time for chaotic-4; after T units it strays by about 1 / T), while the
    // chaos of these systems is 1e-3 and more (chaotic-4: 0.015).
    double neutralBand = 1e-4;
};

// The orbit diagram of a one-parameter sweep: every local maximum of x(species) after the
// transient, against the parameter value of its run; millions of pairs are fine.
struct OrbitPlotData {
    std::string parameter;  // the varied parameter's name, for the axis
    int species = 0;
    std::vector<double> values, maxima;  // one pair a maximum: the run's value, the maximum
    double transient = 0;                // model time left out at the start of each run
    std::string subject;
};

// A run's attractor seen from two populations, x(i) across and x(j) up, after the
// transient; with a third, coloured by x(k).
struct AttractorPlotData {
    int i = 0, j = 1;
    std::optional<int> k;
    std::vector<double> xi, xj, xk;  // one entry a step kept; xk empty without k
    double transient = 0;            // model time left out at the start of the run
    std::string subject;
    long long steps = 0;  // the run's steps after the transient, when a long run was thinned
};
