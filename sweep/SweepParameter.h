#pragma once

#include <string>

#include "Model.h"

// A value of the model that a sweep varies, named as the parameter file's rows are numbered
// (from 0): r(k), x(k), a(i,j), dt or TotalTime. Setting it writes a model's table or run
// settings exactly where a file holding that value would have put it.
struct SweepParameter {
    enum class Kind { Rate, Population, Matrix, TimeStep, RunTime };
    Kind kind = Kind::Rate;
    int i = 0;         // the row of r, x and a
    int j = 0;         // the column of a
    std::string name;  // written plainly ("r(1)" for "r(01)"), for the CSV header and the plots

    // Throws SweepOptionError for a name that is none of the above or whose indices are
    // outside 0..50.
    static SweepParameter Parse(const std::string& name);

    // Throws SweepOptionError unless the rows it names are among the file's 0..n - 1.
    void Check_Rows(int n) const;

    // Writes `value` into `model`.
    void Set(Model& model, double value) const;

    bool Is_Run_Setting() const { return kind == Kind::TimeStep || kind == Kind::RunTime; }
    bool Same_Target(const SweepParameter& other) const {
        return kind == other.kind && i == other.i && j == other.j;
    }
};

// An option of a sweep that cannot work: the command line names what is wrong.
struct SweepOptionError {
    std::string message;
};
