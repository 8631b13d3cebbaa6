#pragma once

#include <string>
#include <vector>

#include "SweepParameter.h"

// One varied parameter and its values, from the option text:
//   NAME=FROM:TO:COUNT      COUNT values FROM + ((TO - FROM) * i) / (COUNT - 1), the last TO
//   NAME=FROM:TO:COUNT:log  COUNT values evenly spaced in the logarithm, FROM and TO above 0
//   NAME=V1,V2,...          the values listed, in their order
// (FROM alone when COUNT is 1).
struct SweepAxis {
    enum class Spacing { Linear, Log, List };
    SweepParameter parameter;
    Spacing spacing = Spacing::Linear;
    double from = 0;
    double to = 0;
    long long count = 1;
    std::vector<double> list;  // the values of a list

    // Throws SweepOptionError saying what is wrong with the text.
    static SweepAxis Parse(const std::string& text);

    // Value i. A range: (TO - FROM) * i, then / (COUNT - 1), then FROM +; the last is TO
    // itself. Log spacing: FROM * exp(ln(TO / FROM) * i / (COUNT - 1)) by the program's own
    // logarithm and exponential, so that every processor makes the same values; the first
    // is FROM and the last TO.
    double Value(long long i) const;

    // The option text that makes this axis, its numbers as the shortest texts that read back
    // to them: the same for every spelling of the same axis.
    std::string Definition() const;
};
