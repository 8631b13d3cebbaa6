#include "ChartPace.h"

#include <algorithm>
#include <cmath>
#include <thread>

WindowClock::time_point WindowClock::Now() {
    return std::chrono::steady_clock::now();
}

void WindowClock::Sleep_Until(time_point t) {
    std::this_thread::sleep_until(t);
}

double Speed::Sweep_Seconds(int position) {
    if (position >= Fastest) return 0;
    const int p = std::max(position, Slowest);
    return 20.0 * std::pow(10.0, -p / 6.0);
}

namespace {
// How far behind the schedule a column may come and still be caught up with.
constexpr std::chrono::milliseconds CatchUp{20};
}  // namespace

ColumnSchedule::time_point ColumnSchedule::Due(double sweepSeconds, int columns) const {
    const auto interval = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(sweepSeconds / std::max(columns, 1)));
    return last_ + interval;
}

void ColumnSchedule::Column_Drawn(time_point now, double sweepSeconds, int columns) {
    last_ = anchored_ ? std::max(Due(sweepSeconds, columns), now - CatchUp) : now;
    anchored_ = true;
}
