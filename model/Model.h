#pragma once

#include <array>
#include <cstdint>

// The model as a value: the species table with the count in use, the run time and the time
// step. A reader fills one, a run takes one by reference; whoever holds it owns it, and one
// thread at a time works on it. Nothing in the libraries keeps a model of its own between
// calls.

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

struct Model {
    SpeciesTable Species;  // starts all zero; a reader overwrites only the rows it reads
    int16_t Nanimals = 0;  // species in use
    double TotalTime = 0;  // model time of a run; 0 or less: continuous
    double dt = 0;         // time step
};

// Throws "Subscript out of range" unless 0 <= i < size.
void Check_Index(long i, long size, const char* what);
