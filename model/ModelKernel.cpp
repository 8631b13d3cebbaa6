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

// Sums, Euler updates and clamp for G consecutive blocks of W rows starting at row k0. The
// 2G row sums stay in registers while j runs over the start-of-step populations in order.
template <int W, int G>
[[gnu::always_inline]] inline void stepBlocks(KernelState& s, int k0, double dt) {
    using V = typename Lanes<W>::V;
    using M = typename Lanes<W>::M;
    const int n = s.n;
    const double* xo = s.x[s.from];
    const double* xeo = s.xe[s.from];
    double* xn = s.x[1 - s.from];
    double* xen = s.xe[1 - s.from];

    V S[G], Se[G];
    for (int b = 0; b < G; ++b) {
        S[b] = V{};
        Se[b] = V{};
    }
    for (int j = 0; j < n; ++j) {
        const double xj = xo[j];
        const double xej = xeo[j];
        const double* row = &s.aT[j][k0];
        for (int b = 0; b < G; ++b) {
            V a;
            std::memcpy(&a, row + b * W, sizeof a);
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
        std::memcpy(s.sq + k, &sq, sizeof sq);
    }
}

// The blocks left after the full groups, 1 to G - 1 of them, with as many accumulators.
template <int W, int G>
[[gnu::always_inline]] inline void stepRest(KernelState& s, int k0, int blocks, double dt) {
    if constexpr (G > 1) {
        if (blocks == G - 1)
            stepBlocks<W, G - 1>(s, k0, dt);
        else
            stepRest<W, G - 1>(s, k0, blocks, dt);
    }
}

template <int W, int G>
[[gnu::always_inline]] inline void stepAll(KernelState& s, double dt) {
    const int blocks = s.n > 0 ? (s.n + W - 1) / W : 0;
    int b = 0;
    for (; b + G <= blocks; b += G) stepBlocks<W, G>(s, b * W, dt);
    if (b < blocks) stepRest<W, G>(s, b * W, blocks - b, dt);
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

void stepGeneric(KernelState& s, double dt) {
    stepAll<2, 4>(s, dt);
}
void renormaliseGeneric(KernelState& s, double d0, double dist) {
    renormaliseAll<2>(s, d0, dist);
}

#if defined(__x86_64__) && defined(__GNUC__)
#define LV_KERNEL_X86 1
// Four blocks of four rows: eight accumulators, the rest of the sixteen registers for the
// broadcasts and the loads.
[[gnu::target("avx2")]] void stepAvx2(KernelState& s, double dt) {
    stepAll<4, 4>(s, dt);
}
[[gnu::target("avx2")]] void renormaliseAvx2(KernelState& s, double d0, double dist) {
    renormaliseAll<4>(s, d0, dist);
}
// Seven blocks of eight cover all 51 rows in one pass over j. A handful of species fits one
// block of four.
[[gnu::target("avx512f")]] void stepAvx512(KernelState& s, double dt) {
    if (s.n <= 4)
        stepAll<4, 1>(s, dt);
    else
        stepAll<8, 7>(s, dt);
}
[[gnu::target("avx512f")]] void renormaliseAvx512(KernelState& s, double d0, double dist) {
    if (s.n <= 4)
        renormaliseAll<4>(s, d0, dist);
    else
        renormaliseAll<8>(s, d0, dist);
}
#endif

struct KernelOps {
    void (*step)(KernelState&, double);
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
    if (__builtin_cpu_supports("avx512f")) return KernelIsa::Avx512;
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

void Kernel_Step(KernelState& s, double dt) {
    currentOps().step(s, dt);
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
