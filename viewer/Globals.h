#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "Model.h"
#include "Random.h"
#include "RunControl.h"

// The program's one model and the state of its runs, under the names the window's code knows
// them by. It starts all zero and nothing resets it between loads or runs: a reader
// overwrites only what it reads, a run leaves its last populations in the table. The window's
// thread alone uses it; the libraries below never see it, they are handed the model.

extern Model ProgramModel;
extern RunControl ProgramRun;

inline SpeciesTable& Species = ProgramModel.Species;
inline int16_t& Nanimals = ProgramModel.Nanimals;   // species in use
inline double& TotalTime = ProgramModel.TotalTime;  // model time of a run; 0 or less: continuous
inline double& dt = ProgramModel.dt;                // time step
// -1: stop the running model after its step. Atomic, so that any thread may ask.
inline std::atomic<int16_t>& StopRequested = ProgramRun.StopRequested;
extern int16_t PlotColumn;  // x of the next strip-chart column
extern double LE;           // mean Lyapunov exponent of the last run that ended

// Positions of the spaces of the row-style line split last (the row reader's own).
extern std::array<int16_t, 101> SpacePos;

// The generator the random initialisers draw from: reseeded from the timer before each use.
// A test puts its own in (nullptr puts the clock-seeded one back).
RandomSource& Random_Source();
void Set_Random_Source(RandomSource* source);
