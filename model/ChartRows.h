#pragma once

#include <cstdint>

#include "ChartColumn.h"
#include "RunObserver.h"

// The chart's row rule for a run that draws no pixels (a sweep's point, lv-run without an
// image): the columns are kept (PlotColumn, the wrap at the width) and every mark's row is
// checked, so that the run fails where its chart would.
class ChartRows : public RunObserver {
  public:
    ChartRows(float width, float height) : width_(width), height_(height) {}

    void Run_Starts(const Model& model) override {
        model_ = &model;
        PlotColumn = 0;
    }
    void Column(const RunSnapshot& now) override {
        NoPixels none;
        try {
            Chart_Column(model_->Species, model_->Nanimals, PlotColumn, width_, height_, none);
        } catch (const LvError& e) {
            throw Chart_Failure(e, now.step, PlotColumn);
        }
    }

    int16_t PlotColumn = 0;  // x of the next column

  private:
    struct NoPixels {
        void Wrap() {}
        void Begin(int, int) {}
        void Mark(int, int, int16_t) {}
    };
    const Model* model_ = nullptr;
    float width_, height_;
};
