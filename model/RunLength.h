#pragma once

#include <cmath>
#include <limits>
#include <optional>
#include <string>

// How far a timed run can get. Its model time t starts at 0 and grows by t = dt + t at every
// step, in round-to-nearest; the run ends at the first step with t >= the run time.

// The value at which t stops growing, for a time step dt > 0: the first t with t + dt == t.
// Each addition moves t by dt rounded to t's spacing, which is never 0 while dt is more than
// half that spacing. The spacing doubles at each power of two, so t gets stuck at the first
// power of two whose spacing is at least 2 dt, 2^(digits + ceil(log2 dt)): in the binade
// below it dt lies between half the spacing and the whole of it, so t walks that binade in
// steps of exactly one spacing and lands on the power itself, where t + dt rounds back to t
// (a tie goes to t, whose last bit is even). Infinity when that power is beyond the range,
// so that t never stops before it overflows.
template <class F>
F Running_Sum_Limit(F dt) {
    int exponent = 0;
    const F mantissa = std::frexp(dt, &exponent);  // dt = mantissa * 2^exponent, in [0.5, 1)
    const int ceilLog2 = mantissa == F(0.5) ? exponent - 1 : exponent;
    const int power = std::numeric_limits<F>::digits + ceilLog2;
    if (power >= std::numeric_limits<F>::max_exponent) return std::numeric_limits<F>::infinity();
    return std::ldexp(F(1), power);
}

// Whether a timed run (run time > 0) ends by its time: dt must be positive, and the run time
// no more than where t stops growing. A run that cannot end goes on for ever, or, with a
// step that is not positive, moves t away from its end.
template <class F>
bool Run_Time_Reachable(F totalTime, F dt) {
    return dt > 0 && totalTime <= Running_Sum_Limit(dt);
}

// Why a run with these settings would never end by itself, or nothing when it does: a run
// time of 0 or less is continuous; a time step that is not above 0 never moves t forward;
// and a step too small for t stops it short (t + dt == t before t reaches TotalTime). The
// text ends by asking for a step limit, "give --steps N", as the command-line runners take
// one; a run with such a limit may go ahead.
std::optional<std::string> Endless_Run(double TotalTime, double dt);

// The runners' rule, in lv-run and in every point of a sweep alike: a run that would never end
// by itself and has no step limit is refused before its first step, with an invalid-argument
// error saying why.
void Check_Run_Can_End(double TotalTime, double dt, bool stepLimit);

// The number of steps of a timed run of `totalTime` with steps of `dt`: the smallest number of
// additions of dt whose running sum reaches totalTime (one, when it is 0 or less).
long long Steps_For(double totalTime, double dt);
