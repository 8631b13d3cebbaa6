#pragma once

#include <optional>
#include <string>
#include <vector>

#include "SweepExecutor.h"
#include "SweepRun.h"

// A sweep's points run many at a time in the lanes of the vector unit, each lane one system
// doing the single run's arithmetic in its order, so that every point's result is the one
// SweepRun::Run gives it, bit for bit. A point whose system clamps a population (the single
// run counts the clamps), might fail or draw a chart row out of range (an infinity or NaN on
// the way, a population far below 0), or whose settings need what only the single run checks,
// is run again alone through SweepRun::Run from the start; its lane takes the next point. Points
// with other time steps, run times and step counts share the lanes: a lane that ends takes the next
// point of the batch.
//
// The lanes come in builds by instruction set and vector width, one vector or a pair of them
// ("avx512f/8x2", "avx512f/8", "avx512f/4", "avx2/4x2", "avx2/4", "generic/2x2"). For
// each species count the fastest on this processor is measured at first use (Lane_Build_For);
// LV_SWEEP_LANES=name in the environment forces one, and LV_SWEEP_LANES=single runs every
// point alone.
inline constexpr const char* LaneBuildVariable = "LV_SWEEP_LANES";

// The names of the builds this processor runs, widest first, and "single".
std::vector<std::string> Lane_Build_Names();

// The runner for the points of `run`: lanes of the build `name` (default: the environment's,
// else the fastest for the species count), or one point after the other for "single" and for
// species counts the lanes do not take (below 2 or above 51). A name that is not among
// Lane_Build_Names() is an invalid-argument error. On the calling thread before the workers
// start: the first call for a species count times the builds.
BatchRunner Lane_Runner(const SweepRun& run, const std::optional<std::string>& name = {});
