#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

#include "Model.h"

// Many systems of one species count side by side: lane l of every vector is system l, with
// its own populations, rates, time step and run time, and either its own interaction matrix
// or, when no point varies one, the file's matrix shared by all. Values of lane l of species
// k sit at [k * width + l], so that a species' lanes are one vector.
inline constexpr int MaxLaneWidth = 16;

class LaneState {
  public:
    LaneState(int width, int n, bool laneMatrix)
        : width(width),
          n(n),
          laneMatrix(laneMatrix),
          storage_(allocate(std::size_t(width) * (Arrays * std::size_t(n) + Scalars) +
                            matrixSize(width, n, laneMatrix))) {
        double* p = storage_.get();
        auto take = [&p](std::size_t count) {
            double* at = p;
            p += count;
            return at;
        };
        const std::size_t lanes = std::size_t(width), rows = std::size_t(n) * lanes;
        x = take(rows);
        xe = take(rows);
        r = take(rows);
        S = take(rows);
        Se = take(rows);
        dt = take(lanes);
        recip = take(lanes);
        time = take(lanes);
        total = take(lanes);
        LESum = take(lanes);
        bad = reinterpret_cast<int64_t*>(take(lanes));
        a = take(matrixSize(width, n, laneMatrix));
    }

    const int width;
    const int n;
    const bool laneMatrix;  // a(k, j) of lane l at [(k * n + j) * width + l], else at [k * n + j]
    double d0 = 0;          // the perturbation, 1e-12
    // A population beyond this, in either direction, sends its system to the single run: its
    // chart rows might not fit, and the single run says exactly where they do not.
    double screen = 0;

    double* x;   // main trajectory
    double* xe;  // perturbed trajectory
    double* r;
    double* S;  // the row sums of a step, scratch for many species
    double* Se;
    double* dt;
    double* recip;  // 1 / dt
    double* time;   // the running sum of dt
    double* total;  // TotalTime; a lane with 0 or less runs until its step limit
    double* LESum;
    int64_t* bad;  // all ones from the step that a lane must be run again alone
    double* a;

  private:
    static constexpr std::size_t Arrays = 5, Scalars = 6;
    static std::size_t matrixSize(int width, int n, bool laneMatrix) {
        return std::size_t(n) * std::size_t(n) * std::size_t(laneMatrix ? width : 1);
    }
    struct Free {
        void operator()(double* p) const { ::operator delete[](p, std::align_val_t(64)); }
    };
    static std::unique_ptr<double[], Free> allocate(std::size_t count) {
        return std::unique_ptr<double[], Free>(new (std::align_val_t(64)) double[count]());
    }
    std::unique_ptr<double[], Free> storage_;
};
