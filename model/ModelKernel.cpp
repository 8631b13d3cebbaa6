#include "ModelKernel.h"

#include <cstring>

// One routine, written once over GCC vector extensions, is compiled for several instruction
// sets: the body is always inlined into a wrapper that carries the target attribute, so each
// wrapper gets its own code. Lane k of every vector holds row k; the arithmetic of a lane is
// the scalar recipe, operation by operation, so no lane ever sees a reordered sum or a fused
// multiply-add (-ffp-contract=off), and all variants agree bit for bit.

namespace {

constexpr double ClampedPopulation = 0.9999999;

template <int W>
struct Lanes {
    typedef double V __attribute__((vector_size(W * sizeof(double))));
    typedef long long M __attribute__((vector_size(W * sizeof(double))));
};

// Each matrix block feeds two products; left to itself the compiler reads it from memory
// for each, and the loads, not the arithmetic, then bound the loop.
template <typename V>
[[gnu::always_inline]] inline void inRegister(V& v) {
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
    asm("" : "+v"(v));
#else
    (void)v;
#endif
}

// Sums, Euler updates and clamp for G consecutive blocks of W rows starting at row k0, and
// their squared differences added to SumSq in row order. The 2G row sums stay in registers
// while j runs over the start-of-step populations in order.
//
// The plain recipe starts each sum at 0 and adds the first product to it; here a sum starts
// with the first product itself. The two differ only when that product is -0 (0 + -0 is +0),
// and the sign of a zero sum never shows: later terms absorb it and 1 - S is 1 for both
// zeros. SumSq likewise starts with the first square, which is never -0.
template <int W, int G>
[[gnu::always_inline]] inline void stepBlocks(KernelState& s, int k0, double dt, double& SumSq,
                                              bool first) {
    using V = typename Lanes<W>::V;
    using M = typename Lanes<W>::M;
    const int n = s.n;
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
    for (int j = 1; j < n; ++j) {
        const double xj = xo[j];
        const double xej = xeo[j];
        const double* row = &s.aT[j][k0];
        for (int b = 0; b < G; ++b) {
            V a;
            std::memcpy(&a, row + b * W, sizeof a);
            inRegister(a);
            S[b] = a * xj + S[b];
            Se[b] = a * xej + Se[b];
        }
    }

    V clamped;
    for (int l = 0; l < W; ++l) clamped[l] = ClampedPopulation;
    for (int b = 0; b < G; ++b) {
        const int k = k0 + b * W;
        V r, x, xe;
        std::memcpy(&r, s.r + k, sizeof r);
        std::memcpy(&x, xo + k, sizeof x);
        std::memcpy(&xe, xeo + k, sizeof xe);
        const V g = (r * x) * (1.0 - S[b]);
        V xNew = dt * g + x;
        const V ge = (xe * r) * (1.0 - Se[b]);
        const V xeNew = dt * ge + xe;
        const V diff = xNew - xeNew;
        const V sq = diff * diff;
        // Populations that reach 1 are set back just below it; the squared difference above
        // was taken before, and the perturbed copy is never clamped.
        const M reached = xNew >= 1.0;
        xNew = (V)(((M)xNew & ~reached) | ((M)clamped & reached));
        std::memcpy(xn + k, &xNew, sizeof xNew);
        std::memcpy(xen + k, &xeNew, sizeof xeNew);
        const int lanes = n - k < W ? n - k : W;
#pragma GCC unroll 8
        for (int l = 0; l < W; ++l) {
            if (l < lanes) {
                SumSq = (first && b == 0 && l == 0) ? sq[l] : sq[l] + SumSq;
                Species.rows[k + l].x = xNew[l];
            }
        }
    }
}

// One group of g blocks, g from 1 to G, chosen at run time.
template <int W, int G>
[[gnu::always_inline]] inline void stepGroup(KernelState& s, int k0, int g, double dt,
                                             double& SumSq, bool first) {
    if constexpr (G > 1) {
        if (g < G) return stepGroup<W, G - 1>(s, k0, g, dt, SumSq, first);
    }
    stepBlocks<W, G>(s, k0, dt, SumSq, first);
}

// The blocks are split into as few groups of at most G as possible, of nearly equal size,
// so that no group is left with too few sums to hide the latency of an addition. The squared
// differences of one group are summed while the next one runs.
template <int W, int G>
[[gnu::always_inline]] inline double stepAll(KernelState& s, double dt) {
    const int blocks = s.n > 0 ? (s.n + W - 1) / W : 0;
    if (blocks == 0) return 0;
    const int groups = (blocks + G - 1) / G;
    const int base = blocks / groups, larger = blocks % groups;
    double SumSq = 0;
    int k0 = 0;
    for (int i = 0; i < groups; ++i) {
        const int g = base + (i < larger ? 1 : 0);
        stepGroup<W, G>(s, k0, g, dt, SumSq, i == 0);
        k0 += g * W;
    }
    return SumSq;
}

template <int W>
[[gnu::always_inline]] inline void renormaliseAll(KernelState& s, double d0, double dist) {
    using V = typename Lanes<W>::V;
    const int blocks = s.n > 0 ? (s.n + W - 1) / W : 0;
    const double* x = s.x[1 - s.from];
    double* xe = s.xe[1 - s.from];
    for (int b = 0; b < blocks; ++b) {
        V vx, ve;
        std::memcpy(&vx, x + b * W, sizeof vx);
        std::memcpy(&ve, xe + b * W, sizeof ve);
        ve = ((ve - vx) * d0) / dist + vx;
        std::memcpy(xe + b * W, &ve, sizeof ve);
    }
}

double stepGeneric(KernelState& s, double dt) {
    return stepAll<2, 4>(s, dt);
}
void renormaliseGeneric(KernelState& s, double d0, double dist) {
    renormaliseAll<2>(s, d0, dist);
}

#if defined(__x86_64__) && defined(__GNUC__)
#define LV_KERNEL_X86 1
// Up to four blocks of four rows: eight accumulators, the rest of the sixteen registers for
// the broadcasts and the loads.
[[gnu::target("avx2")]] double stepAvx2(KernelState& s, double dt) {
    return stepAll<4, 4>(s, dt);
}
[[gnu::target("avx2")]] void renormaliseAvx2(KernelState& s, double d0, double dist) {
    renormaliseAll<4>(s, d0, dist);
}
// The AVX-512 encodings give 32 vector registers: groups of up to six blocks of four. Blocks
// of eight were measured slower on the processors at hand (a 512-bit operation costs two
// 256-bit ones there), so the lanes stay four wide.
[[gnu::target("avx512f,avx512vl")]] double stepAvx512(KernelState& s, double dt) {
    return stepAll<4, 6>(s, dt);
}
[[gnu::target("avx512f,avx512vl")]] void renormaliseAvx512(KernelState& s, double d0, double dist) {
    renormaliseAll<4>(s, d0, dist);
}
#endif

struct KernelOps {
    double (*step)(KernelState&, double);
    void (*renormalise)(KernelState&, double, double);
};

KernelOps opsFor(KernelIsa isa) {
    switch (isa) {
#ifdef LV_KERNEL_X86
        case KernelIsa::Avx512:
            return {stepAvx512, renormaliseAvx512};
        case KernelIsa::Avx2:
            return {stepAvx2, renormaliseAvx2};
#endif
        default:
            return {stepGeneric, renormaliseGeneric};
    }
}

KernelIsa bestIsa() {
#ifdef LV_KERNEL_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl"))
        return KernelIsa::Avx512;
    if (__builtin_cpu_supports("avx2")) return KernelIsa::Avx2;
#endif
    return KernelIsa::Generic;
}

KernelIsa& currentIsa() {
    static KernelIsa isa = bestIsa();
    return isa;
}

KernelOps& currentOps() {
    static KernelOps ops = opsFor(currentIsa());
    return ops;
}

}  // namespace

double Kernel_Step(KernelState& s, double dt) {
    return currentOps().step(s, dt);
}

void Kernel_Renormalise(KernelState& s, double d0, double dist) {
    currentOps().renormalise(s, d0, dist);
}

KernelIsa Kernel_Isa() {
    return currentIsa();
}

bool Kernel_Isa_Supported(KernelIsa isa) {
    switch (isa) {
        case KernelIsa::Generic:
            return true;
        case KernelIsa::Avx2:
            return bestIsa() != KernelIsa::Generic;
        case KernelIsa::Avx512:
            return bestIsa() == KernelIsa::Avx512;
    }
    return false;
}

void Set_Kernel_Isa(std::optional<KernelIsa> isa) {
    const KernelIsa chosen = isa && Kernel_Isa_Supported(*isa) ? *isa : bestIsa();
    currentIsa() = chosen;
    currentOps() = opsFor(chosen);
}

const char* Kernel_Isa_Name(KernelIsa isa) {
    switch (isa) {
        case KernelIsa::Generic:
            return "generic";
        case KernelIsa::Avx2:
            return "avx2";
        case KernelIsa::Avx512:
            return "avx512f";
    }
    return "?";
}
