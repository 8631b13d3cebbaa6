#pragma once

#include <chrono>
#include <map>
#include <string>
#include <string_view>

// Progress of a sweep on standard error, only when that is a terminal: points done of all,
// the rate and the time left, on one line rewritten in place a few times a second and
// cleared at the end; and the tally of the points' outcomes for the sweep's closing line.
class SweepProgress {
  public:
    SweepProgress(long long total, bool wanted);
    ~SweepProgress();
    // A point done, "ok" or the kind of its failure. `now` is false for a point taken from
    // an interrupted sweep's CSV, which counts in the tally and not in the rate.
    void Point_Done(std::string_view status, bool now = true);
    void Show();  // redraws when the last drawing is old enough
    // Clears the progress line, so that a closing line can follow.
    void Clear();

    // "1000 points in 0.29 s: 998 ok, 2 failed (Overflow 2)"; the time since the start.
    std::string Summary() const;
    long long Done() const { return done_; }

  private:
    using Clock = std::chrono::steady_clock;
    bool on_;
    long long total_;
    long long done_ = 0, earlier_ = 0, ok_ = 0;
    std::map<std::string, long long, std::less<>> failed_;
    Clock::time_point start_, shown_;
    bool drawn_ = false;
};
