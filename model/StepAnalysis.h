#pragma once

#include <span>

#include "Model.h"

// What one complete step of a run leaves for an analysis: the populations at its start and at
// its end, and the model that made it. The spans hold rows 0 to N - 1 and stay valid only
// during the call.
struct StepView {
    long long step;                // its number, from 1
    double t;                      // model time covered after it: the running sum of dt
    double dt;                     // its time step
    std::span<const double> xOld;  // populations at its start
    std::span<const double> xNew;  // populations at its end, after the clamp
    const Model& model;            // rates and matrix (its populations are not kept current)
};

// An estimate the run feeds step by step (an exponent, a spectrum, the maxima of a
// population), beside the run's own twin-trajectory exponent. It sees only complete steps: a
// step that fails never reaches it. The run never asks it anything; its owner reads the
// result after the run.
class StepAnalysis {
  public:
    virtual ~StepAnalysis() = default;
    // Before the first step, from the model's start populations.
    virtual void Start(const Model& model) = 0;
    virtual void Step(const StepView& step) = 0;
};
