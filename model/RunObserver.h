#pragma once

#include <cstdint>
#include <span>

#include "Model.h"

// What a run shows at a chart column (every PlotInterval + 1 steps): the step just done, the
// model time covered, the populations after it, and the exponent so far. The run's model
// holds the same populations in its table while an observer is called.
struct RunSnapshot {
    long long step;             // steps done, from 1
    double t;                   // model time covered: the running sum of dt over those steps
    std::span<const double> x;  // populations of rows 0 to N - 1
    double LE;                  // the mean exponent so far; NaN unless an observer asked
};

// Sees a run from its start to its end: the strip chart, a history, the window's pacing. It
// is called on the run's thread; what it throws ends the run, with the populations of the
// last complete step in the model.
class RunObserver {
  public:
    virtual ~RunObserver() = default;
    // Before the first step.
    virtual void Run_Starts(const Model& model) { (void)model; }
    // After every PlotInterval + 1 steps, the step's column.
    virtual void Column(const RunSnapshot& now) = 0;
    // After the last step of a run that did not fail.
    virtual void Run_Ends(const RunSnapshot& last) { (void)last; }
    // Whether it reads the exponent so far: asked once, when the run starts, so that a run
    // nobody follows pays nothing for it.
    virtual bool Follows_Exponent() const { return false; }
};

// Lets a window's pending events run (Stop, repaints, the menu) between steps.
class EventPump {
  public:
    virtual ~EventPump() = default;
    // Called after a step, unless the steps after the last call are still quiet.
    virtual void Do_Events() = 0;
    // How many steps may follow a call before the next one: a pump that only acts every so
    // many steps says so, and the run leaves out the calls in between.
    virtual long long Quiet_Steps() { return 0; }
};
