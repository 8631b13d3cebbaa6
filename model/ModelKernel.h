#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Model.h"

// The arithmetic core of one model step, vectorised across the rows k of the interaction
// matrix. Every lane k performs exactly the operations of the plain row-by-row loop, in the
// same order (the sum over j runs j = 0, 1, ... for each k), so the results are the same bit
// for bit whatever vector width or instruction set is used.

// 51 rows rounded up to whole blocks of eight lanes (and so of four and two).
inline constexpr int KernelLanes = 56;

struct alignas(64) KernelState {
    // aT[j][k] = a(k, j): the transposed matrix, so that a block of rows k is contiguous.
    // Lanes k >= n and rows j >= n are zero, as are r, x and xe of lanes k >= n, so the
    // padding computes 0 from 0 and raises no floating-point flag.
    double aT[MaxSpecies][KernelLanes];
    double r[KernelLanes];
    double x[2][KernelLanes];   // main trajectory: [from] start of step, [1 - from] new
    double xe[2][KernelLanes];  // perturbed trajectory, same pairing
    // The sums over j of the main trajectory's start-of-step populations, when `sumsReady`:
    // a routine may take them for the next step at the end of this one. A step done again
    // (or with other rows loaded) must have them made afresh.
    double S[KernelLanes];
    bool sumsReady;
    int from;  // which half of x and xe holds the start-of-step values
    int n;     // rows in use; -1 until the first step loads them
    // Populations set back to 0.9999999 so far: each step adds its clamped rows.
    long long clamps;
};

// What a step leaves for the exponent: the distance of the two trajectories, whether the
// perturbed one was pulled back (not with dt = 0 or Dist = 0, where the exponent fails), and
// whether SumSq and the pulled-back populations are all finite.
struct KernelStep {
    double Dist;
    bool renormalised;
    bool finite;
};

// The step routine for n rows, taken once for many steps of the same count. A step is the
// loop over the species for rows 0 to n - 1 of s: the start-of-step sums, the Euler updates
// of both trajectories, the clamp, and the sum of the squared differences taken before the
// clamp, in row order; then Dist = SumSq^0.5 and, unless dt or Dist is 0, the perturbed
// populations pulled back to the distance d0 of the clamped main ones,
// xe = ((xe - x) * d0) / Dist + x. It reads x[from] and xe[from] and writes x[1 - from] and
// xe[1 - from]; x[from] keeps the old populations, for a step that fails. The table is left
// to the caller, its clamped rows are added to s.clamps. It raises the floating-point flags of
// exactly these operations.
using KernelRoutine = KernelStep (*)(KernelState&, double, double);
KernelRoutine Kernel_Routine(int n);

// The routine comes in several builds, an instruction set and a lane width each, some also
// in a form that takes the next step's main sums ahead ("avx512f/8", "avx512f/8-ahead",
// "avx512f/4", "avx512f/4-ahead", "avx2/4", "generic/2"); all give the same results bit for
// bit, and which is the fastest depends on the processor and the count. The first request
// for a count times every build this processor runs, a few hundred steps each on a scratch
// state, and keeps the fastest for the rest of the program. LV_KERNEL_ROUTINE=name in the
// environment forces one build for every count; a name this processor has no build of is an
// error of the first run.
inline constexpr const char* KernelRoutineVariable = "LV_KERNEL_ROUTINE";

// The routine for n rows if the choice for that count is made (forced or timed), else
// nullptr: a run too short to gain from the timing uses Kernel_Provisional_Routine meanwhile.
KernelRoutine Kernel_Routine_If_Chosen(int n);
// A build that is usually among the fastest, taken without timing.
KernelRoutine Kernel_Provisional_Routine(int n);
// How many steps a run makes with the provisional routine before it has the builds timed:
// the timing costs a few hundred steps of each build, which a run this long repays.
inline constexpr long long KernelProvisionalSteps = 20000;

// The build in use for n rows (chosen now if it was not yet).
const char* Kernel_Routine_Name(int n);
// The builds this processor runs, widest first.
std::vector<const char*> Kernel_Routine_Names();
// Forces the build of that name for every count, or, with nullopt, leaves the choice to the
// environment variable and to new measurements. A name not among Kernel_Routine_Names() is
// an invalid-argument error, and nothing changes.
void Force_Kernel_Routine(const std::optional<std::string>& name);
