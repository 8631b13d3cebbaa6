#pragma once

// The lane routines of one instruction set: included by one source file per instruction set,
// which the build compiles for that set (-mavx2, -mavx512f ...). Compiled so, the vector
// operations of the lane steps become that set's instructions throughout; inlined into a
// function that only carries a target attribute they would partly be taken apart lane by
// lane. Everything here has internal linkage, so that no routine of one instruction set can
// stand in for another's.

#include <type_traits>

#include "LaneBuilds.h"
#include "LaneSteps.h"
#include "LaneVector.h"

namespace {

// A vector of Width lanes, or a pair of them.
template <int Width, bool Pair>
using LaneDoubles = std::conditional_t<Pair, Lane_Pair<typename Lane_Vector<Width>::V>,
                                       typename Lane_Vector<Width>::V>;

template <int Width, bool Pair, int Native, bool LaneMatrix, int J>
long long laneSteps(LaneState& s, long long count) {
    return Lane_Steps<LaneDoubles<Width, Pair>, Native, LaneMatrix, J>(s, count);
}

// The routine for n species: with the matrix shared, small counts have one compiled for
// their count; a matrix per lane, which sweeps of its entries alone need, takes the general
// one.
template <int Width, bool Pair, int Native>
LaneRoutine routineOf(int n, bool laneMatrix) {
    if (laneMatrix) return &laneSteps<Width, Pair, Native, true, 0>;
#ifdef LV_LANES_GENERAL_ONLY
    // The sanitizer build compiles the general routine alone: the others are the same code
    // with the count fixed, and each would cost minutes of instrumented compiling.
    n = 0;
#endif
    switch (n) {
        case 2:
            return &laneSteps<Width, Pair, Native, false, 2>;
        case 3:
            return &laneSteps<Width, Pair, Native, false, 3>;
        case 4:
            return &laneSteps<Width, Pair, Native, false, 4>;
        case 5:
            return &laneSteps<Width, Pair, Native, false, 5>;
        case 6:
            return &laneSteps<Width, Pair, Native, false, 6>;
        case 7:
            return &laneSteps<Width, Pair, Native, false, 7>;
        case 8:
            return &laneSteps<Width, Pair, Native, false, 8>;
        default:
            return &laneSteps<Width, Pair, Native, false, 0>;
    }
}

}  // namespace
