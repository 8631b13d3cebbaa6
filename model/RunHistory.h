#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "RunObserver.h"
#include "SaveFile.h"

// The history of a run, for a researcher who asks whether its exponent has settled: a CSV
// row at every chart column, or every `every`-th (the step, the model time covered, the
// exponent so far and the populations of rows 0 to n - 1), and one for the last step if it
// has none, numbers as the shortest text that reads back to them, lines ending CRLF; and the
// exponent against t at every column for a plot, thinned to a few thousand points on long
// runs. It follows a run as one of its observers.
class RunHistory : public RunObserver {
  public:
    // `csvPath`: where the CSV goes, opened now, so that a name that cannot be written fails
    // before the run; "-" is standard output, written as the run goes; none for a plot alone.
    RunHistory(const std::optional<std::string>& csvPath, int n, long long every = 1);

    void Column(const RunSnapshot& now) override;
    void Run_Ends(const RunSnapshot& last) override {
        Last_Step(last.step, last.t, last.LE, last.x);
    }
    bool Follows_Exponent() const override { return true; }

    void Row(long long step, double t, double LE, std::span<const double> x);
    // The run's end: its last step, unless that step has its row already.
    void Last_Step(long long step, double t, double LE, std::span<const double> x);
    // Writes the file whole; without this nothing of it is written. A run that failed has
    // its rows up to the failure.
    void Commit();

    const std::vector<double>& Times() const { return times_; }
    const std::vector<double>& Exponents() const { return exponents_; }

  private:
    void write(const std::string& text);
    void keepPoint(double t, double LE);

    std::optional<SaveFile> file_;
    bool toOutput_ = false;
    int n_;
    long long every_, columns_ = 0;
    long long lastStep_ = 0;
    // The plot's points: every stride_-th row, and the last.
    std::vector<double> times_, exponents_;
    long long rows_ = 0, stride_ = 1;
    bool lastKept_ = false;  // the newest row is among the plot's points
};
