#pragma once

#include <cstdint>
#include <optional>

#include "ChartColumn.h"
#include "Globals.h"
#include "ModelView.h"

// A sweep point's side of the model run, as lv-run's is but with no pixels: the chart's
// columns are kept (PlotColumn, the wrap at the width, every mark's row checked), the steps
// and the model time covered are counted, and the run stops after `maxSteps` steps.
class SweepView : public ModelView {
  public:
    SweepView(float chartWidth, float chartHeight, std::optional<long long> maxSteps)
        : width_(chartWidth), height_(chartHeight), maxSteps_(maxSteps) {}

    void Clear_Picture() override {}
    void Graph_Populations(const int16_t& n) override {
        NoPixels none;
        Chart_Column(n, width_, height_, none);
    }
    void Set_Info_Caption(const std::string&) override {}
    void Do_Events() override {
        ++steps_;
        time_ = dt + time_;  // the model time covered, summed as the run sums it
        if (maxSteps_ && steps_ >= *maxSteps_) StopRequested = -1;
    }

    long long Steps() const { return steps_; }
    double Time() const { return time_; }

  private:
    struct NoPixels {
        void Wrap() {}
        void Begin(int, int) {}
        void Mark(int, int, int16_t) {}
    };
    float width_, height_;
    std::optional<long long> maxSteps_;
    long long steps_ = 0;
    double time_ = 0;
};
