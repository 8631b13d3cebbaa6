#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "SweepCsv.h"
#include "SweepPoints.h"

// An interrupted sweep's CSV: its header and the rows of the points finished, which are the
// first ones of the shard, in point order. lv-sweep keeps it beside the CSV it was writing,
// as OUT.partial, and takes it up again with --resume.

std::string Partial_Path(const std::string& csvPath);

// Reads the partial CSV at `path` and hands its bytes, as they are, to `write`; returns how
// many of the shard's points it holds. Throws SweepPartialError naming the file and line
// when it is not the start of this sweep's CSV: another header, a row of another sweep or of
// another point than the next, a row cut short, more rows than the shard has; and LvError
// when it cannot be read.
long long Resume_From_Partial(const std::string& path, const SweepCsv& csv,
                              const SweepPoints& points,
                              const std::function<void(std::string_view)>& write);

// Another CSV kept beside it (the points' maxima, in point order): its header must be
// `header` and its every line complete; its bytes go to `write`.
void Resume_Side_Partial(const std::string& path, const std::string& header,
                         const std::function<void(std::string_view)>& write);

struct SweepPartialError {
    std::string message;
};
