#pragma once

#include <chrono>

// Progress of a sweep on standard error, only when that is a terminal: points done of all,
// the rate and the time left, on one line rewritten in place a few times a second and
// cleared at the end.
class SweepProgress {
  public:
    SweepProgress(long long total, bool wanted);
    ~SweepProgress();
    void Point_Done();
    void Show();  // redraws when the last drawing is old enough

  private:
    using Clock = std::chrono::steady_clock;
    bool on_;
    long long total_;
    long long done_ = 0;
    Clock::time_point start_, shown_;
};
