#pragma once

#include <QImage>
#include <optional>
#include <string>
#include <vector>

// The pictures of a sweep's exponents, drawn with Qt Charts off screen (a QApplication must
// exist): LE against the parameter for one varied parameter, a colour map of LE over the grid
// of two, and a histogram of LE for an ensemble over seeds alone.

// One point as the plot sees it: where it lies on the axes (indices into the axes' values)
// and its exponent, none for a point that failed.
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

// The picture for the data: the map for two names, the line for one, the histogram for
// none (seeds). Throws LvError (Out of memory) when the image cannot be had.
QImage Sweep_Plot(const SweepPlotData& data);

// The diverging scale of the map: LE = -limit blue, 0 white, +limit red.
QRgb Exponent_Colour(double LE, double limit);
