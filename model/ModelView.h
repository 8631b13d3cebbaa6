#pragma once

#include <cstdint>
#include <string>

// What the model run needs of a window: the window, the headless runner, the tests and the
// benchmarks each attach through this.
class ModelView {
  public:
    virtual ~ModelView() = default;
    // Erase everything drawn on the chart (start of a run).
    virtual void Clear_Picture() = 0;
    // Draw one chart column from Species(k).x and .Color, and advance PlotColumn.
    virtual void Graph_Populations(const int16_t& Nanimals) = 0;
    // The result caption under the chart ("LE = ...").
    virtual void Set_Info_Caption(const std::string& caption) = 0;
    // Let pending window events run (Stop, repaints, the menu); called after every step,
    // except for the steps the view lets pass quietly.
    virtual void Do_Events() = 0;
    // How many steps may follow a Do_Events call before the next one. A view whose
    // Do_Events only acts every so many steps says so here, and the run leaves out the calls
    // in between, which would do nothing. The default asks for a call after every step.
    virtual long long Quiet_Steps() { return 0; }
    // Whether the view follows the exponent as the run goes: asked once, when the run starts,
    // so that a run nobody follows pays nothing for it.
    virtual bool Follows_Exponent() { return false; }
    // The exponent so far (the sum of the terms over the steps so far, divided by the steps),
    // told just before each chart column of a followed run.
    virtual void Exponent_So_Far(double LE) { (void)LE; }
};
