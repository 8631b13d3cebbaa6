#pragma once

#include <cstdint>
#include <optional>

#include "ChartColumn.h"
#include "CountingView.h"
#include "Globals.h"

// A sweep point's side of the model run, as lv-run's is but with no pixels: the chart's
// columns are kept (PlotColumn, the wrap at the width, every mark's row checked), the steps
// and the model time covered are counted, and the run stops after `maxSteps` steps.
class SweepView : public CountingView {
  public:
    SweepView(float chartWidth, float chartHeight, std::optional<long long> maxSteps)
        : CountingView(maxSteps), width_(chartWidth), height_(chartHeight) {}

    void Clear_Picture() override {}
    void Graph_Populations(const int16_t& n) override {
        NoPixels none;
        Chart_Column(n, width_, height_, none);
    }
    void Set_Info_Caption(const std::string&) override {}

  private:
    struct NoPixels {
        void Wrap() {}
        void Begin(int, int) {}
        void Mark(int, int, int16_t) {}
    };
    float width_, height_;
};
