// The lanes in AVX2 (compiled with -mavx2): four lanes a vector.
#include "LaneRoutines.h"

LaneRoutine Lane_Routine_Avx2(int vector, int lanes, int n, bool laneMatrix) {
    (void)vector;
    return routineOf<4, 4>(lanes, n, laneMatrix);
}
