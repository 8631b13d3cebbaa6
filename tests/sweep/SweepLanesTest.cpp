// Points run side by side in vector lanes against the same points run alone through
// SweepRun::Run (the single run, as lv-run runs them): every field to the bit, failures
// included, for every lane build, every species count and batches that mix clamps, decay to
// subnormals, failures and points of different lengths.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>

#include "LvError.h"
#include "Model.h"
#include "SweepExecutor.h"
#include "SweepLanes.h"
#include "SweepPoints.h"
#include "SweepRun.h"
#include "SweepSystems.h"

namespace {

uint64_t bits(double v) {
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

std::vector<std::string> laneBuilds() {
    std::vector<std::string> names = Lane_Build_Names();
    names.pop_back();  // "single"
    return names;
}

// The points through the lanes of `build`, one batch after the other on this thread.
std::vector<PointResult> throughLanes(const SweepRun& run, std::vector<SweepPoint> points,
                                      const std::string& build) {
    const BatchRunner runner = Lane_Runner(run, build);
    std::vector<PointResult> results(points.size());
    for (std::size_t at = 0; at < points.size(); at += std::size_t(runner.batch)) {
        const std::size_t count = std::min(points.size() - at, std::size_t(runner.batch));
        runner.run(std::span(points).subspan(at, count), std::span(results).subspan(at, count));
    }
    return results;
}

// What the points gave when run alone.
struct Seen {
    int ok = 0, clamped = 0, subnormal = 0;
    std::map<std::string, int> failures;  // by the message up to the step
};

// Every point through every lane build against the point run alone; what the points alone
// gave is added to `seen`.
void expectLanesAreSingleRuns(const SweepRun& run, const std::vector<SweepPoint>& points,
                              const std::string& what, Seen& seen) {
    std::vector<PointResult> alone;
    for (const SweepPoint& p : points) alone.push_back(run.Run(p));
    for (const PointResult& r : alone) {
        if (r.Ok()) {
            ++seen.ok;
            for (double x : r.x) {
                seen.clamped += x == 0.9999999;
                seen.subnormal += std::fpclassify(x) == FP_SUBNORMAL;
            }
        } else {
            const std::size_t end = std::min(r.message.find(", "), r.message.find(" at step"));
            ++seen.failures[r.message.substr(0, end)];
        }
    }
    for (const std::string& build : laneBuilds()) {
        const std::vector<PointResult> lanes = throughLanes(run, points, build);
        for (std::size_t i = 0; i < alone.size(); ++i) {
            const PointResult &a = alone[i], &l = lanes[i];
            const std::string where = what + ", " + build + ", point " + std::to_string(i);
            ASSERT_EQ(l.point.index, a.point.index) << where;
            ASSERT_EQ(l.status, a.status) << where;
            ASSERT_EQ(l.message, a.message) << where;
            ASSERT_EQ(l.steps, a.steps) << where;
            ASSERT_EQ(bits(l.LE), bits(a.LE)) << where;
            ASSERT_EQ(bits(l.t), bits(a.t)) << where;
            ASSERT_EQ(l.x.size(), a.x.size()) << where;
            for (std::size_t k = 0; k < a.x.size(); ++k)
                ASSERT_EQ(bits(l.x[k]), bits(a.x[k])) << where << ", x" << k;
        }
    }
}

std::vector<SweepParameter> parameters(const std::vector<std::string>& names) {
    std::vector<SweepParameter> p;
    for (const std::string& name : names) p.push_back(SweepParameter::Parse(name));
    return p;
}

std::vector<SweepPoint> pointsOf(const std::vector<std::vector<double>>& values) {
    std::vector<SweepPoint> points;
    for (const std::vector<double>& v : values)
        points.push_back({static_cast<long long>(points.size()), v, std::nullopt});
    return points;
}

// n species whose populations overshoot and clamp (every fifth: r dt = 2.6), die out
// through the subnormals (every seventh) or settle.
SweepBase mixedSystem(int n) {
    SweepBase b;
    for (int k = 0; k < n; ++k) {
        SpeciesRec& row = b.model.Species.rows[k];
        row.x = 0.05 + 0.9 * ((k * 37) % 101) / 101.0;
        row.r = k % 5 == 3 ? 260 : k % 7 == 6 ? -40 : 0.3 + 0.02 * k;
        for (int j = 0; j < n; ++j)
            row.a[j] = j == k ? 1 : 0.5 * (((j * 13 + k * 7) % 17) / 17.0) / n;
    }
    b.model.Nanimals = static_cast<int16_t>(n);
    b.model.TotalTime = 24;
    b.model.dt = 0.01;
    return b;
}

TEST(SweepLanes, EveryCountGivesTheSingleRunsBitsWithClampsDecayAndFailuresMixed) {
    Seen seen;
    for (int n = 1; n <= MaxSpecies; ++n) {
        const SweepBase base = mixedSystem(n);
        const double r1 = base.model.Species.rows[1].r, x1 = base.model.Species.rows[1].x;
        // dt, TotalTime, r(1), x(1): runs of other lengths and step counts; r(1) = 1e300
        // overflows within a few steps where other species weigh on species 1, and else
        // loses the perturbation in the rounding (2.5e297 + 1e-12), as x(1) = 1e4 does: the
        // distance is then 0 and its logarithm fails.
        const std::vector<SweepPoint> points = pointsOf({{0.01, 24, r1, x1},
                                                         {0.013, 24, r1, x1},
                                                         {0.01, 7, r1, x1},
                                                         {0.01, 24, 1e300, x1},
                                                         {0.01, 24, r1, 1e4},
                                                         {0.02, 3, r1, x1},
                                                         {0.01, 24, -3, 0.9},
                                                         {0.011, 20, 0.7, 0.2},
                                                         {0.01, 24, 2.5, x1},
                                                         {0.012, 9.5, r1, 0.6},
                                                         {0.01, 24, 1.5, x1}});
        const SweepRun run(base, parameters({"dt", "TotalTime", "r(1)", "x(1)"}));
        expectLanesAreSingleRuns(run, points, "N " + std::to_string(n), seen);
        if (HasFatalFailure()) return;
    }
    // The batches held what they are meant to: clamps, subnormals, and failures of the
    // arithmetic and of the logarithm beside points that ended well.
    EXPECT_GT(seen.ok, 400);
    EXPECT_GT(seen.clamped, 300);
    EXPECT_GT(seen.subnormal, 100);
    EXPECT_GE(seen.failures["Overflow: model run"], 50);
    EXPECT_GE(seen.failures["Invalid procedure call or argument: model run"], 20);
}

TEST(SweepLanes, EveryKindOfFailureKeepsItsStepAndMessageBesideRunsThatEndWell) {
    Seen seen;
    const SweepRun run(Steady_And_Logistic(), parameters({"x(0)", "x(1)", "dt", "TotalTime"}));
    // x(0), x(1), dt, TotalTime
    const std::vector<SweepPoint> points = pointsOf({
        {0.5, 0.5, 0.01, 10},
        {-1e9, 0.5, 0.01, 10},  // far below the chart: out of the 16-bit rows at step 31
        {0.5, 0.5, 0.02, 4},
        {-130.068, 0.5, 0.01, 10},    // the mark's row 32767 fits, the row below it does not
        {0.5, 1e200, 0.01, 10},       // (r x) (1 - S) overflows at step 1
        {0.5, 0.5, 9.1555e-6, 0.31},  // a chart column every 32768 steps: PlotCount passes 32767
        {0.5, 0.5, 0.01, 0},          // continuous, and no step limit: refused before the run
        {0.5, 0.5, 0, 10},            // a time step of 0: its chart interval divides by 0
        {0.25, 0.3, 0.005, 2.5},
        {-50, 0.5, 0.01, 10},  // below 0, but the chart's rows fit
        {0.5, 1e4, 0.01, 10},  // the perturbation lost in the rounding: log of 0
        {0.5, 0.9, 0.01, 10},
    });
    expectLanesAreSingleRuns(run, points, "failures", seen);
    EXPECT_EQ(seen.ok, 5);
    EXPECT_EQ(seen.failures["Overflow: strip chart"], 2);
    EXPECT_EQ(seen.failures["Overflow: model run"], 2);
    EXPECT_EQ(seen.failures["Invalid procedure call or argument: model run"], 1);
    EXPECT_EQ(seen.failures["Invalid procedure call or argument: the run time is 0"], 1);
    EXPECT_EQ(seen.failures["Division by zero: plot interval: window time / dt with dt = 0"], 1);

    // With a step limit, continuous runs and runs cut short go beside runs that end by their
    // time; dt = 0 reaches the chart's interval and divides by 0.
    SweepBase limited = Steady_And_Logistic();
    limited.steps = 700;
    const SweepRun stepped(limited, parameters({"dt", "TotalTime"}));
    Seen steps;
    expectLanesAreSingleRuns(
        stepped,
        pointsOf({{0.01, 10}, {0.01, -1}, {0.02, 3}, {0.001, 5}, {0, 1}, {0.03, 0}, {0.01, 2}}),
        "step limit", steps);
    EXPECT_EQ(steps.ok, 6);
    EXPECT_EQ(steps.failures["Division by zero: plot interval: window time / dt with dt = 0"], 1);
}

TEST(SweepLanes, ThreadsAndBatchesOfLanesDeliverTheSingleRunsInPointOrder) {
    SweepBase base = mixedSystem(6);
    const SweepPoints points(
        {SweepAxis::Parse("TotalTime=1:9:20"), SweepAxis::Parse("r(2)=0.1:9:7")}, std::nullopt,
        {1, 2});
    const SweepRun run(base, {points.Axes()[0].parameter, points.Axes()[1].parameter});
    std::vector<PointResult> alone, lanes;
    Run_Points(points, Scalar_Runner(run), 1, [&](const PointResult& r) { alone.push_back(r); });
    Run_Points(points, Lane_Runner(run), 2, [&](const PointResult& r) { lanes.push_back(r); });
    ASSERT_EQ(lanes.size(), alone.size());
    for (std::size_t i = 0; i < alone.size(); ++i) {
        EXPECT_EQ(lanes[i].point.index, alone[i].point.index);
        EXPECT_EQ(lanes[i].message, alone[i].message);
        EXPECT_EQ(lanes[i].steps, alone[i].steps);
        EXPECT_EQ(bits(lanes[i].LE), bits(alone[i].LE)) << i;
    }
}

TEST(SweepLanes, AnUnknownBuildIsRefusedNamingTheOnesThere) {
    const SweepRun run(mixedSystem(4), {});
    try {
        (void)Lane_Runner(run, "neon/2");
        ADD_FAILURE() << "accepted";
    } catch (const LvError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::InvalidCall);
        EXPECT_NE(std::string(e.what()).find("\"neon/2\": no lanes of that name on this processor, "
                                             "which has "),
                  std::string::npos)
            << e.what();
        EXPECT_NE(std::string(e.what()).find("generic/2x2, single"), std::string::npos) << e.what();
    }
    EXPECT_EQ(Lane_Build_Names().back(), "single");
    EXPECT_EQ(Lane_Runner(run, "single").batch, 1);
    EXPECT_GT(Lane_Runner(run).batch, 1);
}

}  // namespace
