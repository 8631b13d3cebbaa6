// The lanes in SSE2, which every x86-64 processor has, or the machine's own vectors: two
// lanes a vector.
#include "LaneRoutines.h"

LaneRoutine Lane_Routine_Generic(int vector, int lanes, int n, bool laneMatrix) {
    (void)vector;
    return routineOf<2, 2>(lanes, n, laneMatrix);
}
