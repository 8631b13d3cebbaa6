#pragma once

#include <QImage>
#include <cstdint>
#include <optional>
#include <string>

#include "Globals.h"
#include "LvError.h"
#include "ModelView.h"
#include "StripChart.h"

// The runner's side of the model run: an off-screen chart, no pause, no events to process.
// Do_Events comes exactly once per step, so it counts the steps and stops the run at --steps.
class HeadlessView : public ModelView {
  public:
    HeadlessView(QImage& image, std::optional<int64_t> maxSteps)
        : chart_(image), maxSteps_(maxSteps) {}

    void Clear_Picture() override { chart_.Clear(); }
    void Graph_Populations(const int16_t& n) override { chart_.Graph_Populations(n); }
    void Set_Info_Caption(const std::string& caption) override { caption_ = caption; }
    void Do_Events() override {
        ++steps_;
        time_ = dt + time_;  // the model time covered, summed as the run sums it
        if (maxSteps_ && steps_ >= *maxSteps_) StopRequested = -1;
    }

    int64_t Steps() const { return steps_; }
    double Time() const { return time_; }
    const std::string& Caption() const { return caption_; }

  private:
    StripChart chart_;
    std::optional<int64_t> maxSteps_;
    int64_t steps_ = 0;
    double time_ = 0;
    std::string caption_;
};
