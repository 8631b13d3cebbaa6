#pragma once

// What the model and window benchmarks share: a view that does nothing, and one run of the
// bench model from the same start each time.

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "Globals.h"
#include "ModelRun.h"
#include "ModelView.h"
#include "ScalarBaseline.h"

// Work for the end of the benchmarks, done in the reverse order of these calls.
void At_Bench_End(std::function<void()> work);

// A window that does nothing: what is left is the model's own cost.
class NullView : public ModelView {
  public:
    void Clear_Picture() override {}
    void Graph_Populations(const int16_t&) override {}
    void Set_Info_Caption(const std::string&) override {}
    void Do_Events() override {}
    // Its Do_Events does nothing, so the run need not call it.
    long long Quiet_Steps() override { return std::numeric_limits<long long>::max(); }
};

// Loads the bench model of n species with time step `step` and run time `time`; returns
// its start populations.
inline std::array<double, MaxSpecies> Set_Up_Bench_Model(int n, double step, double time) {
    Fill_Bench_Model(Species, n);
    std::array<double, MaxSpecies> start{};
    for (int k = 0; k < n; ++k) start[k] = Species.rows[k].x;
    Nanimals = static_cast<int16_t>(n);
    dt = step;
    TotalTime = time;
    return start;
}

// One run from the start populations.
inline void Bench_Run(ModelView& view, const std::array<double, MaxSpecies>& start,
                      int16_t plotInterval) {
    for (int k = 0; k < Nanimals; ++k) Species.rows[k].x = start[k];
    StopRequested = 0;
    Run_Model(view, Nanimals, plotInterval, TotalTime);
    benchmark::DoNotOptimize(LE);
}
