// The lanes in AVX2 (compiled with -mavx2): four lanes a vector, or eight in pairs of them.
#include "LaneRoutines.h"

LaneRoutine Lane_Routine_Avx2(int width, int n, bool laneMatrix) {
    return width == 8 ? routineOf<8, 4>(n, laneMatrix) : routineOf<4, 4>(n, laneMatrix);
}
