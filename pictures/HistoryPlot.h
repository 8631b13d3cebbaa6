#pragma once

#include <QImage>
#include <string>
#include <vector>

// The exponent so far against the model time covered, for one run: whether it has settled.
// Drawn with Qt Charts off screen (a PlotApplication must exist).
struct HistoryPlotData {
    std::vector<double> t, LE;  // the exponent so far at those times, in order
    long long steps = 0;        // of the whole run
    std::string subject;        // the parameter file, for the title
};

// Throws LvError (Out of memory) when the image cannot be had.
QImage History_Plot(const HistoryPlotData& data);
