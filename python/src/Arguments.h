#pragma once

// Python's values made into the settings of a run or a sweep, each checked before any work:
// a value of the wrong type is a TypeError, one of the right type that cannot be used a
// ValueError, and either message names the argument.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <optional>

#include "RunOptions.h"

namespace py = pybind11;

// A real number (int, float, a numpy scalar; not bool), finite, since no parameter file can
// hold NaN or an infinity.
double Finite_Number(py::handle value, const char* name);

// A whole number from `low` to `high` (int or a numpy integer; not bool, not float).
long long Whole_Number(py::handle value, const char* name, long long low, long long high);

// True or False (or a numpy bool).
bool Flag(py::handle value, const char* name);

// An array of finite real numbers with `dimensions` dimensions, as doubles: anything numpy
// makes into an array of integers or floats.
py::array_t<double, py::array::c_style> Finite_Array(py::handle value, const char* name,
                                                     int dimensions);

// The analyses run() and sweep() take as lv-run's --spectrum, --method, --discard and
// --equilibrium (and lv-sweep's --maxima): spectrum=, method="twin"|"tangent", discard=,
// equilibrium=, maxima=.
struct AnalysisArguments {
    bool spectrum = false;
    bool tangent = false;
    double discard = 0;
    bool equilibrium = false;
    std::optional<int> maxima;

    static AnalysisArguments Parse(py::handle spectrum, py::handle method, py::handle discard,
                                   py::handle equilibrium, py::handle maxima);
};

// What run() and sweep() take as lv-run and lv-sweep take their shared options (RunOptions):
// the run time, the step limit and the chart's window time.
struct RunLengthArguments {
    std::optional<double> time;      // time=: the run time, "Set To:"
    bool continuous = false;         // continuous=: run time -1
    std::optional<long long> steps;  // steps=: stop after this many steps
    int16_t windowTime = 210;        // window_time=

    // Each value checked, then what RunOptions::Check says of them together.
    static RunLengthArguments Parse(py::handle time, py::handle steps, py::handle continuous,
                                    py::handle windowTime);

    // The same settings as lv-run's command line gives them, for the checks and steps it
    // takes after the file is read (the run time, the window time, whether the run can end).
    // The time goes as its shortest text, which reads back to the same number.
    RunOptions Options() const;
};
