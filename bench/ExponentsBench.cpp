// The Lyapunov spectrum alone, fed a trajectory of the bench model computed beforehand: what
// the analysis adds to each step of a run. Compare ns_per_step with BM_RunModel's at the same
// count, and with bench/exponents_numpy.py time (microseconds a step in numpy).
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "BenchModel.h"
#include "LyapunovExponents.h"
#include "Model.h"

namespace {

constexpr double SpectrumDt = 0.01;
constexpr long long SpectrumSteps = 2000;

// The populations at the start and end of every step of a run of the bench model, by the
// plain Euler loop.
struct Trajectory {
    Model model;
    std::vector<std::vector<double>> x;  // x[s] before step s + 1
};

Trajectory benchTrajectory(int n) {
    Trajectory trajectory;
    Fill_Bench_Model(trajectory.model.Species, n);
    trajectory.model.Nanimals = static_cast<int16_t>(n);
    trajectory.model.dt = SpectrumDt;
    std::vector<double> x(n);
    for (int k = 0; k < n; ++k) x[k] = trajectory.model.Species.rows[k].x;
    trajectory.x.push_back(x);
    for (long long s = 0; s < SpectrumSteps; ++s) {
        std::vector<double> next(n);
        for (int k = 0; k < n; ++k) {
            const SpeciesRec& row = trajectory.model.Species.rows[k];
            double S = 0;
            for (int j = 0; j < n; ++j) S = row.a[j] * x[j] + S;
            next[k] = SpectrumDt * ((row.r * x[k]) * (1 - S)) + x[k];
            if (next[k] >= 1) next[k] = 0.9999999;
        }
        trajectory.x.push_back(next);
        x = next;
    }
    return trajectory;
}

// Arguments: the species count, and the vectors carried (0 for all of them).
void BM_SpectrumAlone(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const Trajectory trajectory = benchTrajectory(n);
    LyapunovExponents spectrum({.vectors = static_cast<int>(state.range(1))});
    state.SetLabel(spectrum.Build_Name());
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        spectrum.Start(trajectory.model);
        double t = 0;
        for (long long s = 0; s < SpectrumSteps; ++s) {
            t = SpectrumDt + t;
            spectrum.Step(
                {s + 1, t, SpectrumDt, trajectory.x[s], trajectory.x[s + 1], trajectory.model});
        }
        benchmark::DoNotOptimize(spectrum.Result());
    }
    const double ns =
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    state.counters["ns_per_step"] = ns / (double(state.iterations()) * double(SpectrumSteps));
}

}  // namespace

BENCHMARK(BM_SpectrumAlone)
    ->Args({4, 0})
    ->Args({4, 1})
    ->Args({10, 0})
    ->Args({10, 1})
    ->Args({51, 0})
    ->Args({51, 1});
