#pragma once

#include <QImage>
#include <optional>
#include <string>

#include "CountingView.h"
#include "Globals.h"
#include "RunHistory.h"
#include "StripChart.h"

// lv-run's side of the model run: an off-screen chart, no pause, no events to process; the
// steps counted, a stop at --steps, and the history written when one is asked for.
class HeadlessView : public CountingView {
  public:
    HeadlessView(QImage& image, std::optional<long long> maxSteps, RunHistory* history)
        : CountingView(maxSteps), chart_(image), history_(history) {}

    void Clear_Picture() override { chart_.Clear(); }
    void Graph_Populations(const int16_t& n) override {
        chart_.Graph_Populations(n);
        // The step and model time this column belongs to: Do_Events counts it after this.
        if (history_) history_->Row(Steps() + 1, dt + Time(), exponentSoFar_);
    }
    void Set_Info_Caption(const std::string& caption) override {
        chart_.Render();  // the run has ended: its picture is complete
        caption_ = caption;
    }
    bool Follows_Exponent() override { return history_ != nullptr; }
    void Exponent_So_Far(double LE) override { exponentSoFar_ = LE; }

    const std::string& Caption() const { return caption_; }

  private:
    StripChart chart_;
    RunHistory* history_;
    double exponentSoFar_ = 0;
    std::string caption_;
};
