#include "Globals.h"

#include <string>

#include "LvError.h"

constinit thread_local SpeciesTable Species;
constinit thread_local int16_t Nanimals = 0;
constinit thread_local double TotalTime = 0;
constinit thread_local double dt = 0;
constinit thread_local int16_t StopRequested = 0;
constinit thread_local int16_t PlotColumn = 0;
constinit thread_local double LE = 0;
constinit thread_local std::array<int16_t, 101> SpacePos{};
