#pragma once

#include <array>
#include <cstdint>

// The state the whole program shares: the species table and the run settings. It starts all
// zero and nothing resets it between loads or runs; a reader overwrites only what it reads.
//
// Each thread has its own instance: the window's thread has the one the window works on, and
// each worker of a sweep runs its points on its own. `constinit` says there is nothing to
// set up at a thread's start, so a use costs one load more than a plain global and no call.

inline constexpr int MaxSpecies = 51;  // rows 0 to 50

struct SpeciesRec {
    std::array<double, MaxSpecies> a{};  // a(i, j): how species j enters the equation of i
    double x = 0;                        // current population
    double r = 0;                        // growth rate
    int32_t Color = 0;                   // RGB, red in the low byte
};

// A fixed table of 51 rows whose every index is checked: row 51 or -1 is a
// "Subscript out of range", never a stray write.
class SpeciesTable {
  public:
    SpeciesRec& operator()(long i);
    const SpeciesRec& operator()(long i) const;

    std::array<SpeciesRec, MaxSpecies> rows{};
};

extern constinit thread_local SpeciesTable Species;
extern constinit thread_local int16_t Nanimals;       // species in use
extern constinit thread_local double TotalTime;       // model time of a run; 0 or less: continuous
extern constinit thread_local double dt;              // time step
extern constinit thread_local int16_t StopRequested;  // -1: stop the running model after its step
extern constinit thread_local int16_t PlotColumn;     // x of the next strip-chart column
extern constinit thread_local double LE;  // mean Lyapunov exponent of the last run that ended

// Positions of the spaces of the row-style line split last (the row reader's own).
extern constinit thread_local std::array<int16_t, 101> SpacePos;

// Throws "Subscript out of range" unless 0 <= i < size.
void Check_Index(long i, long size, const char* what);
