#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <string>

#include "BenchRun.h"
#include "LyapunovExponents.h"
#include "ModelKernel.h"
#include "ModelRun.h"
#include "PlainRun.h"
#include "RunLength.h"

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

// One run of the model with nobody watching: the model's own cost.
void BM_RunModel(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    Model model = Bench_Model(n, BenchDt, BenchTime);
    const auto start = Start_Populations(model);
    state.SetLabel(Kernel_Routine_Name(n));  // chosen here, outside the timed runs
    RunControl control;
    const StepTimer timer;
    for (auto _ : state) {
        Restart(model, start);
        benchmark::DoNotOptimize(Run_Model(model, {BenchPlotInterval, {}}, control).LE);
    }
    timer.report(state, Steps_For(BenchTime, BenchDt));
}

// The run with its whole Lyapunov spectrum (QR every 10 steps), as lv-run --spectrum makes
// it: compare with BM_RunModel of the same count, and with bench/exponents_numpy.py time.
void BM_Spectrum(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    Model model = Bench_Model(n, BenchDt, BenchTime);
    const auto start = Start_Populations(model);
    LyapunovExponents spectrum;
    state.SetLabel(std::string(Kernel_Routine_Name(n)) + ", " + spectrum.Build_Name());
    RunControl control;
    const StepTimer timer;
    for (auto _ : state) {
        Restart(model, start);
        benchmark::DoNotOptimize(
            Run_Model(model, {BenchPlotInterval, {}}, control, {.analyses = {&spectrum}}).LE);
        benchmark::DoNotOptimize(spectrum.Result());
    }
    timer.report(state, Steps_For(BenchTime, BenchDt));
}

// The same steps by the plain statement of the model's arithmetic: the yardstick.
void BM_ScalarBaseline(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const Model model = Bench_Model(n, BenchDt, BenchTime);
    const long long steps = Steps_For(BenchTime, BenchDt);
    const StepTimer timer;
    for (auto _ : state) {
        PlainRun run(model.Species, n);
        for (long long s = 0; s < steps; ++s) run.Step(BenchDt);
        benchmark::DoNotOptimize(run.LE());
    }
    timer.report(state, steps);
}

}  // namespace

BENCHMARK(BM_RunModel)->Arg(4)->Arg(10)->Arg(51);
BENCHMARK(BM_ScalarBaseline)->Arg(4)->Arg(10)->Arg(51);
BENCHMARK(BM_Spectrum)->Arg(4)->Arg(10)->Arg(51);
