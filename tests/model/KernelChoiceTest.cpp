#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "LvError.h"
#include "ModelKernel.h"
#include "ModelRun.h"
#include "ModelTestSupport.h"
#include "PlainRun.h"

// Which build of the step routine a count gets: forced by the program or the environment,
// or measured; the results are the exactness tests' business.

namespace {

class KernelChoice : public ::testing::Test {
  protected:
    void SetUp() override {
        unsetenv(KernelRoutineVariable);
        Force_Kernel_Routine(std::nullopt);
    }
    void TearDown() override {
        unsetenv(KernelRoutineVariable);
        Force_Kernel_Routine(std::nullopt);
    }
};

bool isBuildName(const std::string& name) {
    const std::vector<const char*> names = Kernel_Routine_Names();
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
}

TEST_F(KernelChoice, AForcedBuildServesEveryCountAndAnUnknownNameChangesNothing) {
    const std::vector<const char*> names = Kernel_Routine_Names();
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(std::string(names.back()), "generic/2");  // every processor runs the plain build
    for (const char* name : names) {
        Force_Kernel_Routine(std::string(name));
        for (int n : {1, 4, 12, 13, 51}) EXPECT_EQ(std::string(Kernel_Routine_Name(n)), name);
    }
    Force_Kernel_Routine(std::string(names.front()));
    try {
        Force_Kernel_Routine(std::string("avx1024/16"));
        ADD_FAILURE() << "unknown build taken";
    } catch (const LvError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::InvalidCall);
        EXPECT_NE(e.context().find("\"avx1024/16\""), std::string::npos) << e.what();
        EXPECT_NE(e.context().find("generic/2"), std::string::npos) << e.what();
    }
    EXPECT_EQ(std::string(Kernel_Routine_Name(10)), names.front());
}

// The measured choice is kept: asked again, a count gets the same routine, and it is the
// routine of the build whose name is given for it.
TEST_F(KernelChoice, TheMeasuredBuildIsKeptAndIsTheOneNamed) {
    for (int n : {3, 10, 51}) {
        const std::string name = Kernel_Routine_Name(n);
        EXPECT_TRUE(isBuildName(name)) << name;
        const KernelRoutine measured = Kernel_Routine(n);
        EXPECT_EQ(Kernel_Routine(n), measured);
        EXPECT_EQ(Kernel_Routine_Name(n), name);
        Force_Kernel_Routine(name);
        EXPECT_EQ(Kernel_Routine(n), measured) << "N " << n << ", " << name;
        Force_Kernel_Routine(std::nullopt);
    }
}

#if defined(__x86_64__)
// The timing runs inside the first run of a count, whose failures are read from the flags.
TEST_F(KernelChoice, MeasuringLeavesTheFloatingPointFlagsAsTheyWere) {
    const unsigned saved = _mm_getcsr();
    for (int n : {5, 51}) {
        _mm_setcsr(saved & ~0x3Fu);
        (void)Kernel_Routine_Name(n);
        EXPECT_EQ(_mm_getcsr() & 0x3Fu, 0u) << "N " << n;
    }
    _mm_setcsr((saved & ~0x3Fu) | 0x01u);  // an invalid operation already flagged stays flagged
    (void)Kernel_Routine_Name(6);
    EXPECT_EQ(_mm_getcsr() & 0x3Fu, 0x01u);
    _mm_setcsr(saved);
}
#endif

TEST_F(KernelChoice, TheEnvironmentForcesABuildAndAnUnknownOneFailsTheRun) {
    setenv(KernelRoutineVariable, "generic/2", 1);
    EXPECT_EQ(std::string(Kernel_Routine_Name(9)), "generic/2");
    EXPECT_EQ(std::string(Kernel_Routine_Name(40)), "generic/2");

    setenv(KernelRoutineVariable, "sse9/3", 1);
    Reset_Globals();
    Load_Chaotic_Four();
    dt = 0.01;
    TotalTime = 1;
    LE = 0.5;
    RecordingView view;
    try {
        Run_Model(view, Nanimals, 0, TotalTime);
        ADD_FAILURE() << "no failure";
    } catch (const LvError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::InvalidCall);
        EXPECT_NE(e.context().find("step 1, LV_KERNEL_ROUTINE=\"sse9/3\""), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(view.steps, 0);
    EXPECT_EQ(Species.rows[0].x, 0.3);
    EXPECT_EQ(LE, 0.5);

    unsetenv(KernelRoutineVariable);
    EXPECT_TRUE(isBuildName(Kernel_Routine_Name(9)));
}

// A run starts without timing the builds, which would cost a short run more than its steps;
// one long enough to repay it has them timed on the way and goes on with the fastest, with
// the bits of the plain run throughout.
TEST_F(KernelChoice, AShortRunTimesNothingAndALongOneSwitchesToTheFastestOnTheWay) {
    for (int n : {4, 23}) {
        Model m;
        for (int k = 0; k < n; ++k) {
            m.Species.rows[k].x = 0.1 + 0.8 * ((k * 7) % 11) / 11.0;
            m.Species.rows[k].r = 0.5 + 0.05 * k;
            for (int j = 0; j < n; ++j) m.Species.rows[k].a[j] = j == k ? 1 : 0.4 / n;
        }
        m.Nanimals = static_cast<int16_t>(n);
        m.dt = 0.01;
        m.TotalTime = -1;
        const Model start = m;
        RunControl control;
        ASSERT_EQ(Kernel_Routine_If_Chosen(n), nullptr);
        (void)Run_Model(m, {0, KernelProvisionalSteps - 1}, control);
        EXPECT_EQ(Kernel_Routine_If_Chosen(n), nullptr) << "a short run timed the builds";

        m = start;
        const long long steps = KernelProvisionalSteps + 777;
        const RunResult r = Run_Model(m, {0, steps}, control);
        EXPECT_NE(Kernel_Routine_If_Chosen(n), nullptr) << "a long run left the builds untimed";
        PlainRun plain(start.Species, n);
        for (long long i = 0; i < steps; ++i) plain.Step(0.01);
        EXPECT_EQ(Bits(r.LE), Bits(plain.LE())) << "N " << n;
        for (int k = 0; k < n; ++k)
            EXPECT_EQ(Bits(m.Species.rows[k].x), Bits(plain.sp.rows[k].x)) << "N " << n;
    }
}

}  // namespace
