#pragma once

// The steps of many systems side by side, one system a lane: included by the lane routines
// of each instruction set only (LaneRoutines.h), which compile it for that set, and so with
// internal linkage: no function of one instruction set may stand in for another's.

#include <cstring>

#include "LaneState.h"
#include "LaneVector.h"
#include "StepArithmetic.h"

namespace {

template <class V>
[[gnu::always_inline]] inline V load(const double* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class V>
[[gnu::always_inline]] inline void store(double* p, const V& v) {
    std::memcpy(p, &v, sizeof v);
}

// a(k, j) of one group of lanes: their own, at `lane` among the state's `width` lanes, or the
// one every lane shares, which multiplies each lane alike.
template <class V, bool LaneMatrix>
struct Matrix {
    const double* a;
    int n, width, lane;
    [[gnu::always_inline]] auto at(int k, int j) const {
        if constexpr (LaneMatrix)
            return load<V>(a +
                           (std::size_t(k) * std::size_t(n) + std::size_t(j)) * std::size_t(width) +
                           std::size_t(lane));
        else
            return a[k * n + j];
    }
};

// The sums over j, in order, of G rows from k0 for both trajectories: S = a(k, j) * x(j) + S.
// A sum starts with its first product rather than with 0 + that product; the two differ only
// in the sign of a zero sum, which never shows (later terms absorb it, and 1 - S is 1 for
// both zeros).
template <class V, bool LaneMatrix, int G, bool Unrolled>
[[gnu::always_inline]] inline void rowSums(const Matrix<V, LaneMatrix>& a, const V* x, const V* xe,
                                           int n, int k0, V* S, V* Se) {
    V s[G], se[G];
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g) {
        s[g] = a.at(k0 + g, 0) * x[0];
        se[g] = a.at(k0 + g, 0) * xe[0];
    }
    auto column = [&](int j) __attribute__((always_inline)) {
        const V xj = x[j], xej = xe[j];
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) {
            s[g] = Sum_Term(a.at(k0 + g, j), xj, s[g]);
            se[g] = Sum_Term(a.at(k0 + g, j), xej, se[g]);
        }
    };
    if constexpr (Unrolled) {
#pragma GCC unroll 16
        for (int j = 1; j < n; ++j) column(j);
    } else {
#pragma GCC unroll 2
        for (int j = 1; j < n; ++j) column(j);
    }
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g) {
        S[k0 + g] = s[g];
        Se[k0 + g] = se[g];
    }
}

// The sums of any count of rows, in blocks of four rows (eight sums in flight) and the rest:
// a function of its own, so that the sums keep their registers whatever the step around it
// holds.
template <class V, bool LaneMatrix>
[[gnu::noinline]] void blockSums(const Matrix<V, LaneMatrix>& a, const V* x, const V* xe, int n,
                                 V* S, V* Se) {
    int k0 = 0;
    for (; k0 + 4 <= n; k0 += 4) rowSums<V, LaneMatrix, 4, false>(a, x, xe, n, k0, S, Se);
    switch (n - k0) {
        case 3:
            rowSums<V, LaneMatrix, 3, false>(a, x, xe, n, k0, S, Se);
            break;
        case 2:
            rowSums<V, LaneMatrix, 2, false>(a, x, xe, n, k0, S, Se);
            break;
        case 1:
            rowSums<V, LaneMatrix, 1, false>(a, x, xe, n, k0, S, Se);
            break;
        default:
            break;
    }
}

// Every row's sums: J rows at once when the count J is known here.
template <class V, bool LaneMatrix, int J>
[[gnu::always_inline]] inline void allSums(const Matrix<V, LaneMatrix>& a, const V* x, const V* xe,
                                           int n, V* S, V* Se) {
    if constexpr (J > 0)
        rowSums<V, LaneMatrix, J, true>(a, x, xe, J, 0, S, Se);
    else
        blockSums<V, LaneMatrix>(a, x, xe, n, S, Se);
}

// The lanes of one V: the populations and settings of their systems, from the state's lanes
// from `lane` on, and their step.
template <class V, int Native, bool LaneMatrix, int J>
struct LaneGroup {
    using M = typename Lane_Traits<V>::Mask;
    static constexpr int Rows = J > 0 ? J : MaxSpecies;

    [[gnu::always_inline]] LaneGroup(const LaneState& s, int lane)
        : a{s.a, J > 0 ? J : s.n, s.width, lane}, n(J > 0 ? J : s.n) {
        const int width = s.width;
        for (int k = 0; k < n; ++k) {
            x[k] = load<V>(s.x + k * width + lane);
            xe[k] = load<V>(s.xe + k * width + lane);
            r[k] = load<V>(s.r + k * width + lane);
        }
        dt = load<V>(s.dt + lane);
        recip = load<V>(s.recip + lane);
        total = load<V>(s.total + lane);
        time = load<V>(s.time + lane);
        LESum = load<V>(s.LESum + lane);
        std::memcpy(&bad, s.bad + lane, sizeof bad);
        timed = total > 0.0;
        d0 = s.d0;
        lowest = -s.screen;
    }

    [[gnu::always_inline]] void save(LaneState& s, int lane) const {
        const int width = s.width;
        for (int k = 0; k < n; ++k) {
            store(s.x + k * width + lane, x[k]);
            store(s.xe + k * width + lane, xe[k]);
        }
        store(s.time + lane, time);
        store(s.LESum + lane, LESum);
        std::memcpy(s.bad + lane, &bad, sizeof bad);
    }

    // The row sums of the step.
    [[gnu::always_inline]] void sums() { allSums<V, LaneMatrix, J>(a, x, xe, n, S, Se); }

    // The rest of the step, from the row sums; returns the lanes that must stop here (bad,
    // or at the end of their run time).
    [[gnu::always_inline]] M advance() {
        V SumSq = {};
        M far = {};
#pragma GCC unroll 16
        for (int k = 0; k < n; ++k) {
            const V updated = Main_Update(x[k], r[k], S[k], dt);
            xe[k] = Perturbed_Update(xe[k], r[k], Se[k], dt);
            const V sq = Squared_Difference(updated, xe[k]);
            SumSq = k == 0 ? sq : sq + SumSq;
            x[k] = Clamp_Population(updated);
            // A clamp is counted by the single run, which takes the system over.
            far |= (x[k] < lowest) | (updated >= 1.0);
        }
        const V Dist = Lane_Sqrt<Native>(SumSq);
        LESum = Exponent_Term(recip, Dist, d0) + LESum;
        V probe = SumSq + LESum;
#pragma GCC unroll 16
        for (int k = 0; k < n; ++k) {
            xe[k] = Pull_Back(xe[k], x[k], d0, Dist);
            probe = probe + xe[k];
        }
        time = dt + time;
        probe = probe + Lane_Select<V>(timed, time, V{});
        bad |= Lane_Non_Finite(probe) | far;
        return bad | (timed & (time >= total));
    }

    Matrix<V, LaneMatrix> a;
    int n;
    V x[Rows], xe[Rows], r[Rows];
    V S[Rows], Se[Rows];
    V dt, recip, total, time, LESum;
    M bad, timed;
    double d0, lowest;
};

// Up to `steps` steps of every lane, each the single run's step operation by operation: the
// row sums, the Euler updates, the squared differences in row order before the clamp, Dist,
// the exponent's term, the pull-back, and t. Stops early after a step that ended a lane's run
// time or marked a lane bad; returns the steps made.
//
// A lane is marked bad, for the caller to run that system again alone, where the single run
// might fail or draw a chart row out of range: any infinity or NaN in SumSq, the exponent's
// sum, the pulled-back populations or, for a timed run, t (an infinity or NaN in any of them
// reaches their sum; Dist = 0 gives the logarithm -infinity), or a population below
// -screen. The test is wider than the failures themselves; the single run then decides.
//
// V holds all the state's lanes: a vector, or a pair of them (Lane_Pair), whose two chains
// of dependent operations (the sums, SumSq, the square root, the divisions of the pull-back)
// the processor overlaps. J, when not 0, is the species count known at compile time: the
// populations stay in registers from step to step. Native is the widest vector of the
// instruction set, in doubles.
template <class V, int Native, bool LaneMatrix, int J>
[[gnu::always_inline]] inline long long Lane_Steps(LaneState& s, long long steps) {
    LaneGroup<V, Native, LaneMatrix, J> lanes(s, 0);
    long long done = 0;
    while (done < steps) {
        lanes.sums();
        const auto stop = lanes.advance();
        ++done;
        if (Lane_Any(stop)) break;
    }
    lanes.save(s, 0);
    return done;
}

}  // namespace
