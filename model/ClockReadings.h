#pragma once

#include <chrono>

// How many steps an event pump lets pass between readings of the clock, which costs about as
// much as a small step: the count doubles while readings come closer together than `near`
// and halves while they come further apart than `far`, up to `most`, so that readings come
// at a steady wall-time rate whatever a step costs.
class ClockReadings {
  public:
    using Clock = std::chrono::steady_clock;

    ClockReadings(Clock::duration near, Clock::duration far, long long most)
        : near_(near), far_(far), most_(most) {}

    // A reading taken at `now`: the count adapts to the time since the one before.
    void Read(Clock::time_point now) {
        const auto since = now - last_;
        last_ = now;
        if (since < near_) {
            if (every_ < most_) every_ *= 2;
        } else if (since > far_ && every_ > 1) {
            every_ /= 2;
        }
    }

    // Time from `at` on, as if a reading had been taken then (after a pause the pump made).
    void Restart(Clock::time_point at) { last_ = at; }

    // The steps a pump may leave out after a reading: its Quiet_Steps.
    long long Quiet_Steps() const { return every_ - 1; }

  private:
    Clock::duration near_, far_;
    long long most_;
    long long every_ = 1;
    Clock::time_point last_ = Clock::now();
};
