#pragma once

// lv.Model: the model as a value, read from a parameter file or made from arrays, with the
// reader it came through, which a sweep's identity names.

#include <pybind11/pybind11.h>

#include <optional>
#include <string>

#include "Model.h"

namespace py = pybind11;

struct ModelValue {
    Model model;
    bool datStyle = false;              // read by the column reader (".dat")
    std::optional<std::string> source;  // the file it was read from
};

// Model and load().
void Bind_Model(py::module_& module);
