// The lanes in AVX2 (compiled with -mavx2): four lanes a vector.
#include "LaneRoutines.h"

LaneRoutine Lane_Routine_Avx2(int width, int n, bool laneMatrix) {
    (void)width;
    return routineOf<4, 4>(n, laneMatrix);
}
