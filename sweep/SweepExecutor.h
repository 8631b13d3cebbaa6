#pragma once

#include <functional>
#include <span>

#include "SweepPoints.h"
#include "SweepRun.h"

// Runs a batch of consecutive points, one result per point in the same order, on the calling
// thread. The scalar runner runs one point after the other; a runner that steps several
// systems side by side takes the batch whole. `batch` is how many points it wants at a time.
struct BatchRunner {
    int batch = 1;
    std::function<void(std::span<const SweepPoint>, std::span<PointResult>)> run;
    const char* name = "single";  // how it runs them, for the record
};

// One point after the other through SweepRun.
BatchRunner Scalar_Runner(const SweepRun& run);

// The executor: runs every point of the shard on `threads` worker threads, which take
// batches in point order, and hands each result to `deliver` on the calling thread in point
// order, as soon as it and every point before it are done. `waiting` is called on the calling
// thread now and then while it waits (for progress). Results are never held for more than a
// bounded window of points, so a long sweep streams. An exception thrown by a runner, by
// `deliver` or by `waiting` stops the workers and is thrown again here. The points before
// position `from` of the shard are taken as done (a sweep resumed).
void Run_Points(const SweepPoints& points, const BatchRunner& runner, int threads,
                const std::function<void(const PointResult&)>& deliver,
                const std::function<void()>& waiting = {}, long long from = 0);

// The processors this program may run on (its affinity mask), at least 1.
int Usable_Processors();
