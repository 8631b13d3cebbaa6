// Many runs of one model in one process: the sweep's points, side by side in vector lanes, on
// every processor the program may use, as lv-sweep runs them. Compare ns_per_system_step with
// BM_RunModel's ns_per_step of the same species count (one run on one processor).
#include <benchmark/benchmark.h>

#include <chrono>

#include "BenchRun.h"
#include "RunLength.h"
#include "SweepExecutor.h"
#include "SweepLanes.h"
#include "SweepPoints.h"
#include "SweepRun.h"

namespace {

constexpr double SweepDt = 0.01;
constexpr double SweepTime = 20;  // 2,001 steps a point
constexpr long long SweepPointCount = 128;

// The bench model's sweep over r(0) on `threads` threads, through the lanes lv-sweep uses
// or, with `alone`, one point after the other.
void runSweep(benchmark::State& state, int n, int threads, bool alone = false) {
    SweepBase base;
    base.model = Bench_Model(n, SweepDt, SweepTime);
    const SweepPoints points({SweepAxis::Parse("r(0)=0.9:1.1:" + std::to_string(SweepPointCount))},
                             std::nullopt, {});
    const SweepRun run(base, {points.Axes()[0].parameter});
    run.Prepare();
    const BatchRunner runner = alone ? Scalar_Runner(run) : Lane_Runner(run);
    state.SetLabel(runner.name);
    long long failed = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        Run_Points(points, runner, threads, [&](const PointResult& r) { failed += !r.Ok(); });
    const double ns =
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    const double systemSteps = double(state.iterations()) * double(SweepPointCount) *
                               double(Steps_For(SweepTime, SweepDt));
    state.counters["ns_per_system_step"] = ns / systemSteps;
    state.counters["threads"] = threads;
    if (failed > 0) state.SkipWithError("a point of the bench sweep failed");
}

// Every usable processor.
void BM_Sweep(benchmark::State& state) {
    runSweep(state, static_cast<int>(state.range(0)), Usable_Processors());
}

// The same sweep on a given number of threads: how it scales.
void BM_SweepThreads(benchmark::State& state) {
    runSweep(state, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
}

// Each point in a run of its own, on every usable processor: what the lanes gain.
void BM_SweepAlone(benchmark::State& state) {
    runSweep(state, static_cast<int>(state.range(0)), Usable_Processors(), true);
}

}  // namespace

BENCHMARK(BM_Sweep)->Arg(4)->Arg(10)->Arg(51)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SweepThreads)
    ->Args({4, 1})
    ->Args({4, 2})
    ->Args({51, 1})
    ->Args({51, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_SweepAlone)->Arg(4)->Arg(51)->Unit(benchmark::kMillisecond)->UseRealTime();
