#include "PlainRun.h"

#include <cmath>

#include "ModelLog.h"

PlainStep Plain_Step(SpeciesTable& Species, int n, double dt, double d0, double* Xe) {
    double XOld[MaxSpecies], XeOld[MaxSpecies];
    for (int i = 0; i < n; ++i) {
        XOld[i] = Species.rows[i].x;
        XeOld[i] = Xe[i];
    }
    double SumSq = 0;
    int clamps = 0;
    for (int k = 0; k < n; ++k) {
        SpeciesRec& sp = Species.rows[k];
        double S = 0, Se = 0;
        for (int j = 0; j < n; ++j) {
            S = sp.a[j] * XOld[j] + S;
            Se = sp.a[j] * XeOld[j] + Se;
        }
        const double g = (sp.r * sp.x) * (1 - S);
        sp.x = dt * g + sp.x;
        const double ge = (Xe[k] * sp.r) * (1 - Se);
        Xe[k] = dt * ge + Xe[k];
        const double diff = sp.x - Xe[k];
        SumSq = diff * diff + SumSq;
        if (sp.x >= 1) {
            sp.x = 0.9999999;
            ++clamps;
        }
    }
    const double Dist = std::sqrt(SumSq);
    for (int i = 0; i < n; ++i)
        Xe[i] = ((Xe[i] - Species.rows[i].x) * d0) / Dist + Species.rows[i].x;
    return {Dist, clamps};
}

PlainRun::PlainRun(const SpeciesTable& table, int n) : d0(std::pow(10.0, -12.0)), sp(table), n(n) {
    for (int i = 0; i < n; ++i) Xe[i] = sp.rows[i].x;
    Xe[1] = d0 + sp.rows[1].x;
}

void PlainRun::Step(double dt) {
    const PlainStep s = Plain_Step(sp, n, dt, d0, Xe);
    LESum = (1 / dt) * Model_Log(s.Dist / d0) + LESum;
    ++steps;
    clamps += s.clamps;
}
