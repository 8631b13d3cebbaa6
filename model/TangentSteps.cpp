#include "TangentSteps.h"

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
    double over[SpectrumLanes];  // 1 where the row clamped, else 0
};

// The start-of-step sums in the model's order, the run's clamp decision, and the factors.
// Returns the rows clamped.
template <int W, int J>
[[gnu::always_inline]] inline int stepFactors(const SpectrumState& s, const double* x, double dt,
                                              JacobianFactors& f) {
    using V = Vec<W>;
    const int n = J > 0 ? J : s.n, blocks = (n + W - 1) / W;
    alignas(64) double xp[SpectrumLanes];
    std::memcpy(xp, x, sizeof(double) * static_cast<unsigned>(n));
    for (int k = n; k < blocks * W; ++k) xp[k] = 0;
    typename Lane_Vector<W>::M any = {};
    for (int b = 0; b < blocks; ++b) {
        const int k = b * W;
        V S = load<W>(&s.aT[0][k]) * xp[0];
        In_Column_Order<J>(
            1, n, [&](int j) __attribute__((always_inline)) {
                S = Sum_Term(load<W>(&s.aT[j][k]), xp[j], S);
            });
        const V r = load<W>(s.r + k), xv = load<W>(xp + k);
        const auto over = Main_Update(xv, r, S, dt) >= 1.0;
        store<W>(f.d + k, r * (1.0 - S));
        store<W>(f.c + k, r * xv);
        store<W>(f.over + k, Lane_Select<V>(Lane_Mask<V>(over), Lane_Splat<V>(1.0), V{}));
        any |= over;
    }
    if (!Lane_Any(any)) return 0;
    int clamped = 0;
    for (int k = 0; k < n; ++k) clamped += f.over[k] != 0;
    return clamped;
}

// P(k) = sum over j in order of a(k, j) * v(j) for blocks b0 to b0 + G - 1 of the H vectors
// from i on, and their images under J, into out. The G x H sums stay in registers while j
// runs, and each block of the matrix is loaded once for all H vectors.
template <int W, int G, int H, int J>
[[gnu::always_inline]] inline void imageBlocks(const SpectrumState& s, const JacobianFactors& f,
                                               int i, int b0, double dt,
                                               double (*out)[SpectrumLanes]) {
    using V = Vec<W>;
    V P[H][G];
    for (int h = 0; h < H; ++h) {
        const double vj = s.v[i + h][0];
        for (int g = 0; g < G; ++g) P[h][g] = load<W>(&s.aT[0][(b0 + g) * W]) * vj;
    }
    In_Column_Order<J>(
        1, J > 0 ? J : s.n, [&](int j) __attribute__((always_inline)) {
            V a[G];
            for (int g = 0; g < G; ++g) a[g] = load<W>(&s.aT[j][(b0 + g) * W]);
            for (int h = 0; h < H; ++h) {
                const double vj = s.v[i + h][j];
                for (int g = 0; g < G; ++g) P[h][g] = Sum_Term(a[g], vj, P[h][g]);
            }
        });
    for (int h = 0; h < H; ++h) {
        for (int g = 0; g < G; ++g) {
            const int k = (b0 + g) * W;
            const V v = load<W>(&s.v[i + h][k]);
            store<W>(&out[h][k], dt * (load<W>(f.d + k) * v - load<W>(f.c + k) * P[h][g]) + v);
        }
    }
}

// A group of g blocks, g from 1 to G, chosen at run time.
template <int W, int G, int H, int J>
[[gnu::always_inline]] inline void imageGroup(const SpectrumState& s, const JacobianFactors& f,
                                              int i, int b0, int g, double dt,
                                              double (*out)[SpectrumLanes]) {
    if constexpr (G > 1) {
        if (g < G) return imageGroup<W, G - 1, H, J>(s, f, i, b0, g, dt, out);
    }
    imageBlocks<W, G, H, J>(s, f, i, b0, dt, out);
}

// The images of H vectors from i on, in groups of at most G blocks of nearly equal size;
// written back once every group has read the old vectors.
template <int W, int G, int H, int J>
[[gnu::always_inline]] inline void imageVectors(SpectrumState& s, const JacobianFactors& f, int i,
                                                double dt) {
    const int blocks = ((J > 0 ? J : s.n) + W - 1) / W;
    alignas(64) double out[H][SpectrumLanes];
    if (blocks <= G) {
        imageGroup<W, G, H, J>(s, f, i, 0, blocks, dt, out);
    } else {
        const int groups = (blocks + G - 1) / G;
        const int base = blocks / groups, larger = blocks % groups;
        int b0 = 0;
        for (int q = 0; q < groups; ++q) {
            const int g = base + (q < larger ? 1 : 0);
            imageGroup<W, G, H, J>(s, f, i, b0, g, dt, out);
            b0 += g;
        }
    }
    for (int h = 0; h < H; ++h)
        std::memcpy(s.v[i + h], out[h], sizeof(double) * static_cast<unsigned>(blocks * W));
}

// Column p of J over the rows k, into column: dt * (0 - c(k) a(k, p)) off the diagonal,
// dt * (d(p) - c(p) a(p, p)) + 1 on it. J is formed entry by entry here, apart from the
// factored image of the tangent vectors.
template <int W>
[[gnu::always_inline]] inline void jacobianColumn(const SpectrumState& s, const JacobianFactors& f,
                                                  int p, int blocks, double dt, double* column) {
    for (int b = 0; b < blocks; ++b) {
        const int k = b * W;
        store<W>(column + k, dt * (0.0 - load<W>(f.c + k) * load<W>(&s.aT[p][k])));
    }
    column[p] = dt * (f.d[p] - f.c[p] * s.aT[p][p]) + 1.0;
}

// |det J| by elimination with partial pivoting on the transpose, whose rows are J's columns,
// vectors across k: a row exchange is an exchange of indices, and each elimination is one
// multiple of a row taken from another.
template <int W>
[[gnu::always_inline]] inline double absDeterminant(SpectrumState& s, const JacobianFactors& f,
                                                    double dt) {
    const int n = s.n, blocks = (n + W - 1) / W;
    for (int p = 0; p < n; ++p) jacobianColumn<W>(s, f, p, blocks, dt, s.scratch[p]);
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

// A few species: J goes to the next slot of the batch, entry (k, p) in lane `slot`.
template <int W, int J>
[[gnu::always_inline]] inline void batchJacobian(SpectrumState& s, const JacobianFactors& f,
                                                 double dt) {
    const int n = J > 0 ? J : s.n, blocks = (n + W - 1) / W;
    alignas(64) double column[SpectrumLanes];
    for (int p = 0; p < n; ++p) {
        jacobianColumn<W>(s, f, p, blocks, dt, column);
        for (int k = 0; k < n; ++k) s.batch[k][p][s.batched] = column[k];
    }
    ++s.batched;
}

template <int W, int G, int J>
[[gnu::always_inline]] inline TangentStep tangentStep(SpectrumState& s, const double* x, double dt,
                                                      int live, bool det) {
    JacobianFactors f;
    const int clamped = stepFactors<W, J>(s, x, dt, f);
    int i = 0;
    for (; i + 2 <= live; i += 2) imageVectors<W, G, 2, J>(s, f, i, dt);
    if (i < live) imageVectors<W, G, 1, J>(s, f, i, dt);
    if (clamped > 0) {
        // The clamp's derivative is 0: a clamped row of J is a row of zeros.
        for (int v = 0; v < live; ++v)
            for (int k = 0; k < (J > 0 ? J : s.n); ++k)
                if (f.over[k] != 0) s.v[v][k] = 0;
    }
    if (!det) return {1, clamped};
    if (clamped > 0) return {0, clamped};
    if ((J > 0 ? J : s.n) <= BatchSpecies) {
        batchJacobian<W, J>(s, f, dt);
        return {1, 0};
    }
    return {absDeterminant<W>(s, f, dt), 0};
}

// The batch's determinants, one step's matrix in each lane, by elimination with partial
// pivoting: a row that holds a larger entry of the pivot column than the pivot row is
// exchanged with it, lane by lane, so that the largest ends up as the pivot. The slots
// beyond the batch hold the identity.
template <int N>
[[gnu::always_inline]] inline void batchDeterminants(const SpectrumState& s, double* absDets) {
    using V = Vec<BatchSteps>;
    constexpr uint64_t Magnitude = 0x7FFFFFFFFFFFFFFFULL;
    const auto magnitude = [](V v) __attribute__((always_inline)) {
        return Lane_From_Bits<V>(Lane_Bits(v) & Magnitude);
    };
    V m[N][N];
    for (int k = 0; k < N; ++k) {
        for (int p = 0; p < N; ++p) {
            m[k][p] = load<BatchSteps>(s.batch[k][p]);
            for (int slot = s.batched; slot < BatchSteps; ++slot) m[k][p][slot] = k == p;
        }
    }
    V det = Lane_Splat<V>(1.0);
    for (int p = 0; p < N; ++p) {
        for (int i = p + 1; i < N; ++i) {
            const auto larger = Lane_Mask<V>(magnitude(m[i][p]) > magnitude(m[p][p]));
            for (int q = p; q < N; ++q) {
                const V pivotRow = m[p][q];
                m[p][q] = Lane_Select<V>(larger, m[i][q], pivotRow);
                m[i][q] = Lane_Select<V>(larger, pivotRow, m[i][q]);
            }
        }
        det = det * magnitude(m[p][p]);
        // A zero pivot leaves a determinant of 0; its row takes nothing from the others.
        const auto zero = Lane_Mask<V>(m[p][p] == 0.0);
        const V recip =
            Lane_Select<V>(zero, V{}, 1.0 / Lane_Select<V>(zero, Lane_Splat<V>(1.0), m[p][p]));
        for (int i = p + 1; i < N; ++i) {
            const V l = m[i][p] * recip;
            for (int q = p + 1; q < N; ++q) m[i][q] = m[i][q] - l * m[p][q];
        }
    }
    std::memcpy(absDets, &det, sizeof det);
}

template <int N = 1>
[[gnu::always_inline]] inline void batchDeterminantsOf(const SpectrumState& s, double* absDets) {
    if constexpr (N < BatchSpecies) {
        if (s.n > N) return batchDeterminantsOf<N + 1>(s, absDets);
    }
    batchDeterminants<N>(s, absDets);
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

// Routines by species count, 1 to SpectrumSmallCount (entry 0 unused).
using SmallTangents = TangentRoutine[SpectrumSmallCount + 1];
#define LV_SMALL_TANGENTS(name, routine)                                                      \
    const SmallTangents name = {nullptr,     routine<1>,  routine<2>, routine<3>, routine<4>, \
                                routine<5>,  routine<6>,  routine<7>, routine<8>, routine<9>, \
                                routine<10>, routine<11>, routine<12>}

// Two blocks of two rows for two vectors, in the sixteen SSE registers.
template <int J>
TangentStep tangentGeneric(SpectrumState& s, const double* x, double dt, int live, bool det) {
    return tangentStep<2, 4, J>(s, x, dt, live, det);
}
int orthonormaliseGeneric(SpectrumState& s, int live, double* norms) {
    return orthonormalise<2>(s, live, norms);
}
void determinantsGeneric(const SpectrumState& s, double* absDets) {
    batchDeterminantsOf(s, absDets);
}
LV_SMALL_TANGENTS(smallGeneric, tangentGeneric);

#if defined(__x86_64__) && defined(__GNUC__) && !defined(LV_KERNEL_GENERIC_ONLY)
#define LV_SPECTRUM_X86 1
// Four blocks of four rows for two vectors: eight sums, the rest of the sixteen registers for
// the matrix blocks and the broadcasts.
template <int J>
[[gnu::target("avx2")]] TangentStep tangentAvx2(SpectrumState& s, const double* x, double dt,
                                                int live, bool det) {
    return tangentStep<4, 4, J>(s, x, dt, live, det);
}
[[gnu::target("avx2")]] int orthonormaliseAvx2(SpectrumState& s, int live, double* norms) {
    return orthonormalise<4>(s, live, norms);
}
[[gnu::target("avx2")]] void determinantsAvx2(const SpectrumState& s, double* absDets) {
    batchDeterminantsOf(s, absDets);
}
LV_SMALL_TANGENTS(smallAvx2, tangentAvx2);
// 32 registers: seven blocks for two vectors, so that 51 rows take two groups.
template <int J>
[[gnu::target("avx512f,avx512vl")]] TangentStep tangentAvx512(SpectrumState& s, const double* x,
                                                              double dt, int live, bool det) {
    return tangentStep<4, 7, J>(s, x, dt, live, det);
}
[[gnu::target("avx512f,avx512vl")]] int orthonormaliseAvx512(SpectrumState& s, int live,
                                                             double* norms) {
    return orthonormalise<4>(s, live, norms);
}
[[gnu::target("avx512f,avx512vl")]] void determinantsAvx512(const SpectrumState& s,
                                                            double* absDets) {
    batchDeterminantsOf(s, absDets);
}
LV_SMALL_TANGENTS(smallAvx512, tangentAvx512);
#endif
#undef LV_SMALL_TANGENTS

std::vector<SpectrumBuild> buildsHere() {
    std::vector<SpectrumBuild> builds;
#ifdef LV_SPECTRUM_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl"))
        builds.push_back(
            {"avx512f/4", tangentAvx512<0>, smallAvx512, orthonormaliseAvx512, determinantsAvx512});
    if (__builtin_cpu_supports("avx2"))
        builds.push_back(
            {"avx2/4", tangentAvx2<0>, smallAvx2, orthonormaliseAvx2, determinantsAvx2});
#endif
    builds.push_back(
        {"generic/2", tangentGeneric<0>, smallGeneric, orthonormaliseGeneric, determinantsGeneric});
    return builds;
}

}  // namespace

const std::vector<SpectrumBuild>& Spectrum_Builds() {
    static const std::vector<SpectrumBuild> builds = buildsHere();
    return builds;
}
