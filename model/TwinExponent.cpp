#include "TwinExponent.h"

#include "ModelLog.h"
#include "PlainRun.h"

void TwinExponent::Start(const Model& model) {
    const PlainRun start(model.Species, model.Nanimals);
    table_ = start.sp;
    d0_ = start.d0;
    for (int i = 0; i < MaxSpecies; ++i) Xe_[i] = start.Xe[i];
    LESum_ = 0;
    steps_ = 0;
}

void TwinExponent::Step(const StepView& step) {
    const int n = static_cast<int>(step.xOld.size());
    for (int k = 0; k < n; ++k) table_.rows[k].x = step.xOld[k];
    const PlainStep s = Plain_Step(table_, n, step.dt, d0_, Xe_);
    LESum_ = (1 / step.dt) * Model_Log(s.Dist / d0_) + LESum_;
    ++steps_;
}
