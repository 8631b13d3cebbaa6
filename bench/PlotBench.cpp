// The plots, through the library the runners load: what each kind costs as its points grow
// (the line plot was quadratic in its points, appending them one at a time to a series the
// chart redrew for each), and what each format costs.
#include <benchmark/benchmark.h>

#include <cmath>

#include "Plots.h"

namespace {

// A sweep's exponents that wander about 0 as the parameter goes, with a failure now and then.
SweepPlotData sweepData(long long points, int axes) {
    SweepPlotData d;
    d.subject = "bench";
    d.totalPoints = points;
    const auto side = axes == 2 ? (long long)std::ceil(std::sqrt(double(points))) : points;
    if (axes >= 1) d.axes.push_back({"r(1)", 0.5, 1, side});
    if (axes == 2) d.axes.push_back({"a(0,1)", 0.9, 1.3, side});
    if (axes == 0) {
        d.seeds = points;
        d.seedRange = std::make_pair(1u, uint32_t(points));
    }
    d.points.resize(std::size_t(points));
    for (long long i = 0; i < points; ++i) {
        PlotPoint& p = d.points[std::size_t(i)];
        p.column = axes == 2 ? i / side : i;
        p.row = axes == 2 ? i % side : 0;
        p.x = 0.5 + 0.5 * double(p.column) / double(side);
        p.y = 0.9 + 0.4 * double(p.row) / double(side);
        if (i % 997 != 0) p.LE = 0.01 * std::sin(double(i) * 0.37) + 0.004 * std::cos(p.x * 40);
    }
    return d;
}

void plotSweep(benchmark::State& state, int axes, PlotFormat format) {
    const SweepPlotData d = sweepData(state.range(0), axes);
    for (auto _ : state) benchmark::DoNotOptimize(Sweep_Plot_File(d, format, "lv-bench"));
    state.SetComplexityN(state.range(0));
}

// LE against one parameter.
void BM_PlotLine(benchmark::State& state) {
    plotSweep(state, 1, PlotFormat::Png);
}
// The map of two, as many cells as points.
void BM_PlotMap(benchmark::State& state) {
    plotSweep(state, 2, PlotFormat::Png);
}
// The histogram of an ensemble.
void BM_PlotHistogram(benchmark::State& state) {
    plotSweep(state, 0, PlotFormat::Png);
}

// The orbit diagram of the logistic map x -> a x (1 - x): its maxima are its values, and it
// makes millions of pairs in no time, with the orbit diagram's windows and doublings.
OrbitPlotData orbitData(long long pairs) {
    OrbitPlotData d{"a", 0, {}, {}, 0, "logistic map"};
    const long long perRun = 200, runs = std::max(1LL, pairs / perRun);
    for (long long r = 0; r < runs; ++r) {
        const double a = 2.8 + 1.2 * double(r) / double(runs);
        double x = 0.5;
        for (int i = 0; i < 500; ++i) x = a * x * (1 - x);
        for (long long i = 0; i < perRun; ++i) {
            x = a * x * (1 - x);
            d.values.push_back(a);
            d.maxima.push_back(x);
        }
    }
    return d;
}

void BM_PlotOrbit(benchmark::State& state) {
    const OrbitPlotData d = orbitData(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(Orbit_Plot_File(d, PlotFormat::Png, "lv-bench"));
    state.SetComplexityN(state.range(0));
}

// A path about a torus seen from two of its three coordinates, coloured by the third.
AttractorPlotData attractorData(long long steps) {
    AttractorPlotData d{0, 1, 2, {}, {}, {}, 0, "torus"};
    for (long long s = 0; s < steps; ++s) {
        const double u = double(s) * 0.01, v = double(s) * 0.0137;
        d.xi.push_back((1 + 0.4 * std::cos(v)) * std::cos(u));
        d.xj.push_back((1 + 0.4 * std::cos(v)) * std::sin(u));
        d.xk.push_back(0.4 * std::sin(v));
    }
    return d;
}

void BM_PlotAttractor(benchmark::State& state) {
    const AttractorPlotData d = attractorData(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(Attractor_Plot_File(d, PlotFormat::Png, "lv-bench"));
    state.SetComplexityN(state.range(0));
}

// Each format, for the map of 100 x 100 and the line of 10,000 points.
void BM_PlotFormat(benchmark::State& state) {
    const auto format = static_cast<PlotFormat>(state.range(1));
    state.SetLabel(format == PlotFormat::Png ? "PNG" : format == PlotFormat::Svg ? "SVG" : "PDF");
    const SweepPlotData d = sweepData(10000, int(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(Sweep_Plot_File(d, format, "lv-bench"));
}

}  // namespace

BENCHMARK(BM_PlotLine)
    ->RangeMultiplier(10)
    ->Range(1000, 1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_PlotMap)
    ->RangeMultiplier(10)
    ->Range(1000, 1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_PlotHistogram)
    ->RangeMultiplier(10)
    ->Range(1000, 1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_PlotOrbit)
    ->RangeMultiplier(10)
    ->Range(10000, 10000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_PlotAttractor)
    ->RangeMultiplier(10)
    ->Range(1000, 1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_PlotFormat)->ArgsProduct({{1, 2}, {0, 1, 2}})->Unit(benchmark::kMillisecond);
