#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "SaveFile.h"

// The history of a run, for a researcher who asks whether its exponent has settled: a CSV
// row at every chart column (the step, the model time covered, the exponent so far and the
// populations of rows 0 to n - 1) and one for the last step if it drew none, with 17
// significant digits and '.'; and the exponent against t for a plot, thinned to a few
// thousand points on long runs.
class RunHistory {
  public:
    // `csvPath`: where the CSV goes, opened now, so that a name that cannot be written fails
    // before the run; none for a plot alone.
    RunHistory(const std::optional<std::string>& csvPath, int n);

    void Row(long long step, double t, double LE);
    // The run's end: its last step, unless that step has its row already.
    void Last_Step(long long step, double t, double LE);
    // Writes the CSV whole. Without this (a run that failed) nothing is written.
    void Commit();

    const std::vector<double>& Times() const { return times_; }
    const std::vector<double>& Exponents() const { return exponents_; }

  private:
    std::optional<SaveFile> file_;
    int n_;
    long long lastStep_ = 0;
    // The plot's points: every stride_-th row, and the last.
    std::vector<double> times_, exponents_;
    long long rows_ = 0, stride_ = 1;
    bool lastKept_ = false;  // the newest row is among the plot's points
};
