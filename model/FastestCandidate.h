#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <limits>
#include <vector>

// The index of the fastest of `count` candidates (builds of a routine), timed here on this
// processor. `stretch(i)` runs a short stretch of candidate i and returns the work it did, in
// units alike for every candidate. The candidates take turns for `rounds` rounds, so that a
// moment of load on the machine spoils one stretch rather than one candidate; a candidate's
// time is its best stretch.
template <class Stretch>
std::size_t Fastest_Candidate(std::size_t count, int rounds, Stretch stretch) {
    std::vector<double> best(count, std::numeric_limits<double>::infinity());
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < count; ++i) {
            const auto start = std::chrono::steady_clock::now();
            const double work = stretch(i);
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            best[i] = std::min(best[i], took.count() / work);
        }
    }
    return std::size_t(std::min_element(best.begin(), best.end()) - best.begin());
}
