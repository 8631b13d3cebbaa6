// The lanes in AVX-512 (compiled with -mavx512f -mavx512vl -mavx512dq): eight lanes a
// vector, alone or in pairs, or four in the 256-bit registers, with the 32 registers of
// AVX-512.
#include "LaneRoutines.h"

LaneRoutine Lane_Routine_Avx512(int vector, int lanes, int n, bool laneMatrix) {
    if (vector == 4) return routineOf<4, false, 8>(n, laneMatrix);
    return lanes == 16 ? routineOf<8, true, 8>(n, laneMatrix)
                       : routineOf<8, false, 8>(n, laneMatrix);
}
