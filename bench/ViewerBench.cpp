// The model run inside the shown window: chart columns into the picture, repaints and event
// processing included. Compare ns_per_step with BM_RunModel of the same species count.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QSlider>
#include <algorithm>
#include <array>
#include <chrono>
#include <ctime>
#include <limits>
#include <memory>

#include "BenchRun.h"
#include "ChartPace.h"
#include "Globals.h"
#include "ModelKernel.h"
#include "ModelRun.h"
#include "RunLength.h"
#include "StripChart.h"
#include "Subs.h"
#include "frmMain.h"

namespace {

constexpr double ViewerDt = 0.01;
// 80,001 steps, the length of a run of a column-style file: the one-off repaint of the
// cleared picture weighs on a run as it does in use.
constexpr double ViewerTime = 800;
constexpr int16_t ViewerPlotInterval = 30;  // window time 210 over the 700 columns

// Processor time of the whole program, every thread.
double processSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

QSlider& speedControl(frmMain& window) {
    return *window.findChild<QSlider*>(QStringLiteral("sldSpeed"));
}

// One application and one window for every benchmark, made on first use.
frmMain& benchWindow() {
    static std::unique_ptr<QApplication> app;
    static std::unique_ptr<frmMain> window;
    if (!window) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "lv-bench";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QApplication>(argc, argv);
        window = std::make_unique<frmMain>();
        speedControl(*window).setValue(Speed::Fastest);  // unpaced, unless a benchmark sets it
        window->show();
        At_Bench_End([] {  // before Qt's own static objects go
            window.reset();
            app.reset();
        });
        QCoreApplication::processEvents();
    }
    return *window;
}

// Loads the bench model of n species into the program's model, as a file would.
std::array<double, MaxSpecies> Set_Up_Bench_Model(int n, double step, double time) {
    ProgramModel = Bench_Model(n, step, time);
    return Start_Populations(ProgramModel);
}

// One run of the program's model from the start populations, as the window runs it.
void Bench_Run(ModelWindow& window, const std::array<double, MaxSpecies>& start,
               int16_t plotInterval) {
    Restart(ProgramModel, start);
    StopRequested = 0;
    Run_Model(window, Nanimals, plotInterval, TotalTime);
    benchmark::DoNotOptimize(LE);
}

// A window that does nothing: what is left is the model's own cost.
class NullWindow : public ModelWindow {
  public:
    void Clear_Picture() override {}
    void Graph_Populations(const int16_t&) override {}
    void Set_Info_Caption(const std::string&) override {}
    void Do_Events() override {}
    // Its Do_Events does nothing, so the run need not call it.
    long long Quiet_Steps() override { return std::numeric_limits<long long>::max(); }
};

// The same runs with a view that does nothing: the yardstick of the window's own cost, as
// BM_RunModel is, but of the same length as BM_ViewerRun's.
void BM_ViewerRunHeadless(benchmark::State& state) {
    const auto start = Set_Up_Bench_Model(static_cast<int>(state.range(0)), ViewerDt, ViewerTime);
    state.SetLabel(Kernel_Routine_Name(Nanimals));
    NullWindow view;
    for (auto _ : state) Bench_Run(view, start, ViewerPlotInterval);
    state.counters["ns_per_step"] = benchmark::Counter(
        double(Steps_For(ViewerTime, ViewerDt)) * 1e-9,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_ViewerRun(benchmark::State& state) {
    frmMain& window = benchWindow();
    const int n = static_cast<int>(state.range(0));
    const auto start = Set_Up_Bench_Model(n, ViewerDt, ViewerTime);
    state.SetLabel(Kernel_Routine_Name(n));
    for (int k = 0; k < n; ++k) Species.rows[k].Color = 0x2040C0 + 0x1F * k;
    double maxGapMs = 0, events = 0, busyMs = 0, late = 0;
    for (auto _ : state) {
        Bench_Run(window.Run_View(), start, ViewerPlotInterval);
        const frmMain::EventStats& s = window.Event_Stats();
        maxGapMs = std::max(maxGapMs, s.maxGapMs);
        events += double(s.calls);
        busyMs += s.busyMs;
        late += double(s.gapsOver2ms);
    }
    const double steps = double(Steps_For(ViewerTime, ViewerDt));
    state.counters["ns_per_step"] = benchmark::Counter(
        steps * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    // The longest wall time between two rounds of event processing, over all runs.
    state.counters["max_gap_ms"] = maxGapMs;
    state.counters["events_per_run"] = events / double(state.iterations());
    state.counters["events_ms_per_run"] = busyMs / double(state.iterations());
    // Share of the rounds that came late (a busy machine may take the core away now and then).
    state.counters["late_share"] = events > 0 ? late / events : 0;
}

// One sweep of the chart (701 columns of 31 steps) at the speed control's default, about 3 s:
// how much of a processor the paced window keeps busy while the user watches.
void BM_PacedViewerRun(benchmark::State& state) {
    frmMain& window = benchWindow();
    constexpr double SweepTime = 701 * 31 * ViewerDt;
    const auto start = Set_Up_Bench_Model(4, ViewerDt, SweepTime);
    speedControl(window).setValue(Speed::Default);
    double cpuSeconds = 0, wallSeconds = 0;
    for (auto _ : state) {
        const double cpu0 = processSeconds();
        const auto wall0 = std::chrono::steady_clock::now();
        Bench_Run(window.Run_View(), start, ViewerPlotInterval);
        wallSeconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        cpuSeconds += processSeconds() - cpu0;
    }
    speedControl(window).setValue(Speed::Fastest);
    state.counters["sweep_s"] = wallSeconds / double(state.iterations());
    state.counters["cpu_share"] = cpuSeconds / wallSeconds;
}

// One chart column into the window's 700 x 250 picture, sweep after sweep (no pause).
void BM_ChartColumn(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    Fill_Bench_Model(Species, n);
    for (int k = 0; k < n; ++k) Species.rows[k].Color = 0x2040C0 + 0x1F * k;
    const int16_t count = static_cast<int16_t>(n);
    ChartImage picture(700, 250);
    StripChart chart(picture.Surface());
    chart.Clear();
    PlotColumn = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(chart.Graph_Populations(Species, count, PlotColumn));
        // Into the picture once a sweep: the most often it happens (the window does it when
        // it repaints, about every 16 ms, when a sweep may have passed many times over).
        if (PlotColumn > 700) {
            chart.Render();
            PlotColumn = 0;
        }
    }
}

}  // namespace

BENCHMARK(BM_ChartColumn)->Arg(4)->Arg(51);
BENCHMARK(BM_ViewerRun)->Arg(4)->Arg(51)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PacedViewerRun)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_ViewerRunHeadless)->Arg(4)->Arg(51)->Unit(benchmark::kMillisecond);
