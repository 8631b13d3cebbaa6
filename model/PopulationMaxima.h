#pragma once

#include <cstddef>
#include <vector>

#include "StepAnalysis.h"

// The local maxima of one population x(K) after a transient, for orbit diagrams. The values
// are the populations at the ends of the steps (the start populations before the first):
// a step's value is a maximum when it is above the one before and not below the one after.
// A plateau therefore counts once, at its first step, whether the values fall or rise again
// after it; the last step of a run, with no value after it, never counts. A maximum counts
// when its step ends after model time `discard`; the first `cap` are kept, with the model
// times of their steps, and all are counted.
class PopulationMaxima : public StepAnalysis {
  public:
    PopulationMaxima(int species, double discard, std::size_t cap);

    // A species beyond the model's count is a subscript-out-of-range error.
    void Start(const Model& model) override;
    void Step(const StepView& step) override;

    const std::vector<double>& Values() const { return values_; }
    const std::vector<double>& Times() const { return times_; }
    long long Found() const { return found_; }  // kept or not

  private:
    int species_;
    double discard_;
    std::size_t cap_;
    std::vector<double> values_, times_;
    long long found_ = 0;
    // The two latest values; the one before them is only needed as "rose": whether the
    // latest value is above the one before it.
    double latest_ = 0, latestTime_ = 0;
    bool rose_ = false;
};
