#pragma once

#include <cstdint>

#include "ChartColumn.h"
#include "PixelSurface.h"
#include "RunObserver.h"
#include "StripChart.h"

// lv-run's strip chart: the window's chart drawn off screen, with no pause at its wraps.
class HeadlessChart : public RunObserver {
  public:
    explicit HeadlessChart(PixelSurface picture) : chart_(picture) {}

    void Run_Starts(const Model& model) override {
        model_ = &model;
        chart_.Clear();
        PlotColumn = 0;
    }
    void Column(const RunSnapshot& now) override {
        try {
            chart_.Graph_Populations(model_->Species, model_->Nanimals, PlotColumn);
        } catch (const LvError& e) {
            throw Chart_Failure(e, now.step, PlotColumn);
        }
    }
    void Run_Ends(const RunSnapshot&) override { chart_.Render(); }

    int16_t PlotColumn = 0;  // x of the next column

  private:
    StripChart chart_;
    const Model* model_ = nullptr;
};
