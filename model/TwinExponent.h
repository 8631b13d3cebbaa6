#pragma once

#include "Model.h"
#include "StepAnalysis.h"

// The run's own exponent, by the twin trajectory 1e-12 away, as a plain analysis: the form of
// what the kernel computes fused into its step, where the fusion is what makes it fast. It
// carries its own perturbed copy and takes each step's start populations from the run, so
// that its exponent is the run's bit for bit; the tests hold the kernel to it.
class TwinExponent : public StepAnalysis {
  public:
    void Start(const Model& model) override;
    void Step(const StepView& step) override;

    double LE() const { return LESum_ / static_cast<double>(steps_); }
    long long Steps() const { return steps_; }

  private:
    SpeciesTable table_;  // rates and matrix; x holds the step's main trajectory
    double Xe_[MaxSpecies] = {};
    double d0_ = 0;
    double LESum_ = 0;
    long long steps_ = 0;
};
