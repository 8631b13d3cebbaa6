// The lanes in AVX-512 (compiled with -mavx512f -mavx512vl -mavx512dq): eight lanes a
// vector, or four in the 256-bit registers, with the 32 registers of AVX-512.
#include "LaneRoutines.h"

LaneRoutine Lane_Routine_Avx512(int vector, int lanes, int n, bool laneMatrix) {
    return vector == 8 ? routineOf<8, 8>(lanes, n, laneMatrix)
                       : routineOf<4, 8>(lanes, n, laneMatrix);
}
