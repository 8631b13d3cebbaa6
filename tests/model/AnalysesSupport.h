#pragma once

#include <cmath>
#include <functional>
#include <vector>

#include "Model.h"
#include "StepAnalysis.h"

// A model of n species from its rates, matrix rows, start populations and time step.
inline Model Make_Model(const std::vector<double>& r, const std::vector<std::vector<double>>& a,
                        const std::vector<double>& x, double dt) {
    Model model;
    model.Nanimals = static_cast<int16_t>(r.size());
    model.dt = dt;
    for (std::size_t k = 0; k < r.size(); ++k) {
        model.Species.rows[k].r = r[k];
        model.Species.rows[k].x = x[k];
        for (std::size_t j = 0; j < r.size(); ++j) model.Species.rows[k].a[j] = a[k][j];
    }
    return model;
}

// The chaotic four-species competition system of Vano et al. (2006).
inline Model Chaotic_Four() {
    return Make_Model(
        {1, 0.72, 1.53, 1.27},
        {{1, 1.09, 1.52, 0}, {0, 1, 0.44, 1.36}, {2.33, 0, 1, 0.47}, {1.21, 0.51, 0.35, 1}},
        {0.3, 0.4, 0.5, 0.6}, 0.01);
}

// The plainest Euler loop, apart from the model's kernel: all rows from start-of-step values,
// each sum over j in order from 0, the clamp, and t the running sum of dt. Feeds every
// analysis after every step, and `each` too when given.
inline std::vector<double> Plain_Euler_Run(const Model& model, long long steps,
                                           const std::vector<StepAnalysis*>& analyses,
                                           const std::function<void(const StepView&)>& each = {}) {
    const int n = model.Nanimals;
    std::vector<double> x(n), next(n);
    for (int k = 0; k < n; ++k) x[k] = model.Species.rows[k].x;
    for (StepAnalysis* analysis : analyses) analysis->Start(model);
    double t = 0;
    for (long long step = 1; step <= steps; ++step) {
        for (int k = 0; k < n; ++k) {
            const SpeciesRec& row = model.Species.rows[k];
            double S = 0;
            for (int j = 0; j < n; ++j) S = row.a[j] * x[j] + S;
            next[k] = model.dt * ((row.r * x[k]) * (1 - S)) + x[k];
            if (next[k] >= 1) next[k] = 0.9999999;
        }
        t = model.dt + t;
        const StepView view{step, t, model.dt, x, next, model};
        for (StepAnalysis* analysis : analyses) analysis->Step(view);
        if (each) each(view);
        x.swap(next);
    }
    return x;
}
