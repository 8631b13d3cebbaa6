#include "ScalarBaseline.h"

#include <cmath>
#include <random>

#include "ModelLog.h"

double Scalar_Baseline_Run(SpeciesTable& table, int n, double dt, long long steps) {
    const double d0 = std::pow(10.0, -12.0);
    double Xe[MaxSpecies] = {}, XOld[MaxSpecies] = {}, XeOld[MaxSpecies] = {};
    for (int i = 0; i < n; ++i) Xe[i] = table.rows[i].x;
    Xe[1] = d0 + table.rows[1].x;
    double LESum = 0;
    for (long long step = 0; step < steps; ++step) {
        for (int i = 0; i < n; ++i) {
            XOld[i] = table.rows[i].x;
            XeOld[i] = Xe[i];
        }
        double SumSq = 0;
        for (int k = 0; k < n; ++k) {
            SpeciesRec& sp = table.rows[k];
            double S = 0, Se = 0;
            for (int j = 0; j < n; ++j) {
                S = sp.a[j] * XOld[j] + S;
                Se = sp.a[j] * XeOld[j] + Se;
            }
            const double g = (sp.r * sp.x) * (1 - S);
            sp.x = dt * g + sp.x;
            const double ge = (Xe[k] * sp.r) * (1 - Se);
            Xe[k] = dt * ge + Xe[k];
            SumSq = (sp.x - Xe[k]) * (sp.x - Xe[k]) + SumSq;
            if (sp.x >= 1) sp.x = 0.9999999;
        }
        const double Dist = std::sqrt(SumSq);
        LESum = (1 / dt) * Model_Log(Dist / d0) + LESum;
        for (int i = 0; i < n; ++i)
            Xe[i] = ((Xe[i] - table.rows[i].x) * d0) / Dist + table.rows[i].x;
    }
    return LESum / static_cast<double>(steps);
}

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

long long Steps_For(double totalTime, double dt) {
    double t = 0;
    long long steps = 0;
    do {
        t = dt + t;
        ++steps;
    } while (t < totalTime);
    return steps;
}
