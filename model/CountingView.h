#pragma once

#include <cstdint>
#include <optional>

#include "Globals.h"
#include "ModelView.h"

// The runners' side of the model run (lv-run, a sweep's point): no events to process, so
// Do_Events, which comes after every step, counts the steps and the model time they covered,
// and stops the run after `maxSteps` steps, as "Stop" pressed during that step would.
class CountingView : public ModelView {
  public:
    explicit CountingView(std::optional<long long> maxSteps) : maxSteps_(maxSteps) {}

    void Do_Events() override {
        ++steps_;
        time_ = dt + time_;  // the model time covered, summed as the run sums it
        if (maxSteps_ && steps_ >= *maxSteps_) StopRequested = -1;
    }

    long long Steps() const { return steps_; }
    double Time() const { return time_; }

  private:
    std::optional<long long> maxSteps_;
    long long steps_ = 0;
    double time_ = 0;
};
