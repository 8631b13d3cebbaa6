#include "ModelKernel.h"

#include <cmath>
#include <cstring>

#include "KernelBuilds.h"
#include "LaneVector.h"
#include "StepArithmetic.h"

// One routine, written once over GCC vector extensions, is compiled for several instruction
// sets: the body is always inlined into a wrapper that carries the target attribute, so each
// wrapper gets its own code. Lane k of every vector holds row k; the arithmetic of a lane is
// the scalar recipe, operation by operation, so no lane ever sees a reordered sum or a fused
// multiply-add (-ffp-contract=off), and all variants agree bit for bit.

namespace {

// Each matrix block feeds two products; left to itself the compiler reads it from memory
// for each, and with four or more blocks the loads, not the arithmetic, then bound the loop.
// With fewer, the loads are not the limit but the instructions are, and the products read
// their block straight from memory.
template <typename V>
[[gnu::always_inline]] inline void inRegister(V& v) {
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
    asm("" : "+v"(v));
#else
    (void)v;
#endif
}

// How many rows the clamp set back, from the per-lane counts of the blocks (a clamped lane's
// mask is -1, so taking the masks away from 0 counts them).
template <int W, class M>
[[gnu::always_inline]] inline int clampedRows(const M& counts) {
    int count = 0;
    for (int l = 0; l < W; ++l) count += int(counts[l]);
    return count;
}

// Dist, and whether the perturbed populations are pulled back: not where 1 / dt or the
// logarithm of Dist / d0 fails.
[[gnu::always_inline]] inline KernelStep distanceOf(double SumSq, double dt) {
    const double Dist = std::sqrt(SumSq);
    return {Dist, dt != 0 && Dist > 0, std::isfinite(SumSq) != 0};
}

// Sums, Euler updates and clamp for G consecutive blocks of W rows starting at row k0, and
// their squared differences added to SumSq in row order. The 2G row sums stay in registers
// while j runs over the start-of-step populations in order. When the group is the whole
// step (`only`), the distance and the pulled-back perturbed populations follow at once from
// the new populations still in registers; otherwise the caller does both once every group
// is done.
//
// The plain recipe starts each sum at 0 and adds the first product to it; here a sum starts
// with the first product itself. The two differ only when that product is -0 (0 + -0 is +0),
// and the sign of a zero sum never shows: later terms absorb it and 1 - S is 1 for both
// zeros. SumSq likewise starts with the first square, which is never -0.
//
// J, when not 0, is the species count known at compile time, so that the j loop and the row
// order of SumSq unroll completely.
template <int W, int G, int J = 0>
[[gnu::always_inline]] inline KernelStep stepBlocks(KernelState& s, int k0, double dt, double d0,
                                                    double& SumSq, bool first, bool only) {
    using V = typename Lane_Vector<W>::V;
    using M = typename Lane_Vector<W>::M;
    const int n = J > 0 ? J : s.n;
    const double* xo = s.x[s.from];
    const double* xeo = s.xe[s.from];
    double* xn = s.x[1 - s.from];
    double* xen = s.xe[1 - s.from];

    V S[G], Se[G];
    {
        const double xj = xo[0];
        const double xej = xeo[0];
        for (int b = 0; b < G; ++b) {
            V a;
            std::memcpy(&a, &s.aT[0][k0 + b * W], sizeof a);
            S[b] = a * xj;
            Se[b] = a * xej;
        }
    }
    auto addColumn = [&](int j) __attribute__((always_inline)) {
        const double xj = xo[j];
        const double xej = xeo[j];
        const double* row = &s.aT[j][k0];
        for (int b = 0; b < G; ++b) {
            V a;
            std::memcpy(&a, row + b * W, sizeof a);
            if constexpr (G >= 4) inRegister(a);
            S[b] = Sum_Term(a, xj, S[b]);
            Se[b] = Sum_Term(a, xej, Se[b]);
        }
    };
    In_Column_Order<J>(1, n, addColumn);

    V xKept[G], xeKept[G];
    M clampedLanes = {}, clampCounts = {};
    for (int b = 0; b < G; ++b) {
        const int k = k0 + b * W;
        V r, x, xe;
        std::memcpy(&r, s.r + k, sizeof r);
        std::memcpy(&x, xo + k, sizeof x);
        std::memcpy(&xe, xeo + k, sizeof xe);
        V xNew = Main_Update(x, r, S[b], dt);
        const V xeNew = Perturbed_Update(xe, r, Se[b], dt);
        const V sq = Squared_Difference(xNew, xeNew);
        // The squared difference above was taken before the clamp.
        const M clampedNow = Lane_Mask<V>(xNew >= 1.0);
        clampedLanes |= clampedNow;
        clampCounts -= clampedNow;
        xNew = Clamp_Population(xNew);
        std::memcpy(xn + k, &xNew, sizeof xNew);
        if (!only) std::memcpy(xen + k, &xeNew, sizeof xeNew);
        xKept[b] = xNew;
        xeKept[b] = xeNew;
        const int lanes = n - k < W ? n - k : W;
#pragma GCC unroll 8
        for (int l = 0; l < W; ++l) {
            if (l < lanes) {
                SumSq = (first && b == 0 && l == 0) ? sq[l] : sq[l] + SumSq;
            }
        }
    }
    const bool clamped = Lane_Any(clampedLanes);
    if (clamped) s.clamps += clampedRows<W>(clampCounts);
    if (!only) return {};

    const KernelStep result = distanceOf(SumSq, dt);
    if (!result.renormalised) return result;
    V xePulled[G];
    for (int b = 0; b < G; ++b) {
        xePulled[b] = Pull_Back(xeKept[b], xKept[b], d0, result.Dist);
        std::memcpy(xen + k0 + b * W, &xePulled[b], sizeof(V));
    }
    // Where no population was clamped, xe - x is, up to rounding, minus the difference
    // that went into SumSq, so |xe - x| / Dist is at most about 1 and a finite SumSq leaves
    // every pulled-back population finite; only a clamped row can stray far from its copy.
    if (!result.finite || !clamped) return result;
    M bad = {};
    for (int b = 0; b < G; ++b) bad |= Lane_Non_Finite(xePulled[b]);
    return {result.Dist, true, !Lane_Any(bad)};
}

// One group of g blocks, g from 1 to G, chosen at run time.
template <int W, int G>
[[gnu::always_inline]] inline KernelStep stepGroup(KernelState& s, int k0, int g, double dt,
                                                   double d0, double& SumSq, bool first,
                                                   bool only) {
    if constexpr (G > 1) {
        if (g < G) return stepGroup<W, G - 1>(s, k0, g, dt, d0, SumSq, first, only);
    }
    return stepBlocks<W, G>(s, k0, dt, d0, SumSq, first, only);
}

// The perturbed populations of the new half pulled back, from memory, after a step of
// several groups.
template <int W>
[[gnu::always_inline]] inline bool renormaliseAll(KernelState& s, double d0, double dist) {
    using V = typename Lane_Vector<W>::V;
    using M = typename Lane_Vector<W>::M;
    const int blocks = (s.n + W - 1) / W;
    const double* x = s.x[1 - s.from];
    double* xe = s.xe[1 - s.from];
    M bad = {};
    for (int b = 0; b < blocks; ++b) {
        V vx, ve;
        std::memcpy(&vx, x + b * W, sizeof vx);
        std::memcpy(&ve, xe + b * W, sizeof ve);
        ve = Pull_Back(ve, vx, d0, dist);
        std::memcpy(xe + b * W, &ve, sizeof ve);
        bad |= Lane_Non_Finite(ve);
    }
    return !Lane_Any(bad);
}

// Small species counts, the most common, each get a step routine of their own, compiled for
// their count: no loop over j, and none of the set-up of the general routine.
template <int W, int J>
[[gnu::always_inline]] inline KernelStep stepSmall(KernelState& s, double dt, double d0) {
    double SumSq = 0;
    return stepBlocks<W, (J + W - 1) / W, J>(s, 0, dt, d0, SumSq, true, true);
}

// The blocks are split into as few groups of at most G as possible, of nearly equal size,
// so that no group is left with too few sums to hide the latency of an addition. The squared
// differences of one group are summed while the next one runs.
template <int W, int G>
[[gnu::always_inline]] inline KernelStep stepAll(KernelState& s, double dt, double d0) {
    const int blocks = s.n > 0 ? (s.n + W - 1) / W : 0;
    if (blocks == 0) return distanceOf(0, dt);
    double SumSq = 0;
    if (blocks <= G) return stepGroup<W, G>(s, 0, blocks, dt, d0, SumSq, true, true);
    const int groups = (blocks + G - 1) / G;
    const int base = blocks / groups, larger = blocks % groups;
    int k0 = 0;
    for (int i = 0; i < groups; ++i) {
        const int g = base + (i < larger ? 1 : 0);
        stepGroup<W, G>(s, k0, g, dt, d0, SumSq, i == 0, false);
        k0 += g * W;
    }
    const KernelStep result = distanceOf(SumSq, dt);
    if (!result.renormalised) return result;
    return {result.Dist, true, renormaliseAll<W>(s, d0, result.Dist) && result.finite};
}

// The sums over j of B blocks of rows with the populations p, j in order.
template <int W, int B, int J = 0>
[[gnu::always_inline]] inline void blockSums(const KernelState& s, const double* p,
                                             typename Lane_Vector<W>::V (&S)[B]) {
    using V = typename Lane_Vector<W>::V;
    for (int b = 0; b < B; ++b) {
        V a;
        std::memcpy(&a, &s.aT[0][b * W], sizeof a);
        S[b] = a * p[0];
    }
    auto addColumn = [&](int j) __attribute__((always_inline)) {
        const double pj = p[j];
        for (int b = 0; b < B; ++b) {
            V a;
            std::memcpy(&a, &s.aT[j][b * W], sizeof a);
            S[b] = Sum_Term(a, pj, S[b]);
        }
    };
    In_Column_Order<J>(1, J > 0 ? J : s.n, addColumn);
}

// A step of B blocks, all in one group. The step's end is a chain: SumSq in
// row order, its square root, then the divisions of the pull-back, which the next step's
// perturbed sums wait for. The main trajectory's sums of the next step need none of it (the
// clamped populations are known as soon as the Euler updates are done), so they are taken
// here, at the end of this step, and the chain is threaded through their loop: two terms of
// SumSq per column over the first half of the columns, then one block pulled back per
// column. The arithmetic of every value is the plain recipe's; only the order in which
// independent values are computed differs. With few rows the perturbed sums, the chain from
// one step to the next, then also have the adders to themselves. J, when not 0, is the
// species count known at compile time.
template <int W, int B, int J = 0>
[[gnu::always_inline]] inline KernelStep stepAhead(KernelState& s, double dt, double d0) {
    using V = typename Lane_Vector<W>::V;
    using M = typename Lane_Vector<W>::M;
    const int n = J > 0 ? J : s.n;
    const double* xo = s.x[s.from];
    const double* xeo = s.xe[s.from];
    double* xn = s.x[1 - s.from];
    double* xen = s.xe[1 - s.from];
    if (!s.sumsReady) {
        V S[B];
        blockSums<W, B, J>(s, xo, S);
        for (int b = 0; b < B; ++b) std::memcpy(&s.S[b * W], &S[b], sizeof(V));
    }
    V Se[B];
    blockSums<W, B, J>(s, xeo, Se);

    alignas(64) double sq[B * W];
    M clampedLanes = {}, clampCounts = {};
    for (int b = 0; b < B; ++b) {
        const int k = b * W;
        V r, x, xe, S;
        std::memcpy(&r, s.r + k, sizeof r);
        std::memcpy(&x, xo + k, sizeof x);
        std::memcpy(&xe, xeo + k, sizeof xe);
        std::memcpy(&S, s.S + k, sizeof S);
        const V xUpdated = Main_Update(x, r, S, dt);
        const V xeNew = Perturbed_Update(xe, r, Se[b], dt);
        const V d2 = Squared_Difference(xUpdated, xeNew);
        std::memcpy(sq + k, &d2, sizeof d2);
        const M clampedNow = Lane_Mask<V>(xUpdated >= 1.0);
        clampedLanes |= clampedNow;
        clampCounts -= clampedNow;
        const V xNew = Clamp_Population(xUpdated);
        std::memcpy(xn + k, &xNew, sizeof xNew);
        std::memcpy(xen + k, &xeNew, sizeof xeNew);
    }

    V S[B];
    auto addColumn = [&](int j) __attribute__((always_inline)) {
        const double xj = xn[j];
        for (int b = 0; b < B; ++b) {
            V a;
            std::memcpy(&a, &s.aT[j][b * W], sizeof a);
            S[b] = j == 0 ? a * xj : Sum_Term(a, xj, S[b]);
        }
    };
    const int half = n / 2;
    double SumSq = sq[0];
    addColumn(0);
    SumSq = sq[1] + SumSq;
    In_Column_Order<J>(
        1, half, [&](int j) __attribute__((always_inline)) {
            addColumn(j);
            SumSq = sq[2 * j] + SumSq;
            SumSq = sq[2 * j + 1] + SumSq;
        });
    if (n % 2 != 0) SumSq = sq[n - 1] + SumSq;
    const KernelStep result = distanceOf(SumSq, dt);

    // As in a step of groups: only a clamped row can leave a pulled-back population that is
    // not finite, so the rows are looked at only after a clamp.
    const bool clamped = Lane_Any(clampedLanes);
    if (clamped) s.clamps += clampedRows<W>(clampCounts);
    M bad = {};
    auto pullBack = [&](int b) __attribute__((always_inline)) {
        V vx, ve;
        std::memcpy(&vx, xn + b * W, sizeof vx);
        std::memcpy(&ve, xen + b * W, sizeof ve);
        ve = Pull_Back(ve, vx, d0, result.Dist);
        std::memcpy(xen + b * W, &ve, sizeof ve);
        if (clamped) bad |= Lane_Non_Finite(ve);
    };
    int pulled = result.renormalised ? 0 : B;
    In_Column_Order<J>(
        half, n, [&](int j) __attribute__((always_inline)) {
            addColumn(j);
            if (pulled < B) pullBack(pulled++);
        });
    while (pulled < B) pullBack(pulled++);
    for (int b = 0; b < B; ++b) std::memcpy(&s.S[b * W], &S[b], sizeof(V));
    s.sumsReady = true;
    if (!result.renormalised) return result;
    return {result.Dist, true, result.finite && !Lane_Any(bad)};
}

// The step with sums ahead for the block count of s, up to B.
template <int W, int B>
[[gnu::always_inline]] inline KernelStep stepAheadUpTo(KernelState& s, double dt, double d0) {
    if constexpr (B > 1) {
        if ((s.n + W - 1) / W < B) return stepAheadUpTo<W, B - 1>(s, dt, d0);
    }
    if (s.n < 2) return stepAll<W, 1>(s, dt, d0);
    return stepAhead<W, B>(s, dt, d0);
}

// Routines by species count, 1 to KernelSmallCount (entry 0 unused).
using SmallTable = KernelRoutine[KernelSmallCount + 1];

template <int J>
KernelStep smallGeneric(KernelState& s, double dt, double d0) {
    return stepSmall<2, J>(s, dt, d0);
}

KernelStep stepGeneric(KernelState& s, double dt, double d0) {
    return stepAll<2, 4>(s, dt, d0);
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(LV_KERNEL_GENERIC_ONLY)
#define LV_KERNEL_X86 1
// Up to four blocks of four rows: eight accumulators, the rest of the sixteen registers for
// the broadcasts and the loads.
[[gnu::target("avx2")]] KernelStep stepAvx2(KernelState& s, double dt, double d0) {
    return stepAll<4, 4>(s, dt, d0);
}
// The AVX-512 encodings give 32 vector registers: groups of up to seven blocks, fourteen
// accumulators, so that 51 rows take two groups of four lanes or one of eight.
[[gnu::target("avx512f,avx512vl")]] KernelStep stepAvx512(KernelState& s, double dt, double d0) {
    return stepAll<4, 7>(s, dt, d0);
}
[[gnu::target("avx512f,avx512vl")]] KernelStep stepAvx512x8(KernelState& s, double dt, double d0) {
    return stepAll<8, 7>(s, dt, d0);
}
// The same with the next step's main sums taken ahead, all rows in one group: 13 blocks of
// four or 7 of eight accumulators.
[[gnu::target("avx512f,avx512vl")]] KernelStep aheadAvx512(KernelState& s, double dt, double d0) {
    return stepAheadUpTo<4, KernelLanes / 4>(s, dt, d0);
}
[[gnu::target("avx512f,avx512vl")]] KernelStep aheadAvx512x8(KernelState& s, double dt, double d0) {
    return stepAheadUpTo<8, KernelLanes / 8>(s, dt, d0);
}
template <int J>
[[gnu::target("avx2")]] KernelStep smallAvx2(KernelState& s, double dt, double d0) {
    return stepSmall<4, J>(s, dt, d0);
}
template <int J>
[[gnu::target("avx512f,avx512vl")]] KernelStep smallAvx512(KernelState& s, double dt, double d0) {
    return stepSmall<4, J>(s, dt, d0);
}
template <int J>
[[gnu::target("avx512f,avx512vl")]] KernelStep smallAvx512x8(KernelState& s, double dt, double d0) {
    return stepSmall<8, J>(s, dt, d0);
}
// The small counts with the main sums ahead, from two rows on (one has nothing to overlap).
template <int W, int J>
[[gnu::target("avx512f,avx512vl")]] KernelStep smallAheadAvx512(KernelState& s, double dt,
                                                                double d0) {
    if constexpr (J < 2)
        return stepSmall<W, J>(s, dt, d0);
    else
        return stepAhead<W, (J + W - 1) / W, J>(s, dt, d0);
}
template <int J>
constexpr KernelRoutine smallAheadAvx512x4 = smallAheadAvx512<4, J>;
template <int J>
constexpr KernelRoutine smallAheadAvx512x8 = smallAheadAvx512<8, J>;
#endif

#define LV_SMALL_TABLE(name, routine)                                                      \
    const SmallTable name = {nullptr,     routine<1>,  routine<2>, routine<3>, routine<4>, \
                             routine<5>,  routine<6>,  routine<7>, routine<8>, routine<9>, \
                             routine<10>, routine<11>, routine<12>}
LV_SMALL_TABLE(smallGenericRoutines, smallGeneric);
#ifdef LV_KERNEL_X86
LV_SMALL_TABLE(smallAvx2Routines, smallAvx2);
LV_SMALL_TABLE(smallAvx512Routines, smallAvx512);
LV_SMALL_TABLE(smallAvx512x8Routines, smallAvx512x8);
LV_SMALL_TABLE(smallAheadAvx512Routines, smallAheadAvx512x4);
LV_SMALL_TABLE(smallAheadAvx512x8Routines, smallAheadAvx512x8);
#endif
#undef LV_SMALL_TABLE

std::vector<KernelBuild> buildsHere() {
    std::vector<KernelBuild> builds;
#ifdef LV_KERNEL_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl")) {
        builds.push_back({"avx512f/8", stepAvx512x8, smallAvx512x8Routines});
        builds.push_back({"avx512f/8-ahead", aheadAvx512x8, smallAheadAvx512x8Routines});
        builds.push_back({"avx512f/4", stepAvx512, smallAvx512Routines});
        builds.push_back({"avx512f/4-ahead", aheadAvx512, smallAheadAvx512Routines});
    }
    if (__builtin_cpu_supports("avx2")) builds.push_back({"avx2/4", stepAvx2, smallAvx2Routines});
#endif
    builds.push_back({"generic/2", stepGeneric, smallGenericRoutines});
    return builds;
}

}  // namespace

const std::vector<KernelBuild>& Kernel_Builds() {
    static const std::vector<KernelBuild> builds = buildsHere();
    return builds;
}
