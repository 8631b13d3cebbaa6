#pragma once

// What the model and window benchmarks share: the bench model, and how each run starts from
// the same populations.

#include <benchmark/benchmark.h>

#include <array>
#include <functional>

#include "BenchModel.h"
#include "Model.h"

// Work for the end of the benchmarks, done in the reverse order of these calls.
void At_Bench_End(std::function<void()> work);

// The bench model of n species with time step `step` and run time `time`.
inline Model Bench_Model(int n, double step, double time) {
    Model m;
    Fill_Bench_Model(m.Species, n);
    m.Nanimals = static_cast<int16_t>(n);
    m.dt = step;
    m.TotalTime = time;
    return m;
}

// The populations a run starts from, and a run's start from them.
inline std::array<double, MaxSpecies> Start_Populations(const Model& m) {
    std::array<double, MaxSpecies> start{};
    for (int k = 0; k < m.Nanimals; ++k) start[k] = m.Species.rows[k].x;
    return start;
}
inline void Restart(Model& m, const std::array<double, MaxSpecies>& start) {
    for (int k = 0; k < m.Nanimals; ++k) m.Species.rows[k].x = start[k];
}
