#pragma once

#include <string>

#include "SweepParameter.h"

// One varied parameter: COUNT values FROM + (TO - FROM) * i / (COUNT - 1), i = 0..COUNT-1
// (FROM alone when COUNT is 1), from the option text NAME=FROM:TO:COUNT.
struct SweepAxis {
    SweepParameter parameter;
    double from = 0;
    double to = 0;
    long long count = 1;

    // Throws SweepOptionError saying what is wrong with the text.
    static SweepAxis Parse(const std::string& text);

    // Value i, computed in this order: (TO - FROM) * i, then / (COUNT - 1), then FROM + .
    double Value(long long i) const;
};
