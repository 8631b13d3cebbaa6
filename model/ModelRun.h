#pragma once

#include <cstdint>
#include <string>

class ModelView;

// Integrates the competition model for species 0 to Nanimals - 1 with Euler steps of `dt`,
// carrying a twin trajectory 1e-12 away to estimate the largest Lyapunov exponent. Draws a
// chart column every PlotInterval + 1 steps, lets the view process events after every step,
// and ends when the running sum of dt reaches TotalTime (never, when TotalTime <= 0) or
// StopRequested is set. Sets LE and the result caption on success. A failure (overflow,
// invalid argument, ...) is thrown as LvError naming the step; LE and the caption then
// stay as they were.
void Run_Model(ModelView& view, const int16_t& Nanimals, const int16_t& PlotInterval,
               const double& TotalTime);

// The caption for an exponent: "LE = 0.123457\r\n\r\n".
std::string Info_Caption(double le);
