#pragma once

// run(): one run of a model, as lv-run runs the file that holds it.

#include <pybind11/pybind11.h>

namespace py = pybind11;

void Bind_Run(py::module_& module);
