#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Model.h"
#include "RunControl.h"
#include "RunObserver.h"
#include "StepAnalysis.h"

// How a run goes besides the model: the steps between chart columns, less one, and a limit
// on the steps (the runners' --steps, as if Stop were pressed during the last).
struct RunSettings {
    int16_t PlotInterval = 0;
    std::optional<long long> maxSteps;
    // Model time left out of the exponent's mean: the steps that end at or before it add no
    // term, and the mean is over the steps after. 0 leaves nothing out.
    double discard = 0;
};

// Who watches a run: observers at its start, its chart columns and its end, the window's
// event processing between steps, and analyses fed every step. The caller owns them all.
struct RunWatchers {
    std::vector<RunObserver*> observers;
    EventPump* events = nullptr;
    std::vector<StepAnalysis*> analyses;
};

// What a run that did not fail comes back with.
struct RunResult {
    double LE = 0;         // the mean exponent over every step (after the discard)
    long long steps = 0;   // steps made
    double t = 0;          // model time covered: the running sum of dt over the steps
    long long clamps = 0;  // populations set back to 0.9999999, over every step
};

// Integrates the competition model for species 0 to Nanimals - 1 of `model` with Euler steps
// of `model.dt`, carrying a twin trajectory 1e-12 away to estimate the largest Lyapunov
// exponent. Ends when the running sum of dt reaches model.TotalTime (never, when it is 0 or
// less), when `control` asks to stop, or after settings.maxSteps steps. The populations go on
// in the model's table: after the run, or a failure, it holds those of the last complete
// step. The count, the time step and the run time are read afresh at every step, so that a
// change made by an observer or an event takes effect at once, as in the window.
//
// A failure (overflow, invalid argument, ...) is thrown as LvError naming the step.
//
// The model, the control and the watchers belong to the caller; nothing else is read, so
// runs of different models may go on at once on different threads.
RunResult Run_Model(Model& model, const RunSettings& settings, RunControl& control,
                    const RunWatchers& watchers = {});

// The caption for an exponent: "LE = 0.123457\r\n\r\n".
std::string Info_Caption(double le);
