#include "PlotInterval.h"

#include <cmath>
#include <sstream>

#include "LvError.h"

int16_t Plot_Interval(int16_t windowTime, double dt, float chartWidth) {
    if (dt == 0)
        throw LvError(ErrorKind::DivisionByZero, "plot interval: window time / dt with dt = 0");
    const double q = std::floor(double(windowTime) / dt / double(chartWidth));
    if (!(q >= -32768.0 && q <= 32767.0)) {
        std::ostringstream what;
        what.precision(17);
        what << "plot interval: floor(" << windowTime << " / " << dt << " / " << chartWidth
             << ") is outside -32768..32767";
        throw LvError(ErrorKind::Overflow, what.str());
    }
    return static_cast<int16_t>(q);
}
