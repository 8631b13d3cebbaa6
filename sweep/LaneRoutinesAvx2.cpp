// The lanes in AVX2 (compiled with -mavx2): four lanes a vector, alone or in pairs.
#include "LaneRoutines.h"

LaneRoutine Lane_Routine_Avx2(int vector, int lanes, int n, bool laneMatrix) {
    (void)vector;
    return lanes == 8 ? routineOf<4, true, 4>(n, laneMatrix)
                      : routineOf<4, false, 4>(n, laneMatrix);
}
