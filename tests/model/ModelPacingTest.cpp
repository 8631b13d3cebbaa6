#include <gtest/gtest.h>

#include <limits>

#include "LvError.h"
#include "ModelRun.h"
#include "ModelTestSupport.h"

// How the run paces the window: the steps a view lets pass without Do_Events, the table it
// sees when it is called, and the exponent's terms that wait a step, without changing a bit
// of the result.

namespace {

class Pacing : public ::testing::Test {
  protected:
    void SetUp() override { Reset_Globals(); }
    RecordingView view;
};

TEST_F(Pacing, QuietViewIsCalledAfterItsQuietStepsAndSeesThatStepsTable) {
    for (long long quiet : {4LL, std::numeric_limits<long long>::max()}) {
        Reset_Globals();
        Load_Chaotic_Four();
        dt = 0.01;
        TotalTime = 1;  // 100 steps
        PlainRun ref(Species, 4);
        view = RecordingView{};
        view.quiet = quiet;
        int mismatches = 0;
        view.onEvents = [&](RecordingView& v) {
            // Calls come after step 1, then after every fifth step: 1, 6, 11, ...
            for (int s = 0; s < (v.steps == 1 ? 1 : 5); ++s) ref.Step(0.01);
            for (int k = 0; k < 4; ++k)
                if (Bits(Species.rows[k].x) != Bits(ref.sp.rows[k].x)) ++mismatches;
        };
        Run_Model(view, Nanimals, 2, TotalTime);
        EXPECT_EQ(mismatches, 0);
        EXPECT_EQ(view.steps, quiet == 4 ? 20 : 1);  // after steps 1, 6, ..., 96
        EXPECT_EQ(view.graphCounts.size(), 33u);     // every third step, called or not
        while (ref.steps < 100) ref.Step(0.01);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(Bits(Species.rows[k].x), Bits(ref.sp.rows[k].x));
        EXPECT_EQ(Bits(LE), Bits(ref.LE())) << quiet;
    }
}

TEST_F(Pacing, StopFromAQuietViewEndsTheRunAfterTheStepOfTheCall) {
    Load_Chaotic_Four();
    dt = 0.01;
    TotalTime = -1;
    view.quiet = 9;
    view.onEvents = [](RecordingView& v) {
        if (v.steps == 3) StopRequested = -1;  // the call after step 21
    };
    PlainRun ref(Species, 4);
    Run_Model(view, Nanimals, 100, TotalTime);
    for (int s = 0; s < 21; ++s) ref.Step(0.01);
    EXPECT_EQ(Bits(LE), Bits(ref.LE()));
    EXPECT_EQ(Bits(Species.rows[3].x), Bits(ref.sp.rows[3].x));
}

// A window call may start a run of its own; each run keeps its own sum, and both must come
// out as their plain evaluations, over thousands of waiting terms.
TEST_F(Pacing, RunStartedFromInsideARunSumsItsOwnExponentExactly) {
    Load_Chaotic_Four();
    dt = 0.01;
    TotalTime = 20;  // some 2,000 steps
    PlainRun outer(Species, 4);
    double innerLE = 0, innerExpected = 1;
    view.onEvents = [&](RecordingView& v) {
        outer.Step(0.01);
        if (v.steps != 700) return;
        const SpeciesTable saved = Species;
        const double savedDt = dt, savedTime = TotalTime;
        for (int k = 0; k < 4; ++k) Species.rows[k].x = 0.2 + 0.1 * k;
        PlainRun inner(Species, 4);
        dt = 0.02;
        TotalTime = 10;  // some 500 steps
        RecordingView innerView;
        Run_Model(innerView, Nanimals, 10, TotalTime);
        for (long long s = 0; s < innerView.steps; ++s) inner.Step(0.02);
        innerLE = LE;
        innerExpected = inner.LE();
        Species = saved;
        dt = savedDt;
        TotalTime = savedTime;
    };
    Run_Model(view, Nanimals, 10, TotalTime);
    EXPECT_EQ(Bits(innerLE), Bits(innerExpected));
    EXPECT_GE(view.steps, 2000);
    EXPECT_EQ(Bits(LE), Bits(outer.LE()));
}

// A run that fails with terms still waiting; the next run must start from a clean sum.
TEST_F(Pacing, RunAfterAFailedRunIsExact) {
    Load_Chaotic_Four();
    dt = 0.01;
    TotalTime = -1;
    LE = 0.75;
    view.onEvents = [](RecordingView& v) {
        if (v.steps == 1500) dt = 0;
    };
    EXPECT_THROW(Run_Model(view, Nanimals, 10, TotalTime), LvError);
    EXPECT_EQ(LE, 0.75);

    Load_Chaotic_Four();
    dt = 0.01;
    TotalTime = 10;
    PlainRun ref(Species, 4);
    RecordingView next;
    Run_Model(next, Nanimals, 10, TotalTime);
    for (long long s = 0; s < next.steps; ++s) ref.Step(0.01);
    EXPECT_EQ(Bits(LE), Bits(ref.LE()));
}

}  // namespace
