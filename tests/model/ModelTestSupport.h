#pragma once

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "BenchModel.h"
#include "Globals.h"
#include "ModelLog.h"
#include "PlainRun.h"
#include "Subs.h"

// A view that records what the model run asks of the window, and lets a test act from
// inside the run (as the Stop button does) through `onEvents`.
class RecordingView : public ModelWindow {
  public:
    void Clear_Picture() override {
        calls.push_back("clear");
        ++clears;
    }
    void Graph_Populations(const int16_t& n) override {
        calls.push_back("graph");
        graphSteps.push_back(steps + 1);  // drawn inside the step whose events come next
        graphCounts.push_back(n);
    }
    void Set_Info_Caption(const std::string& caption) override {
        calls.push_back("caption");
        captions.push_back(caption);
    }
    void Do_Events() override {
        ++steps;
        if (keepCalls) calls.push_back("events");
        if (onEvents) onEvents(*this);
    }
    long long Quiet_Steps() override { return quiet; }

    std::vector<std::string> calls;
    bool keepCalls = false;  // "events" entries only when asked: long runs make many
    int clears = 0;
    long long steps = 0;  // one Do_Events per step, unless `quiet` is set
    long long quiet = 0;  // steps let pass after each Do_Events
    std::vector<long long> graphSteps;
    std::vector<int16_t> graphCounts;
    std::vector<std::string> captions;
    std::function<void(RecordingView&)> onEvents;
};

// Every global back to its program-start value.
inline void Reset_Globals() {
    Species = SpeciesTable{};
    Nanimals = 0;
    TotalTime = 0;
    dt = 0;
    StopRequested = 0;
    PlotColumn = 0;
    LE = 0;
}

// The chaotic four-species competition system of Vano et al. (2006), the bench model of four.
inline void Load_Chaotic_Four() {
    Fill_Bench_Model(Species, 4);
    Nanimals = 4;
}

inline uint64_t Bits(double v) {
    uint64_t b;
    __builtin_memcpy(&b, &v, sizeof b);
    return b;
}
