#include "RunLength.h"

#include "Convert.h"
#include "LvError.h"

std::optional<std::string> Endless_Run(double TotalTime, double dt) {
    const std::string steps = ": give --steps N";
    if (!(TotalTime > 0))
        return "the run time is " + Format_Digits17(TotalTime) + ", so the run is continuous" +
               steps;
    if (!(dt > 0))
        return "the run would never end: the time step is " + Format_Digits17(dt) +
               ", so t never reaches the run time " + Format_Digits17(TotalTime) + steps;
    if (Run_Time_Reachable(TotalTime, dt)) return std::nullopt;
    return "the run would never end: the time step " + Format_Digits17(dt) +
           " is too small for t to reach the run time " + Format_Digits17(TotalTime) +
           " (t + dt == t from " + Format_Digits17(Running_Sum_Limit(dt)) + " on)" + steps;
}

void Check_Run_Can_End(double TotalTime, double dt, bool stepLimit) {
    if (stepLimit) return;
    if (const auto endless = Endless_Run(TotalTime, dt))
        throw LvError(ErrorKind::InvalidCall, *endless);
}

long long Steps_For(double totalTime, double dt) {
    double t = 0;
    long long steps = 0;
    do {
        t = dt + t;
        ++steps;
    } while (t < totalTime);
    return steps;
}
