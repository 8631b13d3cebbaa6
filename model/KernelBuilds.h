#pragma once

#include <vector>

#include "ModelKernel.h"

// The step routines of one build, an instruction set and a lane width: one for any count and
// one of its own for each small count, the most common, compiled for that count.
inline constexpr int KernelSmallCount = 12;

struct KernelBuild {
    const char* name;  // instruction set / lanes
    KernelRoutine general;
    const KernelRoutine* small;  // by count, 1 to KernelSmallCount

    KernelRoutine routine(int n) const {
        const unsigned count = static_cast<unsigned>(n);
        return count - 1 < static_cast<unsigned>(KernelSmallCount) ? small[count] : general;
    }
};

// The builds this processor runs, widest first.
const std::vector<KernelBuild>& Kernel_Builds();
