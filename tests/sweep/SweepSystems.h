#pragma once

// Systems that the sweep tests run.

#include "SweepRun.h"

// Two species; the first never changes (r = 0) and the second settles at 1.
inline SweepBase Steady_And_Logistic() {
    SweepBase b;
    b.model.Species.rows[0].x = 0.5;
    b.model.Species.rows[1].r = 1;
    b.model.Species.rows[1].x = 0.5;
    b.model.Species.rows[1].a[1] = 1;
    b.model.Nanimals = 2;
    b.model.TotalTime = 10;
    b.model.dt = 0.01;
    return b;
}
