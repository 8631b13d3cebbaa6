#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "SweepRun.h"

// The writer's side of a sweep: the CSV text (RFC 4180: CRLF line ends; a field holding a
// comma, a quote or a line break is quoted, its quotes doubled). The first line is the
// header: point, each varied NAME, seed, status, LE, with the spectrum L0 ... L(N-1) and
// dimension, steps, t, clamps, x0 ... x(N-1), message, sweep. One row a point; numbers as the
// shortest text that reads back to them, with '.'; a failed point has its status, the step
// its run failed in (if it failed in one) and message, and leaves the rest empty. `sweep`
// names the sweep on every row (Sweep_Column), so that merged shards can be checked.
class SweepCsv {
  public:
    SweepCsv(std::vector<std::string> names, int species, std::string sweepId,
             bool spectrum = false);

    std::string Header() const;
    std::string Row(const PointResult& r) const;
    // What every row of a point starts with (its index, values and seed, each followed by a
    // comma) and what every row ends with (the sweep column and the line end).
    static std::string Row_Start(const SweepPoint& point);
    std::string Row_End() const;

  private:
    std::vector<std::string> names_;
    int species_;
    std::string sweepId_;
    bool spectrum_;
};

// One CSV field, quoted when RFC 4180 asks for it.
std::string Csv_Field(std::string_view text);

// The sweep column's digest: 64 bits of the model as read from the parameter file and of
// everything else that decides the points' results (`settings`), as 16 hexadecimal digits.
std::string Sweep_Digest(std::string_view model, std::string_view settings);
