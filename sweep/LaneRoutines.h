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

// The routine for n species: small counts have one compiled for their count.
template <int Width, bool Pair, int Native, bool LaneMatrix>
LaneRoutine routineFor(int n) {
    switch (n) {
        case 2:
            return &laneSteps<Width, Pair, Native, LaneMatrix, 2>;
        case 3:
            return &laneSteps<Width, Pair, Native, LaneMatrix, 3>;
        case 4:
            return &laneSteps<Width, Pair, Native, LaneMatrix, 4>;
        case 5:
            return &laneSteps<Width, Pair, Native, LaneMatrix, 5>;
        case 6:
            return &laneSteps<Width, Pair, Native, LaneMatrix, 6>;
        case 7:
            return &laneSteps<Width, Pair, Native, LaneMatrix, 7>;
        case 8:
            return &laneSteps<Width, Pair, Native, LaneMatrix, 8>;
        default:
            return &laneSteps<Width, Pair, Native, LaneMatrix, 0>;
    }
}

// The routine for n species in vectors of Width lanes of an instruction set whose widest
// vector has Native, in pairs when the build's lanes are twice Width.
template <int Width, int Native>
LaneRoutine routineOf(int lanes, int n, bool laneMatrix) {
    if (lanes == 2 * Width)
        return laneMatrix ? routineFor<Width, true, Native, true>(n)
                          : routineFor<Width, true, Native, false>(n);
    return laneMatrix ? routineFor<Width, false, Native, true>(n)
                      : routineFor<Width, false, Native, false>(n);
}

}  // namespace
