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

// Reads a parameter file as lv-run reads FILE: `style` "dat", "p" or None (the name decides).
ModelValue Load_Model(py::handle path, py::handle style);

// The model that run() and sweep() take: a Model, or the name of a parameter file, which is
// read only when asked for, after the other arguments were checked, as lv-run reads FILE
// after its options.
class ModelArgument {
  public:
    // TypeError for anything else.
    explicit ModelArgument(py::handle model);
    const ModelValue& Value();

  private:
    py::handle model_;
    std::optional<ModelValue> loaded_;
};

// Model and load().
void Bind_Model(py::module_& module);
