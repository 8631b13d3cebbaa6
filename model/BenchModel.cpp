#include "BenchModel.h"

#include <random>

void Fill_Bench_Model(SpeciesTable& table, int n, uint64_t seed) {
    if (n == 4) {
        static const double r[4] = {1, 0.72, 1.53, 1.27};
        static const double a[4][4] = {
            {1, 1.09, 1.52, 0}, {0, 1, 0.44, 1.36}, {2.33, 0, 1, 0.47}, {1.21, 0.51, 0.35, 1}};
        static const double x[4] = {0.3, 0.4, 0.5, 0.6};
        for (int k = 0; k < 4; ++k) {
            for (int j = 0; j < 4; ++j) table.rows[k].a[j] = a[k][j];
            table.rows[k].r = r[k];
            table.rows[k].x = x[k];
        }
        return;
    }
    std::mt19937_64 engine(seed);
    // 53 random bits: the same values with every standard library.
    auto uniform = [&engine] { return static_cast<double>(engine() >> 11) * 0x1p-53; };
    for (int k = 0; k < n; ++k) {
        for (int j = 0; j < n; ++j) table.rows[k].a[j] = k == j ? 1.0 : uniform() * 2.0 / n;
        table.rows[k].r = 0.5 + uniform();
        table.rows[k].x = 0.05 + 0.4 * uniform();
    }
}
