#pragma once

// Ctrl-C during a long run or sweep, which work without the GIL: now and then the work takes
// the GIL back to run Python's signal handlers, and a handler that raises (a
// KeyboardInterrupt) stops the work, which then raises it.

#include <pybind11/pybind11.h>

#include <chrono>

#include "ClockReadings.h"
#include "RunControl.h"
#include "RunObserver.h"

namespace py = pybind11;

// Remembers the main thread's identity. At import, with the GIL.
void Note_Main_Thread();

class SignalWatch {
  public:
    // With the GIL. Only the main thread runs signal handlers; elsewhere Check never looks.
    SignalWatch();
    ~SignalWatch();
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    bool Enabled() const { return enabled_; }

    // Without the GIL. At most every 50 ms it takes the GIL and runs the pending handlers;
    // true from the first time one raised.
    bool Check(std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());

    // With the GIL: raises what a handler raised, if one did.
    void Raise_If_Interrupted();

  private:
    using Clock = std::chrono::steady_clock;
    bool enabled_;
    Clock::time_point next_;
    PyObject* type_ = nullptr;  // the exception a handler raised, kept until raised
    PyObject* value_ = nullptr;
    PyObject* traceback_ = nullptr;
};

// The run's event pump: reads the clock only every so many steps, as many as take about a
// millisecond, and asks the watch; a handler that raised asks the run to stop.
class SignalPump : public EventPump {
  public:
    SignalPump(SignalWatch& watch, RunControl& control) : watch_(watch), control_(control) {}
    void Do_Events() override;
    long long Quiet_Steps() override { return readings_.Quiet_Steps(); }

  private:
    SignalWatch& watch_;
    RunControl& control_;
    // Readings some 0.5 to 2 ms apart.
    ClockReadings readings_{std::chrono::microseconds(500), std::chrono::milliseconds(2),
                            1LL << 24};
};
