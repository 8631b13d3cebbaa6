#include "Interrupts.h"

#include <pythread.h>

namespace {

unsigned long mainThread = 0;

constexpr auto CheckEvery = std::chrono::milliseconds(50);

}  // namespace

void Note_Main_Thread() {
    mainThread =
        py::module_::import("threading").attr("main_thread")().attr("ident").cast<unsigned long>();
}

SignalWatch::SignalWatch()
    : enabled_(PyThread_get_thread_ident() == mainThread), next_(Clock::now() + CheckEvery) {}

SignalWatch::~SignalWatch() {
    if (type_ || value_ || traceback_) {
        py::gil_scoped_acquire gil;
        Py_XDECREF(type_);
        Py_XDECREF(value_);
        Py_XDECREF(traceback_);
    }
}

bool SignalWatch::Check(Clock::time_point now) {
    if (!enabled_ || type_) return type_ != nullptr;
    if (now < next_) return false;
    next_ = now + CheckEvery;
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) PyErr_Fetch(&type_, &value_, &traceback_);
    return type_ != nullptr;
}

void SignalWatch::Raise_If_Interrupted() {
    if (!type_) return;
    PyErr_Restore(type_, value_, traceback_);
    type_ = value_ = traceback_ = nullptr;
    throw py::error_already_set();
}

void SignalPump::Do_Events() {
    const auto now = std::chrono::steady_clock::now();
    readings_.Read(now);
    if (watch_.Check(now)) control_.Request_Stop();
}
