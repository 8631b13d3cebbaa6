#include "ModelValue.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cstring>

#include "Arguments.h"
#include "Random.h"
#include "RunOptions.h"

namespace {

using Array = py::array_t<double, py::array::c_style>;

int rows(const Model& m) {
    return m.Nanimals > 0 ? m.Nanimals : 0;
}

Array rates(const ModelValue& v) {
    Array out(rows(v.model));
    for (int i = 0; i < rows(v.model); ++i) out.mutable_data()[i] = v.model.Species.rows[i].r;
    return out;
}

Array populations(const ModelValue& v) {
    Array out(rows(v.model));
    for (int i = 0; i < rows(v.model); ++i) out.mutable_data()[i] = v.model.Species.rows[i].x;
    return out;
}

Array matrix(const ModelValue& v) {
    const int n = rows(v.model);
    Array out({n, n});
    for (int i = 0; i < n; ++i)
        std::memcpy(out.mutable_data(i, 0), v.model.Species.rows[i].a.data(),
                    sizeof(double) * std::size_t(n));
    return out;
}

// A sequence of the model's length for r or x.
Array column(const ModelValue& v, py::handle value, const char* name) {
    Array a = Finite_Array(value, name, 1);
    if (a.shape(0) != rows(v.model))
        throw py::value_error(std::string(name) + " must have one value per species (" +
                              std::to_string(rows(v.model)) + "), not " +
                              std::to_string(a.shape(0)));
    return a;
}

Array square(const ModelValue& v, py::handle value) {
    Array a = Finite_Array(value, "a", 2);
    const std::string n = std::to_string(rows(v.model));
    if (a.shape(0) != rows(v.model) || a.shape(1) != rows(v.model))
        throw py::value_error("a must be " + n + " x " + n +
                              ", a row and a column per species, not " +
                              std::to_string(a.shape(0)) + " x " + std::to_string(a.shape(1)));
    return a;
}

void setRates(ModelValue& v, const Array& r) {
    for (int i = 0; i < rows(v.model); ++i) v.model.Species.rows[i].r = r.data()[i];
}
void setPopulations(ModelValue& v, const Array& x) {
    for (int i = 0; i < rows(v.model); ++i) v.model.Species.rows[i].x = x.data()[i];
}
void setMatrix(ModelValue& v, const Array& a) {
    const int n = rows(v.model);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) v.model.Species.rows[i].a[std::size_t(j)] = *a.data(i, j);
}

// As a parameter file holding the same values would give it: the rows of the table that the
// file does not hold stay 0.
ModelValue make(py::object r, py::object a, py::object x, py::object dt, py::object totalTime) {
    const Array rates = Finite_Array(r, "r", 1);
    const py::ssize_t n = rates.shape(0);
    if (n < 1 || n > MaxSpecies)
        throw py::value_error("a model has 1 to " + std::to_string(MaxSpecies) +
                              " species (the length of r), not " + std::to_string(n));
    ModelValue v;
    v.model.Nanimals = int16_t(n);
    const Array matrix = square(v, a);
    const Array populations = column(v, x, "x");
    v.model.dt = Finite_Number(dt, "dt");
    v.model.TotalTime = Finite_Number(totalTime, "total_time");
    setRates(v, rates);
    setPopulations(v, populations);
    setMatrix(v, matrix);
    return v;
}

}  // namespace

ModelValue Load_Model(py::handle path, py::handle style) {
    const py::module_ os = py::module_::import("os");
    py::object text;
    try {
        text = os.attr("fsdecode")(os.attr("fspath")(path));
    } catch (py::error_already_set& e) {
        if (!e.matches(PyExc_TypeError)) throw;
        throw py::type_error("path must be a file name (str or os.PathLike), not " +
                             std::string(py::str(py::type::handle_of(path).attr("__name__"))));
    }
    RunOptions options;
    if (!style.is_none()) {
        const std::string s = py::isinstance<py::str>(style) ? style.cast<std::string>() : "";
        if (s != "dat" && s != "p")
            throw py::value_error("style is \"dat\" or \"p\", not " + std::string(py::repr(style)));
        options.datStyle = s == "dat";
    }
    ModelValue v;
    v.source = text.cast<std::string>();
    v.datStyle = options.Dat_Style(*v.source);
    Mt19937Random colours;  // the column style's colours, which no run uses
    {
        py::gil_scoped_release release;  // a pipe or a slow disk keeps no other thread waiting
        options.Load(*v.source, v.model, colours);
    }
    return v;
}

ModelArgument::ModelArgument(py::handle model) : model_(model) {
    if (py::isinstance<ModelValue>(model) || py::isinstance<py::str>(model) ||
        py::isinstance(model, py::module_::import("os").attr("PathLike")))
        return;
    throw py::type_error("model must be a lotkavolterra.Model or a parameter file's name, not " +
                         std::string(py::str(py::type::handle_of(model).attr("__name__"))));
}

const ModelValue& ModelArgument::Value() {
    if (py::isinstance<ModelValue>(model_)) return model_.cast<const ModelValue&>();
    if (!loaded_) loaded_ = Load_Model(model_, py::none());
    return *loaded_;
}

namespace {

std::string describe(const ModelValue& v) {
    std::string s = "Model(n=" + std::to_string(v.model.Nanimals) +
                    ", dt=" + std::string(py::repr(py::float_(v.model.dt))) +
                    ", total_time=" + std::string(py::repr(py::float_(v.model.TotalTime))) +
                    ", style='" + (v.datStyle ? "dat" : "p") + "'";
    if (v.source) s += ", source=" + std::string(py::repr(py::str(*v.source)));
    return s + ")";
}

py::tuple state(const ModelValue& v) {
    const int n = rows(v.model);
    py::list colours;
    for (int i = 0; i < n; ++i) colours.append(v.model.Species.rows[i].Color);
    return py::make_tuple(1, v.model.Nanimals, rates(v), matrix(v), populations(v), colours,
                          v.model.dt, v.model.TotalTime, v.datStyle, v.source);
}

ModelValue fromState(const py::tuple& s) {
    if (s.size() != 10 || s[0].cast<int>() != 1)
        throw py::value_error("not the state of a lotkavolterra.Model");
    ModelValue v;
    v.model.Nanimals = s[1].cast<int16_t>();
    setRates(v, column(v, s[2], "r"));
    setMatrix(v, square(v, s[3]));
    setPopulations(v, column(v, s[4], "x"));
    const py::list colours = s[5];
    for (int i = 0; i < rows(v.model); ++i)
        v.model.Species.rows[i].Color = colours[i].cast<int32_t>();
    v.model.dt = s[6].cast<double>();
    v.model.TotalTime = s[7].cast<double>();
    v.datStyle = s[8].cast<bool>();
    v.source = s[9].cast<std::optional<std::string>>();
    return v;
}

}  // namespace

void Bind_Model(py::module_& module) {
    py::class_<ModelValue>(module, "Model",
                           R"(The competition model as a value: the species' growth rates r, the
interaction matrix a, the populations x, the time step dt and the run
time total_time.

A model is read from a parameter file with load(), or made from arrays:

    Model(r=[...], a=[[...], ...], x=[...], dt=0.01, total_time=800.0)

which is the model a row-style (".p") file holding the same values,
written with 17 significant digits, gives: the same runs, bit for bit.
r and x have N values and a is N x N, 1 <= N <= 51; every value must be
finite. dt and total_time default to the column style's fixed 0.01 and 800.

The attributes r, a and x are numpy arrays, copies of the model's values;
assigning to them (with the same shape) or to dt and total_time changes the
model. run() and sweep() never change it.)")
        .def(py::init(&make), py::kw_only(), py::arg("r"), py::arg("a"), py::arg("x"),
             py::arg("dt") = 0.01, py::arg("total_time") = 800.0,
             "Makes a model from arrays: r and x of N values, a of N x N, all finite.")
        .def_property_readonly(
            "n", [](const ModelValue& v) { return v.model.Nanimals; },
            "The number of species N (rows 0 to N - 1).")
        .def_property(
            "r", &rates, [](ModelValue& v, py::handle r) { setRates(v, column(v, r, "r")); },
            "The growth rates r(k), shape (N,).")
        .def_property(
            "a", &matrix, [](ModelValue& v, py::handle a) { setMatrix(v, square(v, a)); },
            "The interaction matrix a(i, j): how species j enters the equation of i, "
            "shape (N, N).")
        .def_property(
            "x", &populations,
            [](ModelValue& v, py::handle x) { setPopulations(v, column(v, x, "x")); },
            "The initial populations x(k), shape (N,).")
        .def_property(
            "dt", [](const ModelValue& v) { return v.model.dt; },
            [](ModelValue& v, py::handle dt) { v.model.dt = Finite_Number(dt, "dt"); },
            "The time step of the Euler steps.")
        .def_property(
            "total_time", [](const ModelValue& v) { return v.model.TotalTime; },
            [](ModelValue& v, py::handle t) { v.model.TotalTime = Finite_Number(t, "total_time"); },
            "The run time in model time; 0 or less: a continuous run.")
        .def_property_readonly(
            "style", [](const ModelValue& v) { return v.datStyle ? "dat" : "p"; },
            "The reader the model came through: \"dat\" (column style) or \"p\" (row style, "
            "and every model made from arrays). A sweep's identity names it.")
        .def_property_readonly(
            "source", [](const ModelValue& v) { return v.source; },
            "The file the model was read from, or None.")
        .def("__repr__", &describe)
        .def("__copy__", [](const ModelValue& v) { return v; })
        .def(
            "__deepcopy__", [](const ModelValue& v, py::dict) { return v; }, py::arg("memo"))
        .def(py::pickle(&state, &fromState));

    module.def("load", &Load_Model, py::arg("path"), py::arg("style") = py::none(),
               "Reads a parameter file into a Model, as lv-run reads FILE.");
}
