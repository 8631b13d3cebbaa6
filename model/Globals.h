#pragma once

#include <array>
#include <cstdint>

#include "Model.h"

// The state the whole program shares: the species table and the run settings. It starts all
// zero and nothing resets it between loads or runs; a reader overwrites only what it reads.
//
// Each thread has its own instance: the window's thread has the one the window works on, and
// each worker of a sweep runs its points on its own. `constinit` says there is nothing to
// set up at a thread's start, so a use costs one load more than a plain global and no call.

extern constinit thread_local SpeciesTable Species;
extern constinit thread_local int16_t Nanimals;       // species in use
extern constinit thread_local double TotalTime;       // model time of a run; 0 or less: continuous
extern constinit thread_local double dt;              // time step
extern constinit thread_local int16_t StopRequested;  // -1: stop the running model after its step
extern constinit thread_local int16_t PlotColumn;     // x of the next strip-chart column
extern constinit thread_local double LE;  // mean Lyapunov exponent of the last run that ended

// Positions of the spaces of the row-style line split last (the row reader's own).
extern constinit thread_local std::array<int16_t, 101> SpacePos;

