// The lanes in AVX-512 (compiled with -mavx512f -mavx512vl -mavx512dq): eight lanes a vector,
// sixteen in pairs of them, or four in the 256-bit registers with the 32 registers of
// AVX-512.
#include "LaneRoutines.h"

LaneRoutine Lane_Routine_Avx512(int width, int n, bool laneMatrix) {
    switch (width) {
        case 4:
            return routineOf<4, 8>(n, laneMatrix);
        case 16:
            return routineOf<16, 8>(n, laneMatrix);
        default:
            return routineOf<8, 8>(n, laneMatrix);
    }
}
