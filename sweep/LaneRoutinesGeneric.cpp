// The lanes in SSE2, which every x86-64 processor has, or the machine's own vectors.
#include "LaneRoutines.h"

LaneRoutine Lane_Routine_Generic(int width, int n, bool laneMatrix) {
    (void)width;
    return routineOf<2, 2>(n, laneMatrix);
}
