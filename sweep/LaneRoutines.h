#pragma once

// The lane routines of one instruction set: included by one source file per instruction set,
// which the build compiles for that set (-mavx2, -mavx512f ...). Compiled so, the vector
// operations of the lane steps become that set's instructions throughout; inlined into a
// function that only carries a target attribute they would partly be taken apart lane by
// lane. Everything here has internal linkage, so that no routine of one instruction set can
// stand in for another's.

#include "LaneBuilds.h"
#include "LaneSteps.h"
#include "LaneVector.h"

namespace {

// W lanes in vectors of V lanes.
template <int W, int Native, bool LaneMatrix, int J>
long long laneSteps(LaneState& s, long long count) {
    constexpr int V = W < Native ? W : Native;
    return Lane_Steps<typename Lane_Vector<V>::V, Native, LaneMatrix, J, W / V>(s, count);
}

// The routine for n species: small counts have one compiled for their count.
template <int W, int Native, bool LaneMatrix>
LaneRoutine routineFor(int n) {
    switch (n) {
        case 2:
            return &laneSteps<W, Native, LaneMatrix, 2>;
        case 3:
            return &laneSteps<W, Native, LaneMatrix, 3>;
        case 4:
            return &laneSteps<W, Native, LaneMatrix, 4>;
        case 5:
            return &laneSteps<W, Native, LaneMatrix, 5>;
        case 6:
            return &laneSteps<W, Native, LaneMatrix, 6>;
        case 7:
            return &laneSteps<W, Native, LaneMatrix, 7>;
        case 8:
            return &laneSteps<W, Native, LaneMatrix, 8>;
        default:
            return &laneSteps<W, Native, LaneMatrix, 0>;
    }
}

template <int W, int Native>
LaneRoutine routineOf(int n, bool laneMatrix) {
    return laneMatrix ? routineFor<W, Native, true>(n) : routineFor<W, Native, false>(n);
}

}  // namespace
