#include <gtest/gtest.h>

#include "BenchModel.h"
#include "LvError.h"
#include "ModelKernel.h"
#include "ModelRun.h"
#include "ModelTestSupport.h"
#include "RunLength.h"
#include "TwinExponent.h"

// The fast run must give the results of the plain evaluation bit for bit: any fused
// multiply-add, reordered or split sum, flushed subnormal or skipped clamp shows up here.

namespace {

class Exactness : public ::testing::Test {
  protected:
    void SetUp() override { Reset_Globals(); }
    void TearDown() override { Force_Kernel_Routine(std::nullopt); }
    // The failure of a run of the model loaded, which must fail.
    LvError failure(const std::string& build) {
        view = RecordingView{};
        try {
            Run_Model(view, Nanimals, 0, TotalTime);
        } catch (const LvError& e) {
            return e;
        }
        ADD_FAILURE() << "no failure, " << build;
        return LvError(ErrorKind::InvalidCall);
    }
    RecordingView view;
};

// Every build of the step routine this processor runs: each instruction set, each width.
std::vector<std::string> everyBuild() {
    const std::vector<const char*> names = Kernel_Routine_Names();
    return {names.begin(), names.end()};
}

TEST_F(Exactness, ChaoticFourSpeciesOver80001StepsMatchesThePlainEvaluation) {
    Load_Chaotic_Four();
    dt = 0.01;
    TotalTime = 800;
    PlainRun ref(Species, 4);
    Run_Model(view, Nanimals, 32767 / 2, TotalTime);
    ASSERT_EQ(view.steps, 80001);
    for (long long s = 0; s < 80001; ++s) ref.Step(0.01);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(Bits(Species.rows[k].x), Bits(ref.sp.rows[k].x)) << "species " << k;
    EXPECT_EQ(Bits(LE), Bits(ref.LE()));
    // Chaotic indeed: nearby trajectories part, so every rounding difference would grow.
    EXPECT_GT(LE, 0.005);
    EXPECT_LT(LE, 0.05);
}

TEST_F(Exactness, EveryInstructionSetGivesTheBaselinesResults) {
    for (int n : {4, 10, 51}) {
        SpeciesTable start{};
        Fill_Bench_Model(start, n);
        PlainRun plain(start, n);
        const long long steps = Steps_For(30, 0.01);
        for (long long s = 0; s < steps; ++s) plain.Step(0.01);
        const SpeciesTable& base = plain.sp;
        const double baseLE = plain.LE();
        for (const std::string& build : everyBuild()) {
            Force_Kernel_Routine(build);
            ASSERT_EQ(Kernel_Routine_Name(n), build);
            Reset_Globals();
            Species = start;
            Nanimals = static_cast<int16_t>(n);
            dt = 0.01;
            TotalTime = 30;
            view = RecordingView{};
            Run_Model(view, Nanimals, 7, TotalTime);
            ASSERT_EQ(view.steps, steps);
            for (int k = 0; k < n; ++k)
                ASSERT_EQ(Bits(Species.rows[k].x), Bits(base.rows[k].x))
                    << "N " << n << ", " << build << ", species " << k;
            EXPECT_EQ(Bits(LE), Bits(baseLE)) << "N " << n << ", " << build;
        }
    }
}

// Every species count, 1 to 51, with every build: populations that clamp, decay to
// subnormals and grow, checked against the in-test evaluation step by step.
TEST_F(Exactness, EveryCountWithClampsAndDecayMatchesStepByStep) {
    for (const std::string& build : everyBuild()) {
        Force_Kernel_Routine(build);
        // One species leaves out the perturbed one: the distance is 0 at the first step,
        // and its logarithm fails.
        Reset_Globals();
        Species.rows[0].x = 0.4;
        Species.rows[0].r = 0.7;
        Species.rows[0].a[0] = 1;
        Nanimals = 1;
        dt = 0.01;
        TotalTime = -1;
        const LvError e = failure(build);
        EXPECT_EQ(e.kind(), ErrorKind::InvalidCall) << build << ": " << e.what();
        EXPECT_NE(e.context().find("step 1:"), std::string::npos) << e.what();
        for (int n = 2; n <= 51; ++n) {
            Reset_Globals();
            for (int k = 0; k < n; ++k) {
                SpeciesRec& row = Species.rows[k];
                row.x = 0.05 + 0.9 * ((k * 37) % 101) / 101.0;
                // Every fifth species overshoots (r dt = 2.6), every seventh dies out.
                row.r = k % 5 == 3 ? 260 : k % 7 == 6 ? -40 : 0.3 + 0.02 * k;
                for (int j = 0; j < n; ++j)
                    row.a[j] = j == k ? 1 : 0.5 * (((j * 13 + k * 7) % 17) / 17.0) / n;
            }
            Nanimals = static_cast<int16_t>(n);
            dt = 0.01;
            TotalTime = -1;
            PlainRun ref(Species, n);
            bool same = true;
            view = RecordingView{};
            view.onEvents = [&](RecordingView& v) {
                ref.Step(0.01);
                for (int k = 0; k < n; ++k)
                    same = same && Bits(Species.rows[k].x) == Bits(ref.sp.rows[k].x);
                if (!same || v.steps == 1200) StopRequested = -1;
            };
            Run_Model(view, Nanimals, 0, TotalTime);
            ASSERT_TRUE(same) << "N " << n << ", " << build << ", step " << view.steps;
            ASSERT_EQ(Bits(LE), Bits(ref.LE())) << "N " << n << ", " << build;
            if (n >= 4) {
                EXPECT_GT(ref.clamps, 0) << "N " << n;
            }
        }
    }
}

// Holds every step an analysis is shown against the plain run of the same model.
class StepChecker : public StepAnalysis {
  public:
    explicit StepChecker(const Model& m) : ref_(m.Species, m.Nanimals) {}
    void Start(const Model& m) override { started = m.Nanimals; }
    void Step(const StepView& v) override {
        const int n = ref_.n;
        bool same = v.step == ref_.steps + 1 && int(v.xOld.size()) == n && int(v.xNew.size()) == n;
        for (int k = 0; same && k < n; ++k) same = Bits(v.xOld[k]) == Bits(ref_.sp.rows[k].x);
        ref_.Step(v.dt);
        t = v.dt + t;
        same = same && Bits(v.t) == Bits(t);
        for (int k = 0; same && k < n; ++k) same = Bits(v.xNew[k]) == Bits(ref_.sp.rows[k].x);
        if (!same && firstWrong == 0) firstWrong = v.step;
    }
    int started = -1;
    long long firstWrong = 0;
    long long Clamps() const { return ref_.clamps; }

  private:
    PlainRun ref_;
    double t = 0;
};

// The twin trajectory's exponent, fused into the kernel, is its plain analysis to the bit; and
// what every analysis is shown of a step is the plain run's, for every build and count, with
// clamps and populations dying out.
TEST_F(Exactness, TheKernelsExponentIsTheTwinAnalysisAndAnalysesSeeThePlainSteps) {
    for (const std::string& build : everyBuild()) {
        Force_Kernel_Routine(build);
        for (int n : {2, 3, 4, 7, 10, 13, 51}) {
            Model m;
            for (int k = 0; k < n; ++k) {
                SpeciesRec& row = m.Species.rows[k];
                row.x = 0.05 + 0.9 * ((k * 37) % 101) / 101.0;
                row.r = k % 5 == 3 ? 260 : k % 7 == 6 ? -40 : 0.3 + 0.02 * k;
                for (int j = 0; j < n; ++j)
                    row.a[j] = j == k ? 1 : 0.5 * (((j * 13 + k * 7) % 17) / 17.0) / n;
            }
            m.Nanimals = static_cast<int16_t>(n);
            m.dt = 0.01;
            m.TotalTime = 9;
            TwinExponent twin;
            StepChecker checker(m);
            RunControl control;
            const RunResult r = Run_Model(m, {}, control, {.analyses = {&twin, &checker}});
            EXPECT_EQ(checker.started, n);
            EXPECT_EQ(checker.firstWrong, 0) << "N " << n << ", " << build;
            EXPECT_EQ(twin.Steps(), r.steps);
            EXPECT_EQ(Bits(twin.LE()), Bits(r.LE)) << "N " << n << ", " << build;
            // Every clamp counted, as the plain run counts them.
            EXPECT_EQ(r.clamps, checker.Clamps()) << "N " << n << ", " << build;
            if (n >= 4) EXPECT_GT(r.clamps, 0) << "N " << n;
        }
    }
}

// A transient left out: the mean is over the steps that end after the discard, each term the
// plain run's; a discard of 0 leaves every bit as it was.
TEST_F(Exactness, ADiscardLeavesTheFirstStepsOutOfTheMeanAndZeroChangesNothing) {
    Model m;
    Fill_Bench_Model(m.Species, 4);
    m.Nanimals = 4;
    m.dt = 0.01;
    m.TotalTime = 40;
    const Model start = m;
    RunControl control;
    const RunResult whole = Run_Model(m, {}, control);
    m = start;
    const RunResult none = Run_Model(m, {0, {}, 0.0}, control);
    EXPECT_EQ(Bits(none.LE), Bits(whole.LE));
    for (double discard : {0.005, 12.5, 39.99}) {
        m = start;
        const RunResult r = Run_Model(m, {0, {}, discard}, control);
        EXPECT_EQ(r.steps, whole.steps);
        // The plain run's sum, started afresh after every step that ends within the discard.
        PlainRun plain(start.Species, 4);
        double t = 0;
        long long counted = 0;
        for (long long step = 0; step < r.steps; ++step) {
            plain.Step(0.01);
            t = 0.01 + t;
            if (t <= discard)
                plain.LESum = 0;
            else
                ++counted;
        }
        EXPECT_EQ(Bits(r.LE), Bits(plain.LESum / static_cast<double>(counted))) << discard;
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(Bits(m.Species.rows[k].x), Bits(plain.sp.rows[k].x)) << "the run is the same";
    }
    // A discard beyond the run leaves no step to count.
    m = start;
    EXPECT_TRUE(std::isnan(Run_Model(m, {0, {}, 100.0}, control).LE));
}

TEST_F(Exactness, SubnormalPopulationsAreCarriedNotFlushed) {
    Nanimals = 8;
    for (int k = 0; k < 8; ++k) {
        Species.rows[k].x = 0.5;
        Species.rows[k].r = k == 1 ? 0 : -30;
    }
    dt = 0.01;
    TotalTime = -1;
    PlainRun ref(Species, 8);
    bool sawSubnormal = false;
    view.onEvents = [&](RecordingView& v) {
        ref.Step(0.01);
        sawSubnormal = sawSubnormal || std::fpclassify(Species.rows[0].x) == FP_SUBNORMAL;
        if (v.steps == 2050) StopRequested = -1;
    };
    Run_Model(view, Nanimals, 0, TotalTime);
    EXPECT_TRUE(sawSubnormal);
    for (int k = 0; k < 8; ++k) EXPECT_EQ(Bits(Species.rows[k].x), Bits(ref.sp.rows[k].x));
}

}  // namespace

namespace {

// The exponent's terms for tiny time steps (1 / dt beyond 1e290) are taken at once, the
// others a step later: switching between the two must keep every term, in step order.
// The two time steps are close, so that both kinds of term weigh alike in the sum.
TEST_F(Exactness, ExponentSumKeepsStepOrderWhateverTheTimeStep) {
    for (const double other : {0.9e-290, 0.01}) {
        Reset_Globals();
        Load_Chaotic_Four();
        TotalTime = -1;
        dt = 1.1e-290;
        PlainRun ref(Species, 4);
        view = RecordingView{};
        view.onEvents = [&](RecordingView& v) {
            ref.Step(dt);  // the step just made used the dt in force
            dt = (v.steps / 7) % 2 ? other : 1.1e-290;
            if (v.steps == 300) StopRequested = -1;
        };
        Run_Model(view, Nanimals, 0, TotalTime);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(Bits(Species.rows[k].x), Bits(ref.sp.rows[k].x)) << other;
        EXPECT_EQ(Bits(LE), Bits(ref.LE())) << other;
        EXPECT_NE(ref.LESum, 0) << other;
    }
}

TEST_F(Exactness, ReciprocalOfASubnormalTimeStepIsAnOverflow) {
    Load_Chaotic_Four();
    TotalTime = -1;
    dt = 0.01;
    view.onEvents = [](RecordingView& v) {
        if (v.steps == 100) dt = 1e-310;
    };
    LE = 0.5;
    try {
        Run_Model(view, Nanimals, 0, TotalTime);
        ADD_FAILURE() << "no failure";
    } catch (const LvError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Overflow) << e.what();
        EXPECT_NE(e.context().find("step 101"), std::string::npos) << e.what();
    }
    EXPECT_EQ(LE, 0.5);
}

// A population shot far past 1 is clamped, and its perturbed copy, equal to it, is pulled
// back from the clamped value: ((8e307 - 0.9999999) * d0) / Dist with Dist about 1e-13 is
// out of range although SumSq and the exponent are finite. The failure is the overflow of
// that very step, for a step of one group of blocks as for one of several, whatever lane of
// its block the population is in.
TEST_F(Exactness, PullingBackPastTheDoubleRangeIsAnOverflowOfThatStep) {
    for (const std::string& build : everyBuild()) {
        Force_Kernel_Routine(build);
        for (const auto& [n, shot] : {std::pair{2, 0}, {7, 5}, {30, 0}, {30, 5}}) {
            Reset_Globals();
            for (int k = 0; k < n; ++k) Species.rows[k].x = 0.3;
            Species.rows[shot].x = 0.5;
            Species.rows[shot].r = 1.6e308;  // 0.5 + 8e307 in one step
            Species.rows[1].x = 0.5;
            Species.rows[1].r = -0.9;  // shrinks the offset d0 to about 1e-13
            Nanimals = static_cast<int16_t>(n);
            dt = 1;
            TotalTime = -1;
            LE = 0.25;
            view = RecordingView{};
            try {
                Run_Model(view, Nanimals, 0, TotalTime);
                ADD_FAILURE() << "no failure";
            } catch (const LvError& e) {
                EXPECT_EQ(e.kind(), ErrorKind::Overflow) << e.what();
                EXPECT_NE(e.context().find("step 1"), std::string::npos) << e.what();
            }
            EXPECT_EQ(view.steps, 0) << "N " << n << ", " << build;
            EXPECT_EQ(Species.rows[shot].x, 0.5) << "N " << n << ", " << build;
            EXPECT_EQ(LE, 0.25);
        }
    }
}

// Rows and columns beyond the count fill the unused lanes of the last block. Filled with
// values whose products overflow, they would fail the run if they entered it.
TEST_F(Exactness, UnusedRowsNeverEnterTheVectorLanes) {
    for (const std::string& build : everyBuild()) {
        Force_Kernel_Routine(build);
        for (int n : {5, 13, 50}) {
            Reset_Globals();
            for (int k = 0; k < MaxSpecies; ++k) {
                SpeciesRec& row = Species.rows[k];
                for (double& a : row.a) a = 1e308;
                row.x = row.r = 1e300;
            }
            for (int k = 0; k < n; ++k) {
                SpeciesRec& row = Species.rows[k];
                for (int j = 0; j < n; ++j) row.a[j] = j == k ? 1 : 0.2 / n;
                row.x = 0.1 + 0.5 * k / n;
                row.r = 0.7;
            }
            Nanimals = static_cast<int16_t>(n);
            dt = 0.01;
            TotalTime = 1;
            PlainRun ref(Species, n);
            view = RecordingView{};
            Run_Model(view, Nanimals, 0, TotalTime);
            for (long long s = 0; s < view.steps; ++s) ref.Step(0.01);
            EXPECT_EQ(view.steps, 100);
            EXPECT_EQ(Bits(LE), Bits(ref.LE())) << "N " << n << ", " << build;
            EXPECT_EQ(Species.rows[n].x, 1e300);
        }
    }
}

// The window may change the species count between steps; each count has its own step
// routine, and a run that passes from one to another, small or large, must go on exactly as
// the plain evaluation of the same counts.
TEST_F(Exactness, CountChangedDuringARunSwitchesRoutinesExactly) {
    for (const std::string& build : everyBuild()) {
        Force_Kernel_Routine(build);
        Reset_Globals();
        for (int k = 0; k < 20; ++k) {
            SpeciesRec& row = Species.rows[k];
            row.x = 0.1 + 0.04 * k;
            row.r = 0.5 + 0.05 * k;
            for (int j = 0; j < 20; ++j) row.a[j] = j == k ? 1 : 0.3 * ((j + 2 * k) % 7) / 7.0;
        }
        Nanimals = 4;
        dt = 0.01;
        TotalTime = -1;
        PlainRun ref(Species, 4);
        bool same = true;
        view = RecordingView{};
        view.onEvents = [&](RecordingView& v) {
            ref.Step(0.01);
            for (int k = 0; k < ref.n; ++k)
                same = same && Bits(Species.rows[k].x) == Bits(ref.sp.rows[k].x);
            const int next = v.steps == 50 ? 20 : v.steps == 100 ? 7 : v.steps == 150 ? 1 : 0;
            if (next == 1 || !same) StopRequested = -1;
            if (next > 1) Nanimals = ref.n = next;
        };
        Run_Model(view, Nanimals, 0, TotalTime);
        ASSERT_TRUE(same) << build << ", step " << view.steps;
        EXPECT_EQ(view.steps, 150);
        EXPECT_EQ(Bits(LE), Bits(ref.LE())) << build;
    }
}

}  // namespace

namespace {

// A species running off to minus infinity takes the sums of the species it weighs on out of
// the double range a few steps before it leaves the range itself. The failure is the overflow
// of the step whose sums left the range, with every build, also those that take a step's
// sums at the end of the step before; the table keeps the last complete step.
TEST_F(Exactness, SumsLeavingTheRangeFailTheirOwnStep) {
    constexpr int n = 20;
    SpeciesTable start{};
    for (int k = 0; k < n; ++k) {
        start.rows[k].x = 0.3;
        start.rows[k].r = 0;  // held, so that nothing but the sums can fail
        start.rows[k].a[k] = 1;
        start.rows[k].a[0] = k == 0 ? 1 : 1e300;
    }
    start.rows[0].x = -0.5;
    start.rows[0].r = 1;
    PlainRun ref(start, n);
    auto allFinite = [&](const PlainRun& r) {
        bool finite = std::isfinite(r.LESum);
        for (int k = 0; k < n; ++k)
            finite = finite && std::isfinite(r.sp.rows[k].x) && std::isfinite(r.Xe[k]);
        return finite;
    };
    SpeciesTable last = start;  // the table after the last complete step
    long long failing = 0;
    while (failing == 0 && ref.steps < 100) {
        last = ref.sp;
        ref.Step(0.5);
        if (!allFinite(ref)) failing = ref.steps;
    }
    ASSERT_GT(failing, 3);
    ASSERT_TRUE(std::isfinite(ref.sp.rows[0].x));  // only the sums have left the range
    for (const std::string& build : everyBuild()) {
        Force_Kernel_Routine(build);
        Reset_Globals();
        Species = start;
        Nanimals = n;
        dt = 0.5;
        TotalTime = -1;
        const LvError e = failure(build);
        EXPECT_EQ(e.kind(), ErrorKind::Overflow) << build << ": " << e.what();
        EXPECT_NE(e.context().find("step " + std::to_string(failing) + ":"), std::string::npos)
            << build << ": " << e.what();
        for (int k = 0; k < n; ++k)
            EXPECT_EQ(Bits(Species.rows[k].x), Bits(last.rows[k].x)) << build << ", " << k;
    }
}

}  // namespace
