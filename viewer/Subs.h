#pragma once

#include <cstdint>
#include <string>

#include "RunObserver.h"

// The procedures the window calls, over the program's one model (Globals.h): the model run,
// the two readers and the random initialisers, each a thin wrapper over the library that
// takes the model as a value.

// What the model run calls on the window: clear the drawing area, draw one chart column from
// the table, set the result caption, and let pending events run.
class ModelWindow : public EventPump {
  public:
    virtual void Clear_Picture() = 0;
    virtual void Graph_Populations(const int16_t& Nanimals) = 0;
    virtual void Set_Info_Caption(const std::string& caption) = 0;
};

// Runs the program's model (Nanimals, PlotInterval and TotalTime are the program's own,
// read afresh at every step): clears the picture, sets PlotColumn to 0, draws a column every
// PlotInterval + 1 steps, lets the window's events run after every step, and ends at the run
// time or when StopRequested is set. Sets LE and the caption when the run did not fail; a
// chart row out of range fails naming the step and the column.
void Run_Model(ModelWindow& window, const int16_t& Nanimals, const int16_t& PlotInterval,
               const double& TotalTime);

// The readers, into the program's model; a failed load changes nothing.
void Load_Dat_File(const std::string& path);
void Load_P_File(const std::string& path);

// Splits a row-style line into SpacePos.
void Find_Spaces(const std::string& line);

// The random initialisers over the program's table, from Random_Source().
void Random_Colors(const int16_t& Nanimals);
void Random_Populations(const int16_t& Nanimals);
