#pragma once

// sweep(): many runs of one model, as lv-sweep runs them, with the same engine.

#include <pybind11/pybind11.h>

namespace py = pybind11;

void Bind_Sweep(py::module_& module);
