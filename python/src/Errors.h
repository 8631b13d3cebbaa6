#pragma once

// lv.Error: what a load, a run or a sweep that failed raises, with the failure's kind as
// lv-run names it ("Overflow", "File not found", ...), the step of the run it failed in (0
// when none) and lv-run's message.

#include <pybind11/pybind11.h>

#include "LvError.h"

namespace py = pybind11;

// Makes the exception type, and turns every LvError that reaches Python into it.
void Register_Error(py::module_& module);

// Raises lv.Error for `failure`, with `history` as its history attribute. With the GIL.
[[noreturn]] void Raise_Error(const LvError& failure, py::object history = py::none());
