#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "SweepAxis.h"

// One run of a sweep: its place in the whole sweep, the values of the varied parameters and
// the seed of its random initial populations.
struct SweepPoint {
    long long index = 0;
    std::vector<double> values;  // one per axis, in the order the axes were given
    std::optional<uint32_t> seed;
};

// --seeds FROM:TO: one run per seed, FROM <= TO.
struct SweepSeeds {
    uint32_t from = 0;
    uint32_t to = 0;
    long long Count() const { return (long long)to - (long long)from + 1; }
    static SweepSeeds Parse(const std::string& text);  // throws SweepOptionError
};

// --shard K/N: the points whose index is K modulo N, 0 <= K < N.
struct SweepShard {
    long long k = 0;
    long long n = 1;
    static SweepShard Parse(const std::string& text);  // throws SweepOptionError
};

// The point generator. The points of a sweep are the grid of its axes, the first axis
// varying slowest, and within each grid point every seed in order; a shard is every n-th of
// them from k. A point is made from its index alone, so any thread, process or machine
// makes the same one.
class SweepPoints {
  public:
    // Throws SweepOptionError for more than two axes, two that vary the same value, or more
    // points than a 64-bit count holds.
    SweepPoints(std::vector<SweepAxis> axes, std::optional<SweepSeeds> seeds, SweepShard shard);

    long long Total() const { return total_; }  // points of the whole sweep
    long long Count() const { return count_; }  // points of this shard
    SweepPoint Point(long long index) const;    // any point of the sweep
    // Where a point lies on the grid: the index of its value on each axis.
    std::vector<long long> Cell(long long index) const;
    SweepPoint At(long long position) const {  // the shard's position-th point, from 0
        return Point(shard_.k + position * shard_.n);
    }

    const std::vector<SweepAxis>& Axes() const { return axes_; }
    const std::optional<SweepSeeds>& Seeds() const { return seeds_; }
    const SweepShard& Shard() const { return shard_; }

  private:
    std::vector<SweepAxis> axes_;
    std::optional<SweepSeeds> seeds_;
    SweepShard shard_;
    long long total_ = 1;
    long long count_ = 0;
};
