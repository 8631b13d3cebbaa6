#pragma once

#include <vector>

#include "LaneState.h"

// The steps of many systems side by side come in several builds, an instruction set and a
// lane width each; all give every lane the single run's results bit for bit.

// Up to `steps` steps of every lane of s; stops early after a step that ended a lane's run
// time or marked a lane bad (to be run again alone). Returns the steps made.
using LaneRoutine = long long (*)(LaneState& s, long long steps);

struct LaneBuild {
    const char* name;  // instruction set / lanes a vector, "x2" for a pair of vectors
    int vector;        // lanes a vector
    int width;         // lanes in all: one vector or a pair
    // The routine for n species (2 to 51) in vectors of `vector` lanes, `lanes` in all, with a
    // matrix per lane or one for all.
    LaneRoutine (*routines)(int vector, int lanes, int n, bool laneMatrix);

    LaneRoutine routine(int n, bool laneMatrix) const {
        return routines(vector, width, n, laneMatrix);
    }
};

// The builds this processor runs, widest first.
const std::vector<LaneBuild>& Lane_Builds();

// The fastest build on this processor for n species and that kind of matrix: the first
// request times every build a few hundred steps on scratch systems (a few milliseconds at 51
// species) and keeps the fastest for the rest of the program. Which one it is changes no
// result. Not to be raced: ask on one thread before others run.
const LaneBuild& Lane_Build_For(int n, bool laneMatrix);

// The routines of each instruction set (LaneRoutines*.cpp).
LaneRoutine Lane_Routine_Generic(int vector, int lanes, int n, bool laneMatrix);
LaneRoutine Lane_Routine_Avx2(int vector, int lanes, int n, bool laneMatrix);
LaneRoutine Lane_Routine_Avx512(int vector, int lanes, int n, bool laneMatrix);
