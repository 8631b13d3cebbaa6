#pragma once

#include "Model.h"

// The model's step as its definition states it: one operation at a time, in its order and
// grouping, row by row with the sum over j inside, nothing vectorised, reordered or fused.
// It is the statement that the fast kernel and the sweep's lanes are held to bit for bit,
// and the yardstick of the benchmarks.

// One step of rows 0 to n - 1: the main trajectory is the table's populations, updated in
// place, the perturbed one is `Xe`; both from start-of-step values. The squared differences
// are summed before the clamp, the main populations clamped at 1, and the perturbed ones
// pulled back to d0 of the clamped main ones. Checks nothing: a failure shows as an
// infinity or a NaN.
struct PlainStep {
    double Dist;  // the distance of the two trajectories, before the clamps
    int clamps;   // rows set back to 0.9999999
};
PlainStep Plain_Step(SpeciesTable& Species, int n, double dt, double d0, double* Xe);

// A run of plain steps on its own copy of the table, with the exponent's sum, from the
// perturbation of row 1 by d0.
class PlainRun {
  public:
    PlainRun(const SpeciesTable& table, int n);

    void Step(double dt);
    double LE() const { return LESum / static_cast<double>(steps); }

    const double d0;
    SpeciesTable sp;  // the main trajectory in x; rates and matrix as given
    int n;
    double Xe[MaxSpecies] = {};
    double LESum = 0;
    long long steps = 0;
    long long clamps = 0;
};
