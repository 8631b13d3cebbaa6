#pragma once

#include <string>
#include <utility>
#include <vector>

#include "Model.h"

// The interior equilibrium of the flow: the populations with sum over j of a(k, j) x(j) = 1
// for every species in use, where every growth rate r(k) (1 - S(k)) vanishes, and the kind of
// fixed point it is.
struct Equilibrium {
    // The matrix is singular or nearly so (its reciprocal condition number, estimated in the
    // 1-norm, below N times the machine epsilon, where the solution would have no correct
    // digit): no single equilibrium, and x, the eigenvalues and the kind say nothing more.
    bool singular = false;
    std::vector<double> x;
    bool feasible = false;  // every x(k) > 0
    // Of the flow's Jacobian there, J(k, j) = -r(k) x(k) a(k, j) (1 - S(k) is 0 there), as
    // (re, im), by real part descending (then imaginary part descending).
    std::vector<std::pair<double, double>> eigenvalues;
    bool stable = false;  // every real part below 0
    // "stable node", "stable focus", "unstable node", "unstable focus", "saddle",
    // "saddle focus" (a focus when a complex pair is among the eigenvalues), "non-hyperbolic"
    // when a real part is 0 to rounding (at most 1e-12 times the largest modulus), where the
    // linearisation cannot tell (a centre, a line of equilibria, a zero growth rate), or
    // "singular"; "undetermined" if the eigenvalue iteration did not converge.
    std::string kind;
};

// For species 0 to model.Nanimals - 1 of the model. Never throws for a singular matrix.
Equilibrium Interior_Equilibrium(const Model& model);
