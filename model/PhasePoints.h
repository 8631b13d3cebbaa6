#pragma once

#include <cstddef>
#include <vector>

#include "StepAnalysis.h"

// The attractor's projection: the populations x(I), x(J) and, when asked, x(K) at the end of
// every step after the discard, for a picture of the attractor. A long run is thinned as it
// goes: when a point more than `cap` is kept, every other one goes and from then on only
// every other step is kept, so the points stay spread over the whole run and never exceed
// `cap`.
class PhasePoints : public StepAnalysis {
  public:
    // K < 0: no third population. An index beyond the model's count is an error at Start.
    PhasePoints(int I, int J, int K, double discard, std::size_t cap);

    void Start(const Model& model) override;
    void Step(const StepView& step) override;

    const std::vector<double>& X() const { return x_; }
    const std::vector<double>& Y() const { return y_; }
    const std::vector<double>& Z() const { return z_; }  // empty without K
    long long Steps_Seen() const { return seen_; }       // after the discard, kept or not

  private:
    int I_, J_, K_;
    double discard_;
    std::size_t cap_;
    long long seen_ = 0, stride_ = 1;
    std::vector<double> x_, y_, z_;
};
