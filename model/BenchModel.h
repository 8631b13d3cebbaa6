#pragma once

#include <cstdint>

#include "Model.h"

// A bounded competition model of n species for the benchmarks and the comparisons: the
// chaotic four-species system of Vano et al. (2006) for n = 4, otherwise a seeded random
// competitive matrix with unit self-interaction. Fills a, r and x of rows 0 to n - 1.
void Fill_Bench_Model(SpeciesTable& table, int n, uint64_t seed = 12345);
