#include <benchmark/benchmark.h>

#include <array>
#include <chrono>

#include "BenchRun.h"
#include "Globals.h"
#include "ModelKernel.h"
#include "ModelRun.h"
#include "ModelView.h"
#include "ScalarBaseline.h"

namespace {

constexpr double BenchDt = 0.01;
constexpr double BenchTime = 20;  // 2,000 steps per run
constexpr int16_t BenchPlotInterval = 9;

// Wall time of the timed loop per model step, as a plain number of nanoseconds.
class StepTimer {
  public:
    StepTimer() : start_(std::chrono::steady_clock::now()) {}
    void report(benchmark::State& state, long long steps) const {
        const double ns =
            std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start_)
                .count();
        state.counters["ns_per_step"] =
            ns / (static_cast<double>(state.iterations()) * static_cast<double>(steps));
    }

  private:
    std::chrono::steady_clock::time_point start_;
};

void BM_RunModel(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const auto start = Set_Up_Bench_Model(n, BenchDt, BenchTime);
    state.SetLabel(Kernel_Routine_Name(n));  // chosen here, outside the timed runs
    NullView view;
    const StepTimer timer;
    for (auto _ : state) Bench_Run(view, start, BenchPlotInterval);
    timer.report(state, Steps_For(BenchTime, BenchDt));
}

void BM_ScalarBaseline(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    static SpeciesTable table;
    Fill_Bench_Model(table, n);
    std::array<double, MaxSpecies> start{};
    for (int k = 0; k < n; ++k) start[k] = table.rows[k].x;
    const long long steps = Steps_For(BenchTime, BenchDt);
    const StepTimer timer;
    for (auto _ : state) {
        for (int k = 0; k < n; ++k) table.rows[k].x = start[k];
        benchmark::DoNotOptimize(Scalar_Baseline_Run(table, n, BenchDt, steps));
    }
    timer.report(state, steps);
}

}  // namespace

BENCHMARK(BM_RunModel)->Arg(4)->Arg(10)->Arg(51);
BENCHMARK(BM_ScalarBaseline)->Arg(4)->Arg(10)->Arg(51);
