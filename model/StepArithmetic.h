#pragma once

#include "LaneVector.h"
#include "ModelLog.h"

// The arithmetic of a model step, row by row, in the model's order and grouping: written once
// and used by the single run's kernel (lanes are rows of one system) and by the sweep's lanes
// (lanes are systems). V is a double or a vector of them; a scalar operand (a time step, d0,
// the distance of one system) may stand beside a vector one.

inline constexpr double Clamped_Population = 0.9999999;  // 3FEFFFFFCA501ACB

// One term of a row's sum over j: S = a(k, j) * x(j) + S.
template <class A, class X, class S>
[[gnu::always_inline]] inline S Sum_Term(A a, X x, S sum) {
    return a * x + sum;
}

// The Euler update of the main trajectory, x = dt * ((r * x) * (1 - S)) + x ...
template <class V, class T>
[[gnu::always_inline]] inline V Main_Update(V x, V r, V S, T dt) {
    return dt * ((r * x) * (1.0 - S)) + x;
}

// ... and of the perturbed one, whose factors come in the other order:
// xe = dt * ((xe * r) * (1 - Se)) + xe.
template <class V, class T>
[[gnu::always_inline]] inline V Perturbed_Update(V xe, V r, V Se, T dt) {
    return dt * ((xe * r) * (1.0 - Se)) + xe;
}

// (x - xe)^2, taken before the clamp.
template <class V>
[[gnu::always_inline]] inline V Squared_Difference(V x, V xe) {
    const V d = x - xe;
    return d * d;
}

// Populations that reach 1 are set back just below it; the perturbed copy never is.
template <class V>
[[gnu::always_inline]] inline V Clamp_Population(V x) {
    return Lane_Select<V>(x >= 1.0, Lane_Splat<V>(Clamped_Population), x);
}

// The perturbed population pulled back to the distance d0 of the clamped main one:
// xe = ((xe - x) * d0) / Dist + x.
template <class V, class D0, class D>
[[gnu::always_inline]] inline V Pull_Back(V xe, V x, D0 d0, D Dist) {
    return ((xe - x) * d0) / Dist + x;
}

// A step's term of the exponent's sum, (1 / dt) * ln(Dist / d0), with 1 / dt given.
template <class V, class D>
[[gnu::always_inline]] inline V Exponent_Term(V recip, V Dist, D d0) {
    return recip * Model_Log<V>(Dist / d0);
}
