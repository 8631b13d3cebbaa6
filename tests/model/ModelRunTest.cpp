#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <new>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#include "BenchModel.h"
#include "Convert.h"
#include "LvError.h"
#include "ModelRun.h"
#include "ModelTestSupport.h"
#include "ParamFiles.h"
#include "RunLength.h"
#include "TwinExponent.h"

// Counts every allocation in this test program, to show that a step makes none.
namespace {
long long allocations = 0;
}
void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

namespace {

class ModelRun : public ::testing::Test {
  protected:
    void SetUp() override { Reset_Globals(); }
    void run(int16_t plotInterval = 100) { Run_Model(view, Nanimals, plotInterval, TotalTime); }
    // Stops the run from inside it after `steps` steps, as the Stop button does.
    void stopAfter(long long steps) {
        view.onEvents = [steps](RecordingView& v) {
            if (v.steps == steps) StopRequested = -1;
        };
    }
    RecordingView view;
};

// --- How many steps a run makes -------------------------------------------------------------

TEST_F(ModelRun, StepCountFollowsTheRunningSumOfDt) {
    Load_Chaotic_Four();
    dt = 0.01;
    TotalTime = 800;  // 80,000 additions of 0.01 stay just below 800
    run();
    EXPECT_EQ(view.steps, 80001);

    view = RecordingView{};
    TotalTime = 1;
    run();
    EXPECT_EQ(view.steps, 100);

    view = RecordingView{};
    TotalTime = 0.004;  // above 0, below dt
    run();
    EXPECT_EQ(view.steps, 1);
}

TEST_F(ModelRun, ContinuousRunGoesOnUntilStoppedWithTimeStandingStill) {
    for (double continuous : {-1.0, 0.0}) {
        Reset_Globals();
        Load_Chaotic_Four();
        dt = 0.01;
        TotalTime = continuous;
        view = RecordingView{};
        // After 5,000 steps the run is given a time of 1. Had t advanced while the run was
        // continuous it would now be 50 and end at once; from 0 it takes 100 more steps.
        view.onEvents = [](RecordingView& v) {
            if (v.steps == 5000) TotalTime = 1;
        };
        run();
        EXPECT_EQ(view.steps, 5100) << "TotalTime " << continuous;
    }
}

TEST_F(ModelRun, StopRequestedBeforeTheRunMakesExactlyOneStep) {
    Load_Chaotic_Four();
    dt = 0.01;
    TotalTime = 800;
    StopRequested = -1;
    LE = 99;
    run();
    EXPECT_EQ(view.steps, 1);
    EXPECT_NE(LE, 99);
    ASSERT_EQ(view.captions.size(), 1u);
    EXPECT_EQ(view.captions[0], Info_Caption(LE));
    EXPECT_EQ(StopRequested, -1) << "the run leaves the request to its caller";
}

TEST_F(ModelRun, StopTakesEffectAfterTheStepInWhichItIsPressed) {
    Load_Chaotic_Four();
    dt = 0.01;
    TotalTime = -1;
    stopAfter(37);
    run(4);
    EXPECT_EQ(view.steps, 37);
    // The chart column due in a step is drawn before the run ends (steps 5, ..., 35).
    EXPECT_EQ(view.graphSteps.back(), 35);
}

// --- Chart and window calls -----------------------------------------------------------------

TEST_F(ModelRun, ChartColumnFollowsEveryPlotIntervalPlusOneSteps) {
    Load_Chaotic_Four();
    dt = 0.01;
    TotalTime = -1;
    stopAfter(13);
    run(3);
    EXPECT_EQ(view.graphSteps, (std::vector<long long>{4, 8, 12}));
    EXPECT_EQ(view.graphCounts, (std::vector<int16_t>{4, 4, 4}));

    for (int16_t interval : {0, -5}) {
        view = RecordingView{};
        stopAfter(6);
        StopRequested = 0;
        run(interval);
        EXPECT_EQ(view.graphSteps, (std::vector<long long>{1, 2, 3, 4, 5, 6}))
            << "PlotInterval " << interval;
    }
}

TEST_F(ModelRun, WindowCallsComeInTheirOrderOncePerStep) {
    Load_Chaotic_Four();
    dt = 0.01;
    TotalTime = 0.03;  // three steps
    PlotColumn = 77;
    view.keepCalls = true;
    int16_t columnAtFirstStep = -1;
    view.onEvents = [&](RecordingView& v) {
        if (v.steps == 1) columnAtFirstStep = PlotColumn;
    };
    run(1);
    EXPECT_EQ(view.calls, (std::vector<std::string>{"clear", "events", "graph", "events", "events",
                                                    "caption"}));
    EXPECT_EQ(columnAtFirstStep, 0) << "a run starts the chart at column 0";
}

TEST_F(ModelRun, WindowSeesThePopulationsOfTheCompletedStep) {
    Load_Chaotic_Four();
    dt = 0.01;
    TotalTime = -1;
    PlainRun ref(Species, 4);
    std::vector<double> seen, expected;
    view.onEvents = [&](RecordingView& v) {
        ref.Step(0.01);
        seen.push_back(Species.rows[2].x);
        expected.push_back(ref.sp.rows[2].x);
        if (v.steps == 50) StopRequested = -1;
    };
    run(0);
    EXPECT_EQ(seen, expected);
}

// --- One step, rule by rule -----------------------------------------------------------------

TEST_F(ModelRun, PopulationReachingOneIsClampedAfterItsSquaredDifference) {
    // Species 1 carries the perturbation and grows past 1 in the single step.
    Nanimals = 2;
    Species.rows[0] = {};
    Species.rows[0].x = 0.25;
    Species.rows[1].x = 0.5;
    Species.rows[1].r = 1.4;
    dt = 1;
    TotalTime = 1;
    run();
    ASSERT_EQ(view.steps, 1);
    EXPECT_EQ(Bits(Species.rows[1].x), 0x3FEFFFFFCA501ACBu);

    const double d0 = std::pow(10.0, -12.0);
    const double x1 = 1.0 * ((1.4 * 0.5) * (1 - 0.0)) + 0.5;  // about 1.2
    const double xe0 = d0 + 0.5;
    const double xe1 = 1.0 * ((xe0 * 1.4) * (1 - 0.0)) + xe0;
    ASSERT_GT(x1, 1.1);
    const double Dist = std::sqrt((x1 - xe1) * (x1 - xe1) + 0.0);
    EXPECT_EQ(LE, (1 / 1.0) * Model_Log(Dist / d0) + 0.0)
        << "the distance of the step is taken with the unclamped population";
}

TEST_F(ModelRun, ExactlyOneIsClampedAndThePerturbedCopyNeverIs) {
    Nanimals = 2;
    Species.rows[0].x = 0.5;  // 1 * ((1 * 0.5) * 1) + 0.5 = 1 exactly
    Species.rows[0].r = 1;
    Species.rows[1].x = 0.5;
    Species.rows[1].r = 1.4;
    dt = 1;
    TotalTime = 2;
    PlainRun ref(Species, 2);
    run();
    ref.Step(1);
    ref.Step(1);
    ASSERT_EQ(view.steps, 2);
    EXPECT_EQ(Species.rows[0].x, 0.9999999);
    // Species 1 passes 1 in the first step; had its perturbed copy been clamped too, the
    // renormalised copy would sit on the main value and the second distance would differ.
    EXPECT_EQ(Bits(LE), Bits(ref.LE()));
    EXPECT_EQ(Bits(Species.rows[1].x), Bits(ref.sp.rows[1].x));
}

TEST_F(ModelRun, OnlySpeciesOneStartsPerturbed) {
    // Species 1 neither grows nor enters the other equations, so with only it perturbed
    // the distance is exactly its own offset, and every other pair stays identical.
    Nanimals = 3;
    for (int k : {0, 2}) {
        Species.rows[k].x = 0.3 + 0.1 * k;
        Species.rows[k].r = 0.8;
        Species.rows[k].a[0] = 0.6;
        Species.rows[k].a[2] = 0.5;
    }
    Species.rows[1].x = 0.45;
    Species.rows[1].a[1] = 1;
    dt = 0.01;
    TotalTime = -1;
    StopRequested = -1;
    run();
    const double d0 = std::pow(10.0, -12.0);
    const double offset = 0.45 - (d0 + 0.45);
    const double Dist = std::sqrt(offset * offset + 0.0);
    EXPECT_EQ(LE, (1 / 0.01) * Model_Log(Dist / d0));
}

TEST_F(ModelRun, UpdateUsesStartOfStepValuesOnly) {
    // Strong coupling both ways: a sweep that used a row already updated in this step
    // would give a different result for the later rows.
    Nanimals = 3;
    const double a[3][3] = {{1, 0.9, 0.2}, {0.7, 1, 0.4}, {0.3, 0.8, 1}};
    const double x0[3] = {0.2, 0.5, 0.7};
    for (int k = 0; k < 3; ++k) {
        for (int j = 0; j < 3; ++j) Species.rows[k].a[j] = a[k][j];
        Species.rows[k].r = 3;
        Species.rows[k].x = x0[k];
    }
    dt = 0.1;
    StopRequested = -1;
    TotalTime = -1;
    run();
    for (int k = 0; k < 3; ++k) {
        double S = 0;
        for (int j = 0; j < 3; ++j) S = a[k][j] * x0[j] + S;
        double expected = 0.1 * ((3 * x0[k]) * (1 - S)) + x0[k];
        if (expected >= 1) expected = 0.9999999;
        EXPECT_EQ(Species.rows[k].x, expected) << "species " << k;
    }
}

TEST_F(ModelRun, RowsOutsideTheCountAreLeftAlone) {
    Load_Chaotic_Four();
    Species.rows[4].x = 0.5;
    Species.rows[4].r = 2;
    Species.rows[4].a[0] = 1;
    Species.rows[0].a[4] = 1e300;  // outside the 4 x 4 block: must not enter any sum
    dt = 0.01;
    TotalTime = 1;
    PlainRun ref(Species, 4);
    run();
    for (int s = 0; s < 100; ++s) ref.Step(0.01);
    EXPECT_EQ(Species.rows[4].x, 0.5);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(Bits(Species.rows[k].x), Bits(ref.sp.rows[k].x));
}

TEST_F(ModelRun, DyingSpeciesDecaysThroughSubnormalsEvenIfTheCallerFlushes) {
    Nanimals = 2;
    Species.rows[0].x = 0.5;
    Species.rows[0].r = -30;  // x shrinks by 0.7 a step
    Species.rows[1].x = 0.4;  // r = 0: carries the perturbation unchanged
    dt = 0.01;
    TotalTime = 20.2;
#if defined(__x86_64__)
    const unsigned before = _mm_getcsr();
    _mm_setcsr(before | 0x8040);  // flush-to-zero and denormals-are-zero
#endif
    run();
#if defined(__x86_64__)
    EXPECT_EQ(_mm_getcsr() & 0x8040, 0x8040u) << "the caller's mode is given back";
    _mm_setcsr(before);
#endif
    EXPECT_EQ(std::fpclassify(Species.rows[0].x), FP_SUBNORMAL);
}

// --- The result caption ---------------------------------------------------------------------

TEST(InfoCaption, SixDecimalsAndTwoLineEnds) {
    EXPECT_EQ(Info_Caption(0.1234567), "LE = 0.123457\r\n\r\n");
    EXPECT_EQ(Info_Caption(-0.5), "LE = -0.500000\r\n\r\n");
    EXPECT_EQ(Info_Caption(12.0), "LE = 12.000000\r\n\r\n");
    Override_Locale_Decimal_Separator(",");
    EXPECT_EQ(Info_Caption(0.1234567), "LE = 0,123457\r\n\r\n");
    Override_Locale_Decimal_Separator(nullptr);
}

TEST_F(ModelRun, CaptionShowsTheMeanExponent) {
    Load_Chaotic_Four();
    dt = 0.01;
    TotalTime = 5;
    PlainRun ref(Species, 4);
    run();
    for (long long s = 0; s < view.steps; ++s) ref.Step(0.01);
    EXPECT_EQ(Bits(LE), Bits(ref.LE()));
    EXPECT_EQ(view.captions, (std::vector<std::string>{Info_Caption(LE)}));
}

// --- Failures -------------------------------------------------------------------------------

// Runs and returns the failure; the test fails if there is none.
LvError failureOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const LvError& e) {
        return e;
    }
    ADD_FAILURE() << "no failure";
    return LvError(ErrorKind::FileNotFound, "none");
}

TEST_F(ModelRun, ZeroTimeStepIsADivisionByZeroInTheFirstStep) {
    Load_Chaotic_Four();
    const SpeciesTable before = Species;
    dt = 0;
    TotalTime = 1;
    LE = 0.25;
    const LvError e = failureOf([&] { run(); });
    EXPECT_EQ(e.kind(), ErrorKind::DivisionByZero);
    EXPECT_NE(e.context().find("step 1"), std::string::npos) << e.what();
    EXPECT_EQ(LE, 0.25);
    EXPECT_TRUE(view.captions.empty());
    EXPECT_EQ(view.steps, 0);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(Species.rows[k].x, before.rows[k].x);
}

TEST_F(ModelRun, ZeroDistanceIsAnInvalidArgument) {
    // With one species the perturbed row 1 is not integrated: the two runs coincide.
    for (int16_t n : {1, 0}) {
        Reset_Globals();
        Nanimals = n;
        Species.rows[0].x = 0.5;
        Species.rows[0].r = 1;
        Species.rows[0].a[0] = 1;
        dt = 0.01;
        TotalTime = 1;
        LE = 0.25;
        const LvError e = failureOf([&] { run(); });
        EXPECT_EQ(e.kind(), ErrorKind::InvalidCall) << e.what();
        EXPECT_NE(e.context().find("step 1"), std::string::npos) << e.what();
        EXPECT_EQ(LE, 0.25);
    }
}

TEST_F(ModelRun, DivergingTrajectoryIsAnOverflowNamingItsStep) {
    // A negative population of a self-limiting species runs off to minus infinity.
    Nanimals = 2;
    Species.rows[0].x = -0.5;
    Species.rows[0].r = 1;
    Species.rows[0].a[0] = 1;
    Species.rows[1].x = 0.3;
    dt = 0.5;
    TotalTime = -1;
    LE = 0.25;
    const LvError e = failureOf([&] { run(); });
    EXPECT_EQ(e.kind(), ErrorKind::Overflow) << e.what();
    EXPECT_STREQ(Error_Kind_Text(e.kind()), "Overflow");
    EXPECT_EQ(LE, 0.25);
    EXPECT_TRUE(view.captions.empty());
    // The failing step is the one after the last complete one, whose values the table keeps.
    const long long done = view.steps;
    ASSERT_GT(done, 2);
    EXPECT_NE(e.context().find("step " + std::to_string(done + 1)), std::string::npos) << e.what();
    SpeciesTable start{};
    start.rows[0].x = -0.5;
    start.rows[0].r = 1;
    start.rows[0].a[0] = 1;
    start.rows[1].x = 0.3;
    PlainRun ref(start, 2);
    for (long long s = 0; s < done; ++s) ref.Step(0.5);
    EXPECT_TRUE(std::isfinite(Species.rows[0].x));
    EXPECT_EQ(Bits(Species.rows[0].x), Bits(ref.sp.rows[0].x));
}

TEST_F(ModelRun, RunningTimePastTheDoubleRangeIsAnOverflow) {
    // Nothing grows (r = 0), so the only result out of range is t itself, in step 2.
    Nanimals = 2;
    Species.rows[0].x = 0.5;
    Species.rows[1].x = 0.5;
    dt = 1e308;
    TotalTime = 1.7e308;
    LE = 0.25;
    const LvError e = failureOf([&] { run(); });
    EXPECT_EQ(e.kind(), ErrorKind::Overflow) << e.what();
    EXPECT_NE(e.context().find("step 2"), std::string::npos) << e.what();
    EXPECT_EQ(view.steps, 1);
    EXPECT_EQ(LE, 0.25);
}

TEST_F(ModelRun, MoreThanFiftyOneSpeciesFailBeforeTheFirstStep) {
    Nanimals = 52;
    dt = 0.01;
    TotalTime = 1;
    const LvError e = failureOf([&] { run(); });
    EXPECT_EQ(e.kind(), ErrorKind::SubscriptOutOfRange);
    EXPECT_NE(e.context().find("51"), std::string::npos) << e.what();
    EXPECT_EQ(view.steps, 0);
    EXPECT_EQ(view.clears, 1);
}

TEST_F(ModelRun, CountRaisedPastTheTableDuringARunFailsAtThatStep) {
    Load_Chaotic_Four();
    dt = 0.01;
    TotalTime = -1;
    view.onEvents = [](RecordingView& v) {
        if (v.steps == 10) Nanimals = 52;
    };
    const LvError e = failureOf([&] { run(); });
    EXPECT_EQ(e.kind(), ErrorKind::SubscriptOutOfRange);
    EXPECT_NE(e.context().find("step 11"), std::string::npos) << e.what();
}

TEST_F(ModelRun, PlotCountPastItsRangeIsAnOverflow) {
    Load_Chaotic_Four();
    dt = 0.01;
    TotalTime = -1;
    const LvError e = failureOf([&] { run(32767); });
    EXPECT_EQ(e.kind(), ErrorKind::Overflow);
    EXPECT_NE(e.context().find("step 32768"), std::string::npos) << e.what();
    EXPECT_EQ(view.steps, 32767);
    EXPECT_TRUE(view.graphSteps.empty());
}

TEST_F(ModelRun, FlagsRaisedByTheWindowAreNotTheModelsFailure) {
    Load_Chaotic_Four();
    dt = 0.01;
    TotalTime = 1;
    PlainRun ref(Species, 4);
    view.onEvents = [](RecordingView&) {
        volatile double zero = 0, big = 1e300;
        volatile double r1 = 1 / zero, r2 = big * big, r3 = zero / zero;
        (void)r1, (void)r2, (void)r3;
    };
    run(0);
    for (int s = 0; s < 100; ++s) ref.Step(0.01);
    EXPECT_EQ(view.steps, 100);
    EXPECT_EQ(Bits(LE), Bits(ref.LE()));
}

TEST_F(ModelRun, CallersFloatingPointFlagsAreGivenBack) {
    Load_Chaotic_Four();
    dt = 0.01;
    TotalTime = 0.5;
    std::feclearexcept(FE_ALL_EXCEPT);
    std::feraiseexcept(FE_UNDERFLOW);
    run();
    EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT), FE_UNDERFLOW);
    std::feclearexcept(FE_ALL_EXCEPT);
}

// A caller that rounds upwards (and, on x86-64, flushes subnormals) still gets the run of the
// plain evaluation, and its own modes back afterwards.
TEST_F(ModelRun, CallersRoundingAndSubnormalModesDoNotReachTheRun) {
    Load_Chaotic_Four();
    dt = 0.01;
    TotalTime = 5;
    PlainRun ref(Species, 4);
    std::fesetround(FE_UPWARD);
#if defined(__x86_64__)
    const unsigned before = _mm_getcsr();
    _mm_setcsr(before | 0x8040);  // flush to zero, denormals are zero
    const unsigned callers = _mm_getcsr();
#endif
    run();
    const int rounding = std::fegetround();
#if defined(__x86_64__)
    const unsigned after = _mm_getcsr();
    _mm_setcsr(before);
    EXPECT_EQ(after & ~0x3Fu, callers & ~0x3Fu);  // modes and masks, not flags
#endif
    std::fesetround(FE_TONEAREST);
    EXPECT_EQ(rounding, FE_UPWARD);
    for (long long s = 0; s < view.steps; ++s) ref.Step(0.01);
    EXPECT_EQ(view.steps, 501);
    EXPECT_EQ(Bits(LE), Bits(ref.LE()));
    for (int k = 0; k < 4; ++k) EXPECT_EQ(Bits(Species.rows[k].x), Bits(ref.sp.rows[k].x));
}

// --- Resources ------------------------------------------------------------------------------

TEST_F(ModelRun, StepsAllocateNothing) {
    for (int16_t n : {4, 51}) {
        Reset_Globals();
        for (int k = 0; k < n; ++k) {
            Species.rows[k].x = 0.1 + 0.01 * k;
            Species.rows[k].r = 0.5;
            Species.rows[k].a[k] = 1;
            Species.rows[k].a[(k + 1) % n] = 0.3;
        }
        Nanimals = n;
        dt = 0.01;
        TotalTime = 2;
        std::vector<long long> counts;
        counts.reserve(300);
        view = RecordingView{};
        view.onEvents = [&](RecordingView&) { counts.push_back(allocations); };
        run(32767);
        ASSERT_EQ(counts.size(), 200u);
        EXPECT_EQ(counts.front(), counts.back()) << "N = " << n;
    }
}

// --- The model as a value, on any thread ----------------------------------------------------

// The chaotic four species as a row-style file, run time 20 and dt 0.01.
std::string chaoticFourFile() {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("lv-model-" + std::to_string(::getpid()) + ".p"))
            .string();
    std::ofstream(path) << "chaotic four\n4 20 0.01\n1 0.72 1.53 1.27 \n0.3 0.4 0.5 0.6 \n"
                           "255 65280 16711680 8421504 \n1 1.09 1.52 0 \n0 1 0.44 1.36 \n"
                           "2.33 0 1 0.47 \n1.21 0.51 0.35 1 \n";
    return path;
}

// A model's run by the plain statement of the arithmetic: its exponent and populations.
struct Plain {
    double le;
    std::vector<double> x;
};
Plain plainRunOf(const Model& m, long long steps) {
    PlainRun ref(m.Species, m.Nanimals);
    for (long long s = 0; s < steps; ++s) ref.Step(m.dt);
    Plain p{ref.LE(), {}};
    for (int k = 0; k < m.Nanimals; ++k) p.x.push_back(ref.sp.rows[k].x);
    return p;
}

void expectPlain(const Model& after, const RunResult& r, const Plain& plain, const char* what) {
    EXPECT_EQ(Bits(r.LE), Bits(plain.le)) << what;
    for (int k = 0; k < after.Nanimals; ++k)
        EXPECT_EQ(Bits(after.Species.rows[k].x), Bits(plain.x[std::size_t(k)]))
            << what << ", x" << k;
}

TEST(ModelValue, LoadedOnOneThreadRunsOnAnother) {
    const std::string path = chaoticFourFile();
    Model loaded;
    std::thread([&] { Load_P_File(path, loaded); }).join();
    std::filesystem::remove(path);
    ASSERT_EQ(loaded.Nanimals, 4);
    const Model start = loaded;
    RunResult r;
    std::thread([&] {
        RunControl control;
        r = Run_Model(loaded, {}, control);
    }).join();
    EXPECT_EQ(r.steps, Steps_For(20, 0.01));
    expectPlain(loaded, r, plainRunOf(start, r.steps), "run on another thread");
}

TEST(ModelValue, TwoModelsRunAtOnceEachAsAlone) {
    Model a, b;
    Fill_Bench_Model(a.Species, 4);
    Fill_Bench_Model(b.Species, 51, 99);
    a.Nanimals = 4;
    b.Nanimals = 51;
    a.dt = 0.01;
    b.dt = 0.02;
    a.TotalTime = 60;
    b.TotalTime = 30;
    const Model startA = a, startB = b;
    // Both start together and overlap for most of their steps.
    std::atomic<int> ready{0};
    RunResult ra, rb;
    auto runOf = [&ready](Model& m, RunResult& r) {
        return [&ready, &m, &r] {
            ++ready;
            while (ready.load() < 2) {
            }
            RunControl control;
            r = Run_Model(m, {7, {}}, control);
        };
    };
    std::thread ta(runOf(a, ra)), tb(runOf(b, rb));
    ta.join();
    tb.join();
    expectPlain(a, ra, plainRunOf(startA, Steps_For(60, 0.01)), "four species beside 51");
    expectPlain(b, rb, plainRunOf(startB, Steps_For(30, 0.02)), "51 species beside four");
}

// Stops the run from another thread at `atStep`, holding that step until the stop is set.
class StopFromAfar : public StepAnalysis {
  public:
    StopFromAfar(RunControl& control, long long atStep) : control_(control), at_(atStep) {}
    void Start(const Model&) override {}
    void Step(const StepView& step) override {
        if (step.step != at_) return;
        std::thread([this] { control_.Request_Stop(); }).join();
    }

  private:
    RunControl& control_;
    long long at_;
};

TEST(ModelValue, StopFromAnotherThreadEndsTheRunAfterThatStep) {
    Model m;
    Fill_Bench_Model(m.Species, 4);
    m.Nanimals = 4;
    m.dt = 0.01;
    m.TotalTime = -1;
    RunControl control;
    StopFromAfar stop(control, 1234);
    // The limit only ends a run that never saw the stop.
    const RunResult r = Run_Model(m, {0, 100000}, control, {.analyses = {&stop}});
    EXPECT_EQ(r.steps, 1234);
    EXPECT_TRUE(control.Stop_Requested()) << "the run leaves the request to its owner";
}

// One worker thread taking tasks in turn, as a pool's thread does.
class OneWorker {
  public:
    OneWorker()
        : thread_([this] {
              for (;;) {
                  std::function<void()> task;
                  {
                      std::unique_lock lock(mutex_);
                      ready_.wait(lock, [this] { return done_ || !tasks_.empty(); });
                      if (tasks_.empty()) return;
                      task = std::move(tasks_.front());
                      tasks_.pop_front();
                  }
                  task();
              }
          }) {}
    ~OneWorker() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        ready_.notify_one();
        thread_.join();
    }
    void Post(std::function<void()> task) {
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        ready_.notify_one();
    }

  private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> tasks_;
    bool done_ = false;
    std::thread thread_;
};

TEST(ModelValue, APooledThreadShowsNothingOfItsLastModel) {
    Model first, second;
    Fill_Bench_Model(first.Species, 51);
    first.Nanimals = 51;
    first.dt = 0.01;
    first.TotalTime = 5;
    // The second model is smaller and its rows beyond 3 are zero: rows of the first left
    // anywhere would change it.
    for (int k = 0; k < 3; ++k) {
        second.Species.rows[k].x = 0.2 + 0.2 * k;
        second.Species.rows[k].r = 1 + 0.1 * k;
        for (int j = 0; j < 3; ++j) second.Species.rows[k].a[j] = j == k ? 1 : 0.3;
    }
    second.Nanimals = 3;
    second.dt = 0.02;
    second.TotalTime = 8;
    const Model secondStart = second;
    RunResult alone;
    Model aloneModel = second;
    std::thread([&] {
        RunControl control;
        alone = Run_Model(aloneModel, {}, control);
    }).join();

    RunResult pooled;
    {
        OneWorker worker;
        worker.Post([&] {
            RunControl control;
            (void)Run_Model(first, {}, control);
        });
        worker.Post([&] {
            RunControl control;
            pooled = Run_Model(second, {}, control);
        });
    }
    EXPECT_EQ(pooled.steps, alone.steps);
    EXPECT_EQ(Bits(pooled.t), Bits(alone.t));
    expectPlain(second, pooled, plainRunOf(secondStart, alone.steps), "after another model");
    expectPlain(aloneModel, alone, plainRunOf(secondStart, alone.steps), "on a fresh thread");
}

// What the run shows its observers: every column's step, time and populations, and the
// exponent so far, as the plain run has them after that step.
class Recorder : public RunObserver {
  public:
    void Run_Starts(const Model& m) override { starts.push_back(m.Nanimals); }
    void Column(const RunSnapshot& now) override {
        columns.push_back({now.step, now.t, {now.x.begin(), now.x.end()}, now.LE});
    }
    void Run_Ends(const RunSnapshot& last) override {
        ends.push_back({last.step, last.t, {last.x.begin(), last.x.end()}, last.LE});
    }
    bool Follows_Exponent() const override { return follows; }
    struct Seen {
        long long step;
        double t;
        std::vector<double> x;
        double LE;
    };
    bool follows = true;
    std::vector<int> starts;
    std::vector<Seen> columns, ends;
};

TEST(ModelValue, ObserversSeeEachColumnsStepTimePopulationsAndExponentSoFar) {
    Model m;
    Fill_Bench_Model(m.Species, 4);
    m.Nanimals = 4;
    m.dt = 0.01;
    m.TotalTime = 1;  // 100 steps
    PlainRun ref(m.Species, 4);
    Recorder watching, quiet;
    quiet.follows = false;
    RunControl control;
    const RunResult r = Run_Model(m, {9, {}}, control, {.observers = {&watching, &quiet}});
    ASSERT_EQ(r.steps, 100);
    ASSERT_EQ(watching.columns.size(), 10u);
    EXPECT_EQ(watching.starts, std::vector<int>{4});
    double t = 0;
    for (std::size_t c = 0; c < watching.columns.size(); ++c) {
        const Recorder::Seen& seen = watching.columns[c];
        while (ref.steps < seen.step) {
            ref.Step(0.01);
            t = 0.01 + t;
        }
        EXPECT_EQ(seen.step, 10 * long(c + 1));
        EXPECT_EQ(Bits(seen.t), Bits(t));
        ASSERT_EQ(seen.x.size(), 4u);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(Bits(seen.x[k]), Bits(ref.sp.rows[k].x));
        EXPECT_EQ(Bits(seen.LE), Bits(ref.LE())) << "column " << c;
        // Only one observer follows the exponent, and the run computes it for all.
        EXPECT_EQ(quiet.columns[c].step, seen.step);
    }
    ASSERT_EQ(watching.ends.size(), 1u);
    EXPECT_EQ(watching.ends[0].step, 100);
    EXPECT_EQ(Bits(watching.ends[0].LE), Bits(r.LE));
    EXPECT_EQ(Bits(r.t), Bits(t));

    // Nobody follows: the snapshot says so rather than show a stale value.
    Recorder alone;
    alone.follows = false;
    RunControl again;
    (void)Run_Model(m, {9, {}}, again, {.observers = {&alone}});
    ASSERT_FALSE(alone.columns.empty());
    EXPECT_TRUE(std::isnan(alone.columns[0].LE));
    EXPECT_FALSE(std::isnan(alone.ends[0].LE));
}

}  // namespace
