#include "Errors.h"

namespace {

// Made once at import and kept with the module for the life of the process.
PyObject* errorType = nullptr;

}  // namespace

void Register_Error(py::module_& module) {
    errorType = PyErr_NewExceptionWithDoc(
        "lotkavolterra.Error",
        "A parameter file, a run or a sweep that failed, as lv-run reports it.\n\n"
        "Attributes\n"
        "----------\n"
        "kind : str\n"
        "    The kind of failure as lv-run names it: \"Overflow\", \"Division by zero\",\n"
        "    \"File not found\", \"Type mismatch\", ...\n"
        "step : int\n"
        "    The step of the run that failed, from 1; 0 when no step did.\n"
        "history : pandas.DataFrame or None\n"
        "    For a run with history=True, its rows up to the failure.\n",
        PyExc_Exception, nullptr);
    if (errorType == nullptr) throw py::error_already_set();
    py::handle type(errorType);
    type.attr("kind") = py::none();
    type.attr("step") = 0;
    type.attr("history") = py::none();
    module.add_object("Error", type);
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const LvError& e) {
            try {
                Raise_Error(e);
            } catch (py::error_already_set& raised) {
                raised.restore();
            }
        }
    });
}

void Raise_Error(const LvError& failure, py::object history) {
    py::object error = py::reinterpret_borrow<py::object>(errorType)(Failure_Text(failure));
    error.attr("kind") = Error_Kind_Text(failure.kind());
    error.attr("step") = failure.step();
    error.attr("history") = std::move(history);
    PyErr_SetObject(errorType, error.ptr());
    throw py::error_already_set();
}
