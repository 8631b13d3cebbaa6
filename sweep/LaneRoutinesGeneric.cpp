// The lanes in SSE2, which every x86-64 processor has, or the machine's own vectors: a pair
// of two-lane vectors.
#include "LaneRoutines.h"

LaneRoutine Lane_Routine_Generic(int vector, int lanes, int n, bool laneMatrix) {
    (void)vector;
    (void)lanes;
    return routineOf<2, true, 2>(n, laneMatrix);
}
