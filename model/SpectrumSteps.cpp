#include "SpectrumSteps.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "LaneVector.h"
#include "StepArithmetic.h"

// Written once over GCC vector extensions and always inlined into wrappers that carry a
// target attribute, as the kernel is. Lane k of a vector holds row k, and each lane does the
// scalar arithmetic operation by operation; the only sums across lanes, the dot products of
// the re-orthonormalisation, are taken in an order that does not depend on the lane width.

namespace {

template <int W>
using Vec = typename Lane_Vector<W>::V;

template <int W>
[[gnu::always_inline]] inline Vec<W> load(const double* p) {
    Vec<W> v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <int W>
[[gnu::always_inline]] inline void store(double* p, Vec<W> v) {
    std::memcpy(p, &v, sizeof v);
}

// The step's own factors of the Jacobian, row by row: d = r * (1 - S), c = r * x.
struct alignas(64) JacobianFactors {
    double d[SpectrumLanes];
    double c[SpectrumLanes];
    bool clamped[SpectrumLanes];
};

// The start-of-step sums in the model's order, the run's clamp decision, and the factors.
// Returns the rows clamped.
template <int W>
[[gnu::always_inline]] inline int stepFactors(const SpectrumState& s, const double* x, double dt,
                                              JacobianFactors& f) {
    using V = Vec<W>;
    const int n = s.n, blocks = (n + W - 1) / W;
    alignas(64) double xp[SpectrumLanes] = {};
    std::memcpy(xp, x, sizeof(double) * static_cast<unsigned>(n));
    int clamped = 0;
    for (int b = 0; b < blocks; ++b) {
        const int k = b * W;
        V S = load<W>(&s.aT[0][k]) * xp[0];
        for (int j = 1; j < n; ++j) S = Sum_Term(load<W>(&s.aT[j][k]), xp[j], S);
        const V r = load<W>(s.r + k), xv = load<W>(xp + k);
        const auto over = Main_Update(xv, r, S, dt) >= 1.0;
        store<W>(f.d + k, r * (1.0 - S));
        store<W>(f.c + k, r * xv);
        for (int l = 0; l < W; ++l) {
            f.clamped[k + l] = over[l] != 0;
            clamped += over[l] != 0;
        }
    }
    return clamped;
}

// P(k) = sum over j in order of a(k, j) * v(j) for blocks b0 to b0 + G - 1 of the H vectors
// from i on, and their images under J, into out. The G x H sums stay in registers while j
// runs, and each block of the matrix is loaded once for all H vectors.
template <int W, int G, int H>
[[gnu::always_inline]] inline void imageBlocks(const SpectrumState& s, const JacobianFactors& f,
                                               int i, int b0, double dt,
                                               double (*out)[SpectrumLanes]) {
    using V = Vec<W>;
    V P[H][G];
    for (int h = 0; h < H; ++h) {
        const double vj = s.v[i + h][0];
        for (int g = 0; g < G; ++g) P[h][g] = load<W>(&s.aT[0][(b0 + g) * W]) * vj;
    }
    for (int j = 1; j < s.n; ++j) {
        V a[G];
        for (int g = 0; g < G; ++g) a[g] = load<W>(&s.aT[j][(b0 + g) * W]);
        for (int h = 0; h < H; ++h) {
            const double vj = s.v[i + h][j];
            for (int g = 0; g < G; ++g) P[h][g] = Sum_Term(a[g], vj, P[h][g]);
        }
    }
    for (int h = 0; h < H; ++h) {
        for (int g = 0; g < G; ++g) {
            const int k = (b0 + g) * W;
            const V v = load<W>(&s.v[i + h][k]);
            store<W>(&out[h][k], dt * (load<W>(f.d + k) * v - load<W>(f.c + k) * P[h][g]) + v);
        }
    }
}

// A group of g blocks, g from 1 to G, chosen at run time.
template <int W, int G, int H>
[[gnu::always_inline]] inline void imageGroup(const SpectrumState& s, const JacobianFactors& f,
                                              int i, int b0, int g, double dt,
                                              double (*out)[SpectrumLanes]) {
    if constexpr (G > 1) {
        if (g < G) return imageGroup<W, G - 1, H>(s, f, i, b0, g, dt, out);
    }
    imageBlocks<W, G, H>(s, f, i, b0, dt, out);
}

// The images of H vectors from i on, in groups of at most G blocks of nearly equal size;
// written back once every group has read the old vectors.
template <int W, int G, int H>
[[gnu::always_inline]] inline void imageVectors(SpectrumState& s, const JacobianFactors& f, int i,
                                                double dt) {
    const int blocks = (s.n + W - 1) / W;
    const int groups = (blocks + G - 1) / G;
    const int base = blocks / groups, larger = blocks % groups;
    alignas(64) double out[H][SpectrumLanes];
    int b0 = 0;
    for (int q = 0; q < groups; ++q) {
        const int g = base + (q < larger ? 1 : 0);
        imageGroup<W, G, H>(s, f, i, b0, g, dt, out);
        b0 += g;
    }
    for (int h = 0; h < H; ++h)
        std::memcpy(s.v[i + h], out[h], sizeof(double) * static_cast<unsigned>(blocks * W));
}

// |det J| by elimination with partial pivoting on the transpose, whose rows are J's columns,
// vectors across k: a row exchange is an exchange of indices, and each elimination is one
// multiple of a row taken from another. J is formed entry by entry here, apart from the
// factored image of the tangent vectors.
template <int W>
[[gnu::always_inline]] inline double absDeterminant(SpectrumState& s, const JacobianFactors& f,
                                                    double dt) {
    const int n = s.n, blocks = (n + W - 1) / W;
    for (int p = 0; p < n; ++p) {
        double* column = s.scratch[p];
        for (int b = 0; b < blocks; ++b) {
            const int k = b * W;
            store<W>(column + k, dt * (0.0 - load<W>(f.c + k) * load<W>(&s.aT[p][k])));
        }
        column[p] = dt * (f.d[p] - f.c[p] * s.aT[p][p]) + 1.0;
    }
    int rows[MaxSpecies];
    for (int p = 0; p < n; ++p) rows[p] = p;
    double absDet = 1;
    for (int p = 0; p < n; ++p) {
        int best = p;
        double largest = std::fabs(s.scratch[rows[p]][p]);
        for (int i = p + 1; i < n; ++i) {
            const double size = std::fabs(s.scratch[rows[i]][p]);
            if (size > largest) {
                largest = size;
                best = i;
            }
        }
        if (!(largest > 0)) return largest == 0 ? 0 : largest;  // singular, or NaN passed on
        std::swap(rows[p], rows[best]);
        const double* pivotRow = s.scratch[rows[p]];
        const double recip = 1 / pivotRow[p];
        absDet *= largest;
        for (int i = p + 1; i < n; ++i) {
            double* row = s.scratch[rows[i]];
            const double l = row[p] * recip;
            for (int b = (p + 1) / W; b < blocks; ++b)
                store<W>(row + b * W, load<W>(row + b * W) - l * load<W>(pivotRow + b * W));
        }
    }
    return absDet;
}

template <int W, int G>
[[gnu::always_inline]] inline TangentStep tangentStep(SpectrumState& s, const double* x, double dt,
                                                      int live, bool det) {
    JacobianFactors f;
    const int clamped = stepFactors<W>(s, x, dt, f);
    int i = 0;
    for (; i + 2 <= live; i += 2) imageVectors<W, G, 2>(s, f, i, dt);
    if (i < live) imageVectors<W, G, 1>(s, f, i, dt);
    if (clamped > 0) {
        // The clamp's derivative is 0: a clamped row of J is a row of zeros.
        for (int v = 0; v < live; ++v)
            for (int k = 0; k < s.n; ++k)
                if (f.clamped[k]) s.v[v][k] = 0;
    }
    const double absDet = !det ? 1 : clamped > 0 ? 0 : absDeterminant<W>(s, f, dt);
    return {absDet, clamped};
}

// a . b over the rows, as eight partial sums (lanes 8c + m go to sum m) added in a fixed
// order at the end, whatever W.
template <int W>
[[gnu::always_inline]] inline double dot(const double* a, const double* b, int chunks) {
    constexpr int P = 8 / W;
    Vec<W> sums[P];
    for (int q = 0; q < P; ++q) sums[q] = load<W>(a + q * W) * load<W>(b + q * W);
    for (int c = 1; c < chunks; ++c)
        for (int q = 0; q < P; ++q)
            sums[q] = load<W>(a + 8 * c + q * W) * load<W>(b + 8 * c + q * W) + sums[q];
    double m[8];
    std::memcpy(m, sums, sizeof m);
    return ((m[0] + m[1]) + (m[2] + m[3])) + ((m[4] + m[5]) + (m[6] + m[7]));
}

template <int W>
[[gnu::always_inline]] inline int orthonormalise(SpectrumState& s, int live, double* norms) {
    static_assert(SpectrumLanes % 8 == 0 && W <= 8);
    const int chunks = (s.n + 7) / 8, blocks = chunks * 8 / W;
    for (int i = 0; i < live; ++i) {
        double* v = s.v[i];
        for (int l = 0; l < i; ++l) {
            const double* q = s.v[l];
            const double projection = dot<W>(q, v, chunks);
            for (int b = 0; b < blocks; ++b)
                store<W>(v + b * W, load<W>(v + b * W) - projection * load<W>(q + b * W));
        }
        const double norm = std::sqrt(dot<W>(v, v, chunks));
        if (!(norm > 0) || !std::isfinite(norm)) return i;
        norms[i] = norm;
        for (int b = 0; b < blocks; ++b) store<W>(v + b * W, load<W>(v + b * W) / norm);
    }
    return live;
}

TangentStep tangentGeneric(SpectrumState& s, const double* x, double dt, int live, bool det) {
    return tangentStep<2, 4>(s, x, dt, live, det);
}
int orthonormaliseGeneric(SpectrumState& s, int live, double* norms) {
    return orthonormalise<2>(s, live, norms);
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(LV_KERNEL_GENERIC_ONLY)
#define LV_SPECTRUM_X86 1
// Four blocks of four rows for two vectors: eight sums, the rest of the sixteen registers for
// the matrix blocks and the broadcasts.
[[gnu::target("avx2")]] TangentStep tangentAvx2(SpectrumState& s, const double* x, double dt,
                                                int live, bool det) {
    return tangentStep<4, 4>(s, x, dt, live, det);
}
[[gnu::target("avx2")]] int orthonormaliseAvx2(SpectrumState& s, int live, double* norms) {
    return orthonormalise<4>(s, live, norms);
}
// 32 registers: seven blocks for two vectors, so that 51 rows take two groups.
[[gnu::target("avx512f,avx512vl")]] TangentStep tangentAvx512(SpectrumState& s, const double* x,
                                                              double dt, int live, bool det) {
    return tangentStep<4, 7>(s, x, dt, live, det);
}
[[gnu::target("avx512f,avx512vl")]] int orthonormaliseAvx512(SpectrumState& s, int live,
                                                             double* norms) {
    return orthonormalise<4>(s, live, norms);
}
#endif

std::vector<SpectrumBuild> buildsHere() {
    std::vector<SpectrumBuild> builds;
#ifdef LV_SPECTRUM_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl"))
        builds.push_back({"avx512f/4", tangentAvx512, orthonormaliseAvx512});
    if (__builtin_cpu_supports("avx2"))
        builds.push_back({"avx2/4", tangentAvx2, orthonormaliseAvx2});
#endif
    builds.push_back({"generic/2", tangentGeneric, orthonormaliseGeneric});
    return builds;
}

}  // namespace

const std::vector<SpectrumBuild>& Spectrum_Builds() {
    static const std::vector<SpectrumBuild> builds = buildsHere();
    return builds;
}
