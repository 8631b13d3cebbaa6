#pragma once

#include <chrono>

// The wall clock that the chart's pacing and its wrap pause read and sleep on. The window
// uses the steady clock; a test puts in one of its own.
class WindowClock {
  public:
    using time_point = std::chrono::steady_clock::time_point;
    virtual ~WindowClock() = default;
    virtual time_point Now();
    virtual void Sleep_Until(time_point t);
};

// The speed control's positions: the least wall time one sweep of the chart takes, from about
// 20 s at the slowest, each position to the right shorter by a factor of 10^(1/6), to the
// fastest, which does not pace at all.
namespace Speed {
inline constexpr int Slowest = 0;
inline constexpr int Fastest = 13;
inline constexpr int Default = 5;  // about 3 s a sweep
// Seconds a sweep takes at least at this position; 0 at the fastest.
double Sweep_Seconds(int position);
}  // namespace Speed

// When the next chart column may be drawn, so that column c of a sweep is not drawn before
// c / columns of the sweep time has passed since the sweep began. Between columns the model
// runs at full speed.
class ColumnSchedule {
  public:
    using time_point = WindowClock::time_point;

    // A new run, a sweep after the wrap pause, or the chart left unpaced: the next column is
    // on time whenever it comes, and the ones after it follow from there.
    void Reset() { anchored_ = false; }
    bool Anchored() const { return anchored_; }

    // When the next column is due, at `sweepSeconds` for `columns` columns a sweep. Read
    // afresh at every call, so that a change of speed counts at once. Only while anchored.
    time_point Due(double sweepSeconds, int columns) const;

    // A column has been drawn at `now`. A column drawn late (the model slower than the pace,
    // or the window held by a dialog) is not made up for by drawing the next ones in a rush:
    // beyond a short lag the schedule starts again from it.
    void Column_Drawn(time_point now, double sweepSeconds, int columns);

  private:
    time_point last_{};  // when the column drawn last was due
    bool anchored_ = false;
};
