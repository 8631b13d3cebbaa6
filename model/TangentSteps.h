#pragma once

#include <vector>

#include "Model.h"
#include "ModelKernel.h"

// The arithmetic of the Lyapunov spectrum, vectorised across the rows k of the model as the
// kernel is: the Euler map's Jacobian at a step's start populations applied to the tangent
// vectors, the logarithm-free part of its determinant, and the re-orthonormalisation of the
// vectors. Every build gives the same bits.

inline constexpr int SpectrumLanes = KernelLanes;
// Up to this many species, the determinants of BatchSteps steps are taken together, one step
// in each lane of a vector: taken one at a time, each pivot's division waits for the one
// before, and with few rows that chain, not the arithmetic, sets the time.
inline constexpr int BatchSpecies = 12, BatchSteps = 4;
// Up to this many species, the tangent routine has a build of its own for the count.
inline constexpr int SpectrumSmallCount = 12;

struct alignas(64) SpectrumState {
    // aT[j][k] = a(k, j), so that a block of rows k is contiguous; as r, zero beyond row n.
    double aT[MaxSpecies][SpectrumLanes];
    double r[SpectrumLanes];
    // Tangent vector i in v[i], its component k in lane k; zero beyond row n.
    double v[MaxSpecies][SpectrumLanes];
    // Room for the Jacobian's columns while its determinant is taken.
    double scratch[MaxSpecies][SpectrumLanes];
    // The Jacobians of steps whose determinant waits: entry (k, p) of slot i in
    // batch[k][p][i], for slots 0 to batched - 1.
    alignas(32) double batch[BatchSpecies][BatchSpecies][BatchSteps];
    int batched;
    int n;  // species
};

// What the Jacobian of one step left: |det J| (0 after a clamp, whose row of J is zero; 1
// when not asked for, or when the step's J went to the batch) and the rows the step clamped.
struct TangentStep {
    double absDet;
    int clampedRows;
};

// One Euler step of the tangent vectors 0 to live - 1 from the start-of-step populations x:
// S(k) = sum over j = 0, 1, ... of a(k, j) * x(j); the Euler update and its clamp decision,
// exactly the run's; then, with d = r * (1 - S) and c = r * x,
// v(k) = dt * (d(k) * v(k) - c(k) * P(k)) + v(k), P(k) = sum over j in order of a(k, j) * v(j),
// and v(k) = 0 where row k clamped. With `det`, also |det J| of
// J(k, j) = dt * (delta(k, j) * d(k) - c(k) * a(k, j)) + delta(k, j), by elimination with
// partial pivoting, or, up to BatchSpecies species, J put in the batch for later.
using TangentRoutine = TangentStep (*)(SpectrumState& s, const double* x, double dt, int live,
                                       bool det);

// Modified Gram-Schmidt on vectors 0 to live - 1, in order: each loses its projections on
// those before it, then is divided by its length, which goes to norms[i]. Stops at the first
// vector whose length is 0 or not finite (it lies in the span of those before it, or the
// vectors overflowed), leaving it and those after it as they are; returns how many it made
// orthonormal. The dot products over the rows add eight partial sums in a fixed order, so
// that every lane width gives the same bits.
using OrthonormaliseRoutine = int (*)(SpectrumState& s, int live, double* norms);

// |det J| of the batch's slots 0 to batched - 1 into absDets[0 ...], the same bits in every
// build; the batch is left to the caller to empty.
using DeterminantsRoutine = void (*)(const SpectrumState& s, double* absDets);

struct SpectrumBuild {
    const char* name;  // instruction set / lanes
    TangentRoutine general;
    const TangentRoutine* small;  // by count, 1 to SpectrumSmallCount
    OrthonormaliseRoutine orthonormalise;
    DeterminantsRoutine determinants;

    TangentRoutine tangent(int n) const {
        const unsigned count = static_cast<unsigned>(n);
        return count - 1 < static_cast<unsigned>(SpectrumSmallCount) ? small[count] : general;
    }
};

// The builds this processor runs, widest first; the spectrum uses the first unless told
// otherwise. (AVX-512 in four lanes: on processors that split a 512-bit operation in two it
// is as fast as eight, and its 32 registers hold more sums than AVX2's 16.)
const std::vector<SpectrumBuild>& Spectrum_Builds();
