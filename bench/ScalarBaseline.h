#pragma once

#include <cstdint>

#include "Globals.h"

// The yardstick for the model run: the same steps computed by the plainest loop, row by row
// with the inner loop over j, straight from the formulas. No window, no failure checks.
// Updates rows 0 to n - 1 of `table` in place (the main trajectory is the table) and returns
// the mean Lyapunov exponent over the `steps` steps.
double Scalar_Baseline_Run(SpeciesTable& table, int n, double dt, long long steps);

// A bounded competition model of n species for the benchmarks and the comparisons: the
// chaotic four-species system of Vano et al. (2006) for n = 4, otherwise a seeded random
// competitive matrix with unit self-interaction. Fills a, r and x of rows 0 to n - 1.
void Fill_Bench_Model(SpeciesTable& table, int n, uint64_t seed = 12345);

// The number of steps of a run of `totalTime` with steps of `dt`: the smallest number of
// additions of dt whose running sum reaches totalTime.
long long Steps_For(double totalTime, double dt);
