#include "Arguments.h"

#include <cmath>
#include <limits>
#include <string>

#include "Convert.h"

namespace {

std::string typeName(py::handle value) {
    return py::str(py::type::handle_of(value).attr("__name__"));
}

bool isBool(py::handle value) {
    if (PyBool_Check(value.ptr())) return true;
    // Kept for the life of the process, as numpy itself is.
    static const py::handle numpyBool =
        py::object(py::module_::import("numpy").attr("bool_")).release();
    return py::isinstance(value, numpyBool);
}

}  // namespace

double Finite_Number(py::handle value, const char* name) {
    if (isBool(value)) throw py::type_error(std::string(name) + " must be a real number, not bool");
    const double number = PyFloat_AsDouble(value.ptr());
    if (number == -1.0 && PyErr_Occurred()) {
        PyErr_Clear();
        throw py::type_error(std::string(name) + " must be a real number, not " + typeName(value));
    }
    if (!std::isfinite(number))
        throw py::value_error(std::string(name) + " must be finite, not " +
                              std::string(py::repr(value)));
    return number;
}

long long Whole_Number(py::handle value, const char* name, long long low, long long high) {
    auto range = [&] {
        return std::string(name) + " must be a whole number from " + std::to_string(low) + " to " +
               std::to_string(high);
    };
    if (isBool(value)) throw py::type_error(range() + ", not bool");
    PyObject* index = PyNumber_Index(value.ptr());
    if (index == nullptr) {
        PyErr_Clear();
        throw py::type_error(range() + ", not " + typeName(value));
    }
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(index, &overflow);
    const std::string shown = py::repr(index);
    Py_DECREF(index);
    if (overflow != 0 || number < low || number > high)
        throw py::value_error(range() + ", not " + shown);
    return number;
}

bool Flag(py::handle value, const char* name) {
    if (PyBool_Check(value.ptr())) return value.ptr() == Py_True;
    if (isBool(value)) return value.cast<bool>();
    throw py::type_error(std::string(name) + " must be True or False, not " + typeName(value));
}

py::array_t<double, py::array::c_style> Finite_Array(py::handle value, const char* name,
                                                     int dimensions) {
    const std::string shape = dimensions == 1 ? "a sequence" : "a square table";
    py::array any = py::array::ensure(value);
    if (!any) {
        PyErr_Clear();
        throw py::value_error(std::string(name) + " must be " + shape +
                              " of real numbers (numpy cannot make an array of it)");
    }
    const char kind = any.dtype().kind();
    if (kind != 'i' && kind != 'u' && kind != 'f')
        throw py::type_error(std::string(name) + " must hold real numbers, not " +
                             std::string(py::str(any.dtype())) + " values");
    if (any.ndim() != dimensions)
        throw py::value_error(std::string(name) + " must be " + shape + " of real numbers (" +
                              std::to_string(dimensions) + " dimension" +
                              (dimensions == 1 ? "" : "s") + "), not an array of " +
                              std::to_string(any.ndim()) + " dimension" +
                              (any.ndim() == 1 ? "" : "s"));
    auto doubles = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(any);
    if (!doubles) throw py::error_already_set();
    const double* data = doubles.data();
    for (py::ssize_t i = 0; i < doubles.size(); ++i)
        if (!std::isfinite(data[i]))
            throw py::value_error(std::string(name) + " must hold finite numbers: element " +
                                  std::to_string(i) + " is " +
                                  std::string(py::repr(py::float_(data[i]))));
    return doubles;
}

RunLengthArguments RunLengthArguments::Parse(py::handle time, py::handle steps,
                                             py::handle continuous, py::handle windowTime) {
    RunLengthArguments a;
    if (!time.is_none()) a.time = Finite_Number(time, "time");
    if (!steps.is_none())
        a.steps = Whole_Number(steps, "steps", 1, std::numeric_limits<long long>::max());
    a.continuous = Flag(continuous, "continuous");
    if (!windowTime.is_none())
        a.windowTime = int16_t(Whole_Number(windowTime, "window_time", INT16_MIN, INT16_MAX));
    // As lv-run's --continuous, --time and --steps.
    if (a.continuous && a.time)
        throw py::value_error("continuous=True and time exclude each other");
    if (a.continuous && !a.steps)
        throw py::value_error("continuous=True needs steps: a continuous run never ends by itself");
    return a;
}

RunOptions RunLengthArguments::Options() const {
    RunOptions o;
    if (time) o.time = Format_Shortest(*time);
    o.continuous = continuous;
    o.steps = steps;
    o.windowTime = std::to_string(windowTime);
    return o;
}

AnalysisArguments AnalysisArguments::Parse(py::handle spectrum, py::handle method,
                                           py::handle discard, py::handle equilibrium,
                                           py::handle maxima) {
    AnalysisArguments a;
    a.spectrum = Flag(spectrum, "spectrum");
    a.equilibrium = Flag(equilibrium, "equilibrium");
    if (!py::isinstance<py::str>(method))
        throw py::type_error("method must be \"twin\" or \"tangent\", not " +
                             std::string(py::repr(method)));
    const std::string m = method.cast<std::string>();
    if (m != "twin" && m != "tangent")
        throw py::value_error("method must be \"twin\" or \"tangent\", not " +
                              std::string(py::repr(method)));
    a.tangent = m == "tangent";
    if (!discard.is_none()) {
        a.discard = Finite_Number(discard, "discard");
        if (a.discard < 0)
            throw py::value_error("discard is a model time from 0 up, not " +
                                  std::string(py::repr(discard)));
    }
    if (!maxima.is_none()) a.maxima = int(Whole_Number(maxima, "maxima", 0, MaxSpecies - 1));
    return a;
}
