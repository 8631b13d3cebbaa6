// The sweep engine without the program: the points a sweep makes, each point's run against
// the model run called directly, the executor's ordering, the CSV text and the merge.

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "ChartRows.h"
#include "Initialisers.h"
#include "LvError.h"
#include "Model.h"
#include "ModelRun.h"
#include "PlotInterval.h"
#include "Random.h"
#include "SweepCsv.h"
#include "SweepExecutor.h"
#include "SweepIdentity.h"
#include "SweepMerge.h"
#include "SweepPoints.h"
#include "SweepRun.h"
#include "SweepSystems.h"
#include "TextFile.h"

namespace {

uint64_t bits(double v) {
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

std::string refusal(const std::function<void()>& f) {
    try {
        f();
    } catch (const SweepOptionError& e) {
        return e.message;
    }
    return "(accepted)";
}

// --- The point generator ---------------------------------------------------------------------

TEST(SweepPoints, GridHasTheFirstAxisSlowestAndTheSeedsFastest) {
    const SweepPoints p({SweepAxis::Parse("r(0)=1:2:3"), SweepAxis::Parse("a(0,1)=0:1:2")},
                        SweepSeeds{7, 8}, {});
    ASSERT_EQ(p.Total(), 12);
    ASSERT_EQ(p.Count(), 12);
    const SweepPoint first = p.Point(0), second = p.Point(1), fifth = p.Point(5);
    EXPECT_EQ(first.values, (std::vector<double>{1, 0}));
    EXPECT_EQ(first.seed, 7u);
    EXPECT_EQ(second.values, (std::vector<double>{1, 0}));
    EXPECT_EQ(second.seed, 8u);
    EXPECT_EQ(fifth.values, (std::vector<double>{1.5, 0}));
    EXPECT_EQ(fifth.seed, 8u);
    EXPECT_EQ(p.Cell(5), (std::vector<long long>{1, 0}));
    EXPECT_EQ(p.Point(11).values, (std::vector<double>{2, 1}));
    EXPECT_EQ(p.Point(11).index, 11);

    const SweepPoints plain({}, std::nullopt, {});
    EXPECT_EQ(plain.Total(), 1);
    EXPECT_FALSE(plain.Point(0).seed);

    // A value has one name, however its indices are written, so that the same sweep has the
    // same header and identity.
    EXPECT_EQ(SweepAxis::Parse("r(01)=1:2:3").parameter.name, "r(1)");
    EXPECT_EQ(SweepAxis::Parse("a(00,012)=1:2:3").parameter.name, "a(0,12)");
    EXPECT_EQ(SweepAxis::Parse("x(50)=1:2:3").parameter.name, "x(50)");
    const SweepPoints padded({SweepAxis::Parse("r(01)=1:2:3")}, std::nullopt, {});
    const SweepPoints plainName({SweepAxis::Parse("r(1)=1:2:3")}, std::nullopt, {});
    EXPECT_EQ(Sweep_Column("0123456789abcdef", padded),
              Sweep_Column("0123456789abcdef", plainName));
}

TEST(SweepPoints, ValuesFollowTheFormulaOperationByOperation) {
    // (TO - FROM) * i first, then / (COUNT - 1): with i / (COUNT - 1) first the fifth
    // value would be 0.7 itself; the last value is TO, where the formula gives
    // 0.9000000000000001.
    const SweepAxis a = SweepAxis::Parse("x(2)=0.3:0.9:7");
    EXPECT_EQ(bits(a.Value(4)), bits(0.7000000000000001));
    EXPECT_EQ(bits(a.Value(6)), bits(0.9));
    EXPECT_EQ(bits(SweepAxis::Parse("dt=0.001:0.01:10").Value(9)), bits(0.01));
    EXPECT_EQ(bits(SweepAxis::Parse("r(0)=1:2.1:11").Value(9)), bits(1.99));
    const SweepAxis down = SweepAxis::Parse("TotalTime=10:-10:5");
    EXPECT_EQ(down.Value(1), 5);
    EXPECT_EQ(down.Value(4), -10);
    EXPECT_EQ(SweepAxis::Parse("dt=0.25:9:1").Value(0), 0.25);

    // A list: its values in their order, one value or many.
    const SweepAxis list = SweepAxis::Parse("r(1)=0.5,2,-1e-3,0.5");
    ASSERT_EQ(list.count, 4);
    EXPECT_EQ(list.Value(2), -1e-3);
    EXPECT_EQ(list.Value(3), 0.5);
    EXPECT_EQ(SweepAxis::Parse("dt=0.02").count, 1);

    // Log spacing: FROM and TO exact at the ends, evenly spaced in the logarithm between, the
    // same on every processor (no libm). A double's logarithm carries half an ulp of it, which
    // the exponential multiplies by its own size: at 6 decades some 1e-15 of the value.
    const SweepAxis decades = SweepAxis::Parse("r(0)=0.001:1000:13:log");
    EXPECT_EQ(decades.Value(0), 0.001);
    EXPECT_EQ(decades.Value(12), 1000);
    for (long long i = 1; i < 12; ++i) {
        const long double exact = std::pow(10.0L, -3.0L + 0.5L * (long double)i);
        EXPECT_NEAR(decades.Value(i), double(exact), 4e-15 * double(exact)) << i;
    }
    for (double to : {1.0000001, 3.0, 1e5, 1e300 / 7}) {
        const SweepAxis fine = SweepAxis::Parse("x(0)=0.7:" + Format_Shortest(to) + ":97:log");
        for (long long i = 1; i < 96; ++i) {
            const long double exact =
                0.7L * std::exp(std::log((long double)to / 0.7L) * (long double)i / 96.0L);
            const double within = 4.5e-16 * (2 + std::fabs(std::log(to / 0.7)));
            EXPECT_NEAR(fine.Value(i), double(exact), within * double(exact)) << to << " " << i;
            EXPECT_GT(fine.Value(i), fine.Value(i - 1));
        }
    }

    // Every spelling of an axis is defined by one text, which reads back to the same values.
    for (const char* text : {"r(01)=0.50:1.0:3", "a(0,1)=1e-1,2,3", "dt=0.001:0.01:10:log"}) {
        const SweepAxis axis = SweepAxis::Parse(text);
        const SweepAxis again = SweepAxis::Parse(axis.Definition());
        EXPECT_EQ(again.Definition(), axis.Definition()) << text;
        for (long long i = 0; i < axis.count; ++i)
            EXPECT_EQ(bits(again.Value(i)), bits(axis.Value(i))) << text;
    }
    EXPECT_EQ(SweepAxis::Parse("r(01)=0.50:1.0:3").Definition(), "r(1)=0.5:1:3");
    EXPECT_EQ(SweepAxis::Parse("a(0,1)=1e-1,2,3").Definition(), "a(0,1)=0.1,2,3");
}

TEST(SweepPoints, ShardsSplitThePointsExactlyOnce) {
    std::vector<int> seen(10, 0);
    for (long long k = 0; k < 3; ++k) {
        const SweepPoints p({SweepAxis::Parse("r(1)=0:9:10")}, std::nullopt, {k, 3});
        EXPECT_EQ(p.Count(), k == 0 ? 4 : 3);
        for (long long i = 0; i < p.Count(); ++i) {
            const SweepPoint pt = p.At(i);
            EXPECT_EQ(pt.index % 3, k);
            EXPECT_EQ(pt.values[0], double(pt.index));
            ++seen[std::size_t(pt.index)];
        }
    }
    EXPECT_EQ(seen, std::vector<int>(10, 1));
    EXPECT_EQ(SweepPoints({}, SweepSeeds{1, 3}, {5, 7}).Count(), 0);
}

TEST(SweepPoints, BadOptionsAreRefusedSayingWhat) {
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[] { SweepAxis::Parse("r(0)=1:2"); }, "NAME=FROM:TO:COUNT"},
        {[] { SweepAxis::Parse("r(0)"); }, "NAME=FROM:TO:COUNT"},
        {[] { SweepAxis::Parse("r(0)=1:2:3:4"); }, "NAME=FROM:TO:COUNT"},
        {[] { SweepAxis::Parse("q(0)=1:2:3"); }, "r(k), x(k), a(i,j), dt or TotalTime"},
        {[] { SweepAxis::Parse("r(51)=1:2:3"); }, "at most 50"},
        {[] { SweepAxis::Parse("r(-1)=1:2:3"); }, "whole number from 0"},
        {[] { SweepAxis::Parse("a(1)=1:2:3"); }, "r(k), x(k), a(i,j)"},
        {[] { SweepAxis::Parse("a(1,2,3)=1:2:3"); }, "r(k), x(k), a(i,j)"},
        {[] { SweepAxis::Parse("r(1) =1:2:3"); }, "r(k), x(k), a(i,j)"},
        {[] { SweepAxis::Parse("dt=one:2:3"); }, "FROM is not a number"},
        {[] { SweepAxis::Parse("dt=1:1e999:3"); }, "TO is not a number"},
        {[] { SweepAxis::Parse("dt=1:2:0"); }, "COUNT is a whole number from 1"},
        {[] { SweepAxis::Parse("dt=1:2:2.5"); }, "COUNT is a whole number from 1"},
        {[] { SweepAxis::Parse("dt=-1e308:1e308:3"); }, "TO - FROM is out of range"},
        {[] { SweepAxis::Parse("r(0)=1:2:3:lin"); }, "NAME=FROM:TO:COUNT:log"},
        {[] { SweepAxis::Parse("r(0)=0:2:3:log"); }, "log spacing needs FROM and TO above 0"},
        {[] { SweepAxis::Parse("r(0)=1e-300:1e300:3:log"); }, "TO / FROM is out of range"},
        {[] { SweepAxis::Parse("r(0)=1,,2"); }, "value 2 is not a number"},
        {[] { SweepAxis::Parse("r(0)="); }, "value 1 is not a number"},
        {[] { SweepAxis::Parse("r(0)=1,2,inf"); }, "value 3 is"},
        {[] { SweepSeeds::Parse("5:4"); }, "FROM <= TO"},
        {[] { SweepSeeds::Parse("1:4294967296"); }, "--seeds"},
        {[] { SweepShard::Parse("3/3"); }, "0 <= K < N"},
        {[] { SweepShard::Parse("0/0"); }, "0 <= K < N"},
        {[] { SweepShard::Parse("1"); }, "K/N"},
        {[] {
             SweepPoints({SweepAxis::Parse("dt=1:2:2"), SweepAxis::Parse("dt=3:4:2")}, std::nullopt,
                         {});
         },
         "vary the same value"},
        {[] {
             SweepPoints({SweepAxis::Parse("r(0)=1:2:2"), SweepAxis::Parse("r(1)=1:2:2"),
                          SweepAxis::Parse("r(2)=1:2:2")},
                         std::nullopt, {});
         },
         "twice for a grid"},
        {[] {
             SweepPoints(
                 {SweepAxis::Parse("r(0)=1:2:1000000000"), SweepAxis::Parse("r(1)=1:2:1000000000")},
                 SweepSeeds{0, 4294967295u}, {});
         },
         "more points than can be counted"},
    };
    for (const auto& [f, expected] : cases) {
        const std::string said = refusal(f);
        EXPECT_NE(said.find(expected), std::string::npos) << said;
    }
    // The file's rows are known only after the load.
    EXPECT_NE(refusal([] {
                  SweepParameter::Parse("a(1,3)").Check_Rows(3);
              }).find("the file's rows are 0 to 2"),
              std::string::npos);
    EXPECT_EQ(refusal([] { SweepParameter::Parse("a(1,2)").Check_Rows(3); }), "(accepted)");
}

// --- One point, as lv-run runs the file that holds its values --------------------------------

// The chaotic four-species file as the row reader leaves it: run time 20, dt 0.01.
SweepBase chaoticFour() {
    static const double r[4] = {1, 0.72, 1.53, 1.27};
    static const double a[4][4] = {
        {1, 1.09, 1.52, 0}, {0, 1, 0.44, 1.36}, {2.33, 0, 1, 0.47}, {1.21, 0.51, 0.35, 1}};
    static const double x[4] = {0.3, 0.4, 0.3, 0.5};
    SweepBase b;
    for (int k = 0; k < 4; ++k) {
        for (int j = 0; j < 4; ++j) b.model.Species.rows[k].a[j] = a[k][j];
        b.model.Species.rows[k].r = r[k];
        b.model.Species.rows[k].x = x[k];
    }
    b.model.Nanimals = 4;
    b.model.TotalTime = 20;
    b.model.dt = 0.01;
    return b;
}

// The run of a file holding the values, on this thread, as lv-run's main does it.
PointResult directRun(const SweepBase& b, const std::function<void(Model&)>& setValues,
                      std::optional<uint32_t> seed = {}) {
    Model m = b.model;
    setValues(m);
    const int16_t plotInterval = Plot_Interval(210, m.dt, 700);
    if (seed) {
        Mt19937Random seeded(*seed);
        Random_Populations(m.Species, m.Nanimals, seeded);
    }
    ChartRows chart(700, 250);
    RunControl control;
    PointResult r;
    try {
        const RunResult run =
            Run_Model(m, {plotInterval, b.steps}, control, {.observers = {&chart}});
        r.status = "ok";
        r.LE = run.LE;
        r.steps = run.steps;
        r.t = run.t;
        for (int i = 0; i < m.Nanimals; ++i) r.x.push_back(m.Species(i).x);
    } catch (const LvError& e) {
        r.status = Error_Kind_Text(e.kind());
        r.message = e.what();
        r.steps = e.step();
    }
    return r;
}

void expectSameRun(const PointResult& sweep, const PointResult& direct, const std::string& what) {
    EXPECT_EQ(sweep.status, direct.status) << what;
    EXPECT_EQ(sweep.message, direct.message) << what;
    EXPECT_EQ(bits(sweep.LE), bits(direct.LE)) << what;
    EXPECT_EQ(sweep.steps, direct.steps) << what;
    EXPECT_EQ(bits(sweep.t), bits(direct.t)) << what;
    ASSERT_EQ(sweep.x.size(), direct.x.size()) << what;
    for (std::size_t i = 0; i < sweep.x.size(); ++i)
        EXPECT_EQ(bits(sweep.x[i]), bits(direct.x[i])) << what << ", x" << i;
}

TEST(SweepRun, PointIsTheRunOfItsValuesOnAnyThread) {
    const SweepBase base = chaoticFour();
    const SweepPoints points(
        {SweepAxis::Parse("a(0,1)=1:1.2:3"), SweepAxis::Parse("dt=0.01:0.02:2")}, std::nullopt, {});
    const SweepRun run(base, {points.Axes()[0].parameter, points.Axes()[1].parameter});
    run.Prepare();
    for (long long i = 0; i < points.Total(); ++i) {
        const SweepPoint p = points.Point(i);
        PointResult onWorker;
        std::thread([&] { onWorker = run.Run(p); }).join();
        const PointResult here = run.Run(p);
        const PointResult direct = directRun(base, [&](Model& m) {
            m.Species.rows[0].a[1] = p.values[0];
            m.dt = p.values[1];
        });
        ASSERT_EQ(direct.status, "ok");
        EXPECT_GT(direct.steps, 900);
        expectSameRun(here, direct, "point " + std::to_string(i));
        expectSameRun(onWorker, direct, "point " + std::to_string(i) + " on a worker");
    }
}

TEST(SweepRun, PointsLeaveTheSweepsModelAlone) {
    const SweepBase base = chaoticFour();
    const SweepRun run(base, {SweepParameter::Parse("r(0)"), SweepParameter::Parse("dt")});
    const PointResult first = run.Run(SweepPoint{0, {1.1, 0.02}, std::nullopt});
    std::thread([&] { (void)run.Run(SweepPoint{1, {0.9, 0.01}, 7u}); }).join();
    const Model& after = run.Base().model;
    EXPECT_EQ(std::memcmp(&after, &base.model, sizeof after), 0);
    expectSameRun(run.Run(SweepPoint{0, {1.1, 0.02}, std::nullopt}), first, "the same point again");
}

TEST(SweepRun, SeedGivesThePopulationsOfTheRandomInitialiser) {
    const SweepBase base = chaoticFour();
    const SweepRun run(base, {});
    for (uint32_t seed : {0u, 41u, 4294967295u}) {
        PointResult onWorker;
        std::thread([&] { onWorker = run.Run(SweepPoint{0, {}, seed}); }).join();
        expectSameRun(onWorker,
                      directRun(
                          base, [](Model&) {}, seed),
                      "seed " + std::to_string(seed));
    }
}

TEST(SweepRun, FailuresKeepTheRunsKindAndMessage) {
    struct Case {
        SweepBase base;
        std::string parameter;
        double value;
        std::string message;
    };
    const Case cases[] = {
        // A population far below the chart: its row overflows at the first column.
        {Steady_And_Logistic(), "x(0)", -1e9,
         "Overflow: strip chart at step 31, column 0, value out of 16-bit range"},
        // The row 32767 itself fits; the row below it, of the same mark, does not.
        {Steady_And_Logistic(), "x(0)", -130.068,
         "Overflow: strip chart at step 31, column 0, 32767 + 1"},
        {chaoticFour(), "r(2)", 1e300, "Overflow: model run, step 2: "},
        {chaoticFour(), "TotalTime", 0,
         "Invalid procedure call or argument: the run time is 0, so the run is continuous: give "
         "--steps N"},
        // The chart's interval comes first, as in lv-run: one column every 10^18 steps does not
        // fit in 16 bits.
        {chaoticFour(), "dt", 1e-18,
         "Overflow: plot interval: floor(210 / 1.0000000000000001e-18 / 700) is outside "
         "-32768..32767"},
        {chaoticFour(), "TotalTime", 1e20,
         "Invalid procedure call or argument: the run would never end: the time step 0.01 is too "
         "small"},
    };
    for (const Case& c : cases) {
        const SweepParameter p = SweepParameter::Parse(c.parameter);
        const PointResult r = SweepRun(c.base, {p}).Run(SweepPoint{0, {c.value}, std::nullopt});
        EXPECT_EQ(r.message.rfind(c.message, 0), 0u) << r.message;
        EXPECT_EQ(r.status, r.message.substr(0, r.message.find(':')));
        EXPECT_FALSE(r.Ok());
        // The runs that would never end are refused before a run; the others fail in it.
        if (!p.Is_Run_Setting())
            expectSameRun(r, directRun(c.base, [&](Model& m) { p.Set(m, c.value); }), c.parameter);
    }
    // With a step limit, dt = 0 reaches the chart's interval, as in lv-run.
    SweepBase base = chaoticFour();
    base.steps = 10;
    const PointResult zero =
        SweepRun(base, {SweepParameter::Parse("dt")}).Run(SweepPoint{0, {0.0}, std::nullopt});
    EXPECT_EQ(zero.message, "Division by zero: plot interval: window time / dt with dt = 0");
}

TEST(ChartRows, ColumnsWrapAsTheChartDoes) {
    Model m;
    m.Nanimals = 1;
    m.Species.rows[0].x = 0.5;
    ChartRows chart(700, 250);
    chart.Run_Starts(m);
    const RunSnapshot now{1, 0.01, {}, 0};
    for (int c = 0; c < 701; ++c) chart.Column(now);
    EXPECT_EQ(chart.PlotColumn, 701);  // the column equal to the width is still drawn
    chart.Column(now);
    EXPECT_EQ(chart.PlotColumn, 1);
    m.Species.rows[0].x = -1e9;
    try {
        chart.Column(RunSnapshot{42, 0.42, {}, 0});
        ADD_FAILURE() << "a row out of range was drawn";
    } catch (const LvError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Overflow: strip chart at step 42, column 1, value out of 16-bit range");
    }
    chart.Run_Starts(m);
    EXPECT_EQ(chart.PlotColumn, 0);
}

// --- The executor ----------------------------------------------------------------------------

// A runner whose points take uneven times, so that they finish out of order.
BatchRunner unevenRunner(int batch, long long stride, std::atomic<int>& badBatches) {
    return {batch, [stride, &badBatches](std::span<const SweepPoint> points,
                                         std::span<PointResult> results) {
                for (std::size_t i = 0; i < points.size(); ++i) {
                    if (i > 0 && points[i].index != points[i - 1].index + stride) ++badBatches;
                    std::this_thread::sleep_for(
                        std::chrono::microseconds((points[i].index * 7919) % 13 * 40));
                    results[i].point = points[i];
                    results[i].LE = double(points[i].index) * 0.5;
                }
            }};
}

TEST(SweepExecutor, DeliversInPointOrderWhateverTheThreadsAndBatches) {
    for (int threads : {1, 2, 5}) {
        for (int batch : {1, 3}) {
            for (long long k : {0LL, 2LL}) {
                const SweepPoints points({SweepAxis::Parse("r(0)=0:1:150")}, std::nullopt, {k, 3});
                std::atomic<int> badBatches{0};
                std::vector<long long> order;
                int waits = 0;
                Run_Points(
                    points, unevenRunner(batch, 3, badBatches), threads,
                    [&](const PointResult& r) {
                        EXPECT_EQ(r.LE, double(r.point.index) * 0.5);
                        order.push_back(r.point.index);
                    },
                    [&] { ++waits; });
                std::vector<long long> expected;
                for (long long i = k; i < 150; i += 3) expected.push_back(i);
                EXPECT_EQ(order, expected) << threads << " threads, batches of " << batch;
                EXPECT_EQ(badBatches, 0);
                EXPECT_GT(waits, 0);
            }
        }
    }
}

TEST(SweepExecutor, ARunnerFailureStopsTheSweepAndComesBackToTheCaller) {
    const SweepPoints points({SweepAxis::Parse("r(0)=0:1:400")}, std::nullopt, {});
    const BatchRunner failing{1, [](std::span<const SweepPoint> p, std::span<PointResult> r) {
                                  if (p[0].index == 17) throw std::runtime_error("no memory");
                                  r[0].point = p[0];
                              }};
    std::vector<long long> order;
    try {
        Run_Points(points, failing, 2,
                   [&](const PointResult& r) { order.push_back(r.point.index); });
        ADD_FAILURE() << "no failure";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "no memory");
    }
    ASSERT_LE(order.size(), 17u);
    for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], (long long)i);
    EXPECT_GE(Usable_Processors(), 1);
}

// --- The CSV and the merge -------------------------------------------------------------------

PointResult okResult(long long index, std::vector<double> values, double le) {
    PointResult r;
    r.point = {index, std::move(values), std::nullopt};
    r.status = "ok";
    r.LE = le;
    r.steps = 80001;
    r.t = 800.00999999941746;
    r.x = {0.1, 1.0 / 3};
    return r;
}

TEST(SweepCsv, HeaderAndRowsAreRfc4180WithNumbersThatReadBack) {
    const SweepCsv csv({"a(0,1)", "dt"}, 2, "00000000000000ab:6");
    EXPECT_EQ(csv.Header(),
              "point,\"a(0,1)\",dt,seed,status,LE,steps,t,clamps,x0,x1,message,sweep\r\n");
    EXPECT_EQ(csv.Row(okResult(3, {0.1, 2}, -0.5)),
              "3,0.1,2,,ok,-0.5,80001,800.0099999994175,0,0.1,0.3333333333333333,,"
              "00000000000000ab:6\r\n");
    PointResult failed;
    failed.point = {4, {1, 2}, 99u};
    failed.status = "Type mismatch";
    failed.message = "Type mismatch: not a number: \"1,5\"";
    EXPECT_EQ(csv.Row(failed),
              "4,1,2,99,Type mismatch,,,,,,,\"Type mismatch: not a number: "
              "\"\"1,5\"\"\",00000000000000ab:6\r\n");
    for (double v : {0.1, 1.0 / 3, -2.5e-310, 1e300, 800.00999999941746})
        EXPECT_EQ(bits(std::strtod(Format_Shortest(v).c_str(), nullptr)), bits(v));
    EXPECT_EQ(Csv_Field("line\nbreak"), "\"line\nbreak\"");
    EXPECT_EQ(Csv_Field("plain text"), "plain text");
    EXPECT_NE(Sweep_Digest("abc", "s"), Sweep_Digest("ab", "cs"));
    EXPECT_NE(Sweep_Digest("abc", "s"), Sweep_Digest("abd", "s"));
}

TEST(SweepCsv, SweepColumnCarriesTheDefinitionUnquotedAndReadsBackToTheSamePoints) {
    const SweepPoints points(
        {SweepAxis::Parse("r(1)=0.5:1:101"), SweepAxis::Parse("a(0,12)=0.9:1.3:41")},
        SweepSeeds{1, 1000}, {2, 5});
    const std::string column = Sweep_Column("0123456789abcdef", points);
    EXPECT_EQ(column, "0123456789abcdef:4141000:r(1)=0.5:1:101;a(0/12)=0.9:1.3:41;seeds=1:1000");
    EXPECT_EQ(Csv_Field(column), column);
    const SweepColumn back = Parse_Sweep_Column(column);
    EXPECT_EQ(back.digest, "0123456789abcdef");
    ASSERT_EQ(back.points.Total(), points.Total());
    for (long long i : {0LL, 999LL, 1000LL, 2345678LL, 4140999LL}) {
        const SweepPoint a = back.points.Point(i), b = points.Point(i);
        EXPECT_EQ(bits(a.values[0]), bits(b.values[0])) << i;
        EXPECT_EQ(bits(a.values[1]), bits(b.values[1])) << i;
        EXPECT_EQ(a.seed, b.seed) << i;
    }
    for (const char* text :
         {"0123456789abcdef:1:", "0123456789abcdef:12:dt=0.01:-3e-300:3;x(50)=1:1:4",
          "0123456789abcdef:2:TotalTime=5:7:2"})
        EXPECT_EQ(Sweep_Column("0123456789abcdef", Parse_Sweep_Column(text).points), text);

    // Only the writer's own text: the merge compares the column of every row as text.
    const std::pair<const char*, const char*> refused[] = {
        {"0123456789abcdef:11", "DIGEST:POINTS:DEFINITION"},
        {"0123456789ABCDEF:11:r(1)=0:1:11", "16 hexadecimal digits"},
        {"0123456789abcdef:12:r(1)=0:1:11", "(it writes \"0123456789abcdef:11:r(1)=0:1:11\""},
        {"0123456789abcdef:11:r(1)=0.0:1:11", "not as lv-sweep writes it"},
        {"0123456789abcdef:2:a(0,1)=0:1:2", "not as lv-sweep writes it"},
        {"0123456789abcdef:6:seeds=1:3;r(1)=0:1:2", "the seeds come last"},
        {"0123456789abcdef:11:q(1)=0:1:11", "expected r(k)"},
        {"0123456789abcdef:8:r(0)=0:1:2;r(1)=0:1:2;r(2)=0:1:2", "twice for a grid"},
    };
    for (const auto& [text, why] : refused) {
        const std::string said = refusal([text = text] { Parse_Sweep_Column(text); });
        EXPECT_NE(said.find(why), std::string::npos) << text << ": " << said;
    }
}

TEST(SweepCsv, IdentityIsTheSameForEveryShardAndCarriesThePoints) {
    const SweepBase b = chaoticFour();
    const std::vector<SweepAxis> axes = {SweepAxis::Parse("r(1)=0.5:1:3")};
    const std::string id = Sweep_Identity(b, SweepPoints(axes, SweepSeeds{4, 5}, {1, 2}), false);
    EXPECT_EQ(Sweep_Identity(b, SweepPoints(axes, SweepSeeds{4, 5}, {0, 1}), false), id);
    EXPECT_NE(Sweep_Identity(b, SweepPoints(axes, SweepSeeds{4, 5}, {0, 1}), true), id);
    const SweepPoints back = Parse_Sweep_Column(id).points;
    EXPECT_EQ(back.Total(), 6);
    EXPECT_EQ(back.Point(5).values, std::vector<double>{1});
    EXPECT_EQ(back.Point(5).seed, 5u);
}

// The shards of the sweep `points` as the writer writes them; point 4 failed with a message
// that spans two lines.
std::vector<std::string> shardTexts(const SweepPoints& points, long long n,
                                    const std::string& digest = "00000000000000aa") {
    std::vector<std::string> names;
    for (const SweepAxis& a : points.Axes()) names.push_back(a.parameter.name);
    const SweepCsv csv(names, 2, Sweep_Column(digest, points));
    std::vector<std::string> out;
    for (long long k = 0; k < n; ++k) {
        std::string text = csv.Header();
        for (long long i = k; i < points.Total(); i += n) {
            PointResult r = okResult(i, {}, double(i) / 8);
            r.point = points.Point(i);
            if (i == 4) {
                r.status = "Overflow";
                r.message = "Overflow: model run, step 3,\r\nthen \"more\"";
            }
            text += csv.Row(r);
        }
        out.push_back(std::move(text));
    }
    return out;
}

SweepPoints eleven(const char* axis = "a(0,1)=0.5:1.5:11") {
    return SweepPoints({SweepAxis::Parse(axis)}, std::nullopt, {});
}

// The merged text of the shards (named shard0.csv, ...), or what stopped the merge.
std::string merged(const std::vector<std::string>& texts, std::vector<std::string> names = {}) {
    std::vector<std::unique_ptr<ShardSource>> sources;
    for (std::size_t k = 0; k < texts.size(); ++k) {
        if (names.size() <= k) names.push_back("shard" + std::to_string(k) + ".csv");
        sources.push_back(Shard_Text(names[k], texts[k]));
    }
    std::string out;
    try {
        Merge_Shards(sources, [&out](std::string_view bytes) { out.append(bytes); });
    } catch (const SweepMergeError& e) {
        return "refused: " + e.message;
    } catch (const LvError& e) {
        return std::string("failed: ") + e.what();
    }
    return out;
}

// A shard made as it is read: `rows` rows of the sweep `points` from point k, every n-th,
// or after `bytes` bytes a failing read. Counts what was read of it.
class MadeShard : public ShardSource {
  public:
    MadeShard(const SweepPoints& points, long long k, long long n, int failAfter = -1)
        : ShardSource("\"made.csv\""), points_(points), next_(k), n_(n), failAfter_(failAfter) {
        pending_ = csv_.Header();
    }
    ssize_t Read(char* into, std::size_t most) override {
        if (failAfter_ >= 0 && read >= std::size_t(failAfter_)) return -EIO;
        while (pending_.size() < most && next_ < points_.Total()) {
            PointResult r = okResult(next_, {}, 0.5);
            r.point = points_.Point(next_);
            pending_ += csv_.Row(r);
            next_ += n_;
        }
        const std::size_t n = std::min(most, pending_.size());
        std::memcpy(into, pending_.data(), n);
        pending_.erase(0, n);
        read += n;
        return ssize_t(n);
    }
    std::size_t read = 0;

  private:
    const SweepPoints points_;
    const SweepCsv csv_{{"r(0)"}, 2, Sweep_Column("00000000000000aa", points_)};
    long long next_, n_;
    int failAfter_;
    std::string pending_;
};

// Endless bytes, counting what was read.
class EndlessShard : public ShardSource {
  public:
    EndlessShard() : ShardSource("\"endless\"") {}
    ssize_t Read(char* into, std::size_t most) override {
        std::memset(into, '7', most);
        read += most;
        return ssize_t(most);
    }
    std::size_t read = 0;
};

TEST(SweepMerge, ShardsInAnyOrderGiveTheOneProcessText) {
    const std::string whole = shardTexts(eleven(), 1)[0];
    std::vector<std::string> three = shardTexts(eleven(), 3);
    std::swap(three[0], three[2]);
    EXPECT_EQ(merged(three), whole);
    EXPECT_EQ(merged({whole}), whole);
    // More shards than points: some shards hold the header only.
    EXPECT_EQ(merged(shardTexts(eleven(), 13)), whole);
    // Many rows across the reads' buffers, shards of seeds and a grid.
    const SweepPoints grid({SweepAxis::Parse("r(0)=0:1:30"), SweepAxis::Parse("dt=1e-3:0.1:50")},
                           SweepSeeds{7, 10}, {});
    EXPECT_TRUE(merged(shardTexts(grid, 7)) == shardTexts(grid, 1)[0]);
}

TEST(SweepMerge, ReadsTheShardsSideBySideHoldingARowOfEach) {
    // 2,000,000 rows, over 200 MB: the first merged text comes after a few reads of each.
    const SweepPoints points({SweepAxis::Parse("r(0)=0:1:2000000")}, std::nullopt, {});
    std::vector<std::unique_ptr<ShardSource>> sources;
    for (long long k = 0; k < 3; ++k) sources.push_back(std::make_unique<MadeShard>(points, k, 3));
    struct Enough {};
    std::string first;
    try {
        Merge_Shards(sources, [&](std::string_view bytes) {
            first = bytes;
            throw Enough{};
        });
    } catch (const Enough&) {
    }
    EXPECT_EQ(first.find("point,r(0),seed,"), 0u);
    EXPECT_LT(first.find("\r\n0,0,"), first.find("\r\n1,"));
    EXPECT_LT(first.find("\r\n1,"), first.find("\r\n2,"));
    for (const auto& s : sources) EXPECT_LT(static_cast<MadeShard&>(*s).read, 200000u);
}

TEST(SweepMerge, RefusesMissingRepeatedUnorderedAndForeignShards) {
    const std::vector<std::string> s = shardTexts(eleven(), 3);
    EXPECT_EQ(merged({s[0], s[2]}),
              "refused: 4 of the sweep's 11 points are in no shard: 1, 4, 7, 10");
    std::vector<std::string> lastRowLost = s;
    lastRowLost[1].resize(lastRowLost[1].rfind("\r\n10,") + 2);
    EXPECT_EQ(merged(lastRowLost), "refused: 1 of the sweep's 11 points are in no shard: 10");
    EXPECT_EQ(merged({s[0], s[1], s[2], s[1]}),
              "refused: point 1 is given twice: \"shard1.csv\", line 2 and \"shard3.csv\", line 2");
    // Within one shard: twice, and out of order (the row of point 4 spans lines 3 and 4).
    const std::string row4 =
        s[1].substr(s[1].find("\r\n4,") + 2, s[1].find("\r\n7,") - s[1].find("\r\n4,"));
    std::string twice = s[1];
    twice.insert(twice.find(row4) + row4.size(), row4);
    EXPECT_EQ(merged({s[0], twice, s[2]}),
              "refused: point 4 is given twice: \"shard1.csv\", line 3 and \"shard1.csv\", line 5");
    std::string unordered = s[1];
    unordered.replace(unordered.find(row4), row4.size(), "");
    EXPECT_EQ(merged({s[0], unordered + row4, s[2]}),
              "refused: \"shard1.csv\", line 5: point 4 comes after point 10 (line 4): a shard "
              "holds its points in increasing order");
    EXPECT_NE(merged({s[0], s[1], shardTexts(eleven(), 3, "00000000000000bb")[2]})
                  .find("\"shard2.csv\", line 2: another sweep"),
              std::string::npos);
    EXPECT_NE(merged({s[0], s[1], shardTexts(eleven("a(0,1)=0.5:1.5:12"), 3)[2]})
                  .find("\"shard2.csv\", line 2: another sweep"),
              std::string::npos);
    EXPECT_NE(merged({s[0], s[1], shardTexts(eleven("r(1)=0.5:1.5:11"), 3)[2]})
                  .find("the headers differ"),
              std::string::npos);
    EXPECT_NE(merged({"hello\r\n"}).find("not the CSV of a sweep"), std::string::npos);
    EXPECT_NE(merged({""}).find("the file is empty"), std::string::npos);
    EXPECT_NE(merged({s[0] + "9,\"open"}).find("\"shard0.csv\", line 6: a quote is never closed"),
              std::string::npos);
    const std::string id = Sweep_Column("00000000000000aa", eleven());
    EXPECT_NE(merged({s[0] + "12,1.5,,ok,1,1,1,0,1,1,," + id + "\r\n"})
                  .find("point \"12\" is not one of the sweep's 0 to 10"),
              std::string::npos);
    EXPECT_NE(merged({shardTexts(eleven(), 13)[12]}).find("no shard holds a point"),
              std::string::npos);
    // A shard of a sweep column without its definition.
    std::string old = s[0];
    for (std::size_t at; (at = old.find(id)) != std::string::npos;)
        old.replace(at, id.size(), "00000000000000aa:11");
    EXPECT_NE(merged({old}).find("(an older lv-sweep wrote no definition)"), std::string::npos);
}

TEST(SweepMerge, RowsHoldTheValuesAndSeedTheirPointGivesToTheLastDigit) {
    const SweepPoints seeds({SweepAxis::Parse("r(1)=0.1:0.3:3")}, SweepSeeds{8, 9}, {});
    std::vector<std::string> s = shardTexts(seeds, 2);
    ASSERT_EQ(merged(s), shardTexts(seeds, 1)[0]);
    // Point 2 (line 3 of shard 0): the second r(1), seed 8. Another text of the same double
    // is not what the writer writes; another seed is another point.
    const std::string r1 = Format_Shortest(seeds.Point(2).values[0]);
    const std::size_t row2 = s[0].find("\r\n2," + r1 + ",8,") + 2;
    ASSERT_NE(row2, std::string::npos + 2);
    std::string sameDouble = s[0];
    sameDouble.insert(row2 + 2 + r1.size(), "0");
    EXPECT_EQ(merged({sameDouble, s[1]}), "refused: \"shard0.csv\", line 3: point 2 has r(1) \"" +
                                              r1 + "0\", where the sweep's definition gives " + r1);
    std::string otherSeed = s[0];
    otherSeed.replace(row2 + 3 + r1.size(), 1, "9");
    EXPECT_NE(merged({otherSeed, s[1]})
                  .find("point 2 has the seed \"9\", where the sweep's "
                        "definition gives 8"),
              std::string::npos);
    // A header that names other columns than the definition does.
    std::string header = s[0];
    header.replace(0, header.find(",seed"), "point,r(2)");
    EXPECT_NE(merged({header}).find("the header is not lv-sweep's for the sweep"),
              std::string::npos);
}

TEST(SweepMerge, ASpreadsheetsByteOrderMarkLineEndsAndTrailingBlankLinesPass) {
    const std::vector<std::string> s = shardTexts(eleven(), 2);
    std::string lf = s[1];
    for (std::size_t at; (at = lf.find("\r\n")) != std::string::npos;) lf.erase(at, 1);
    EXPECT_EQ(merged({"\xEF\xBB\xBF" + s[0] + "\r\n\r\n", lf + "\n"}), shardTexts(eleven(), 1)[0]);
    // Only after the last row.
    std::string blank = s[1];
    blank.insert(blank.find("\r\n5,") + 2, "\r\n");
    EXPECT_EQ(merged({s[0], blank}),
              "refused: \"shard1.csv\", line 4: a blank line before the last row");
}

TEST(SweepMerge, OverlongRecordsStopTheReadAndMessagesQuoteBriefly) {
    // An endless record fails at its 32,768th character, without reading on.
    std::vector<std::unique_ptr<ShardSource>> endless;
    endless.push_back(std::make_unique<EndlessShard>());
    try {
        Merge_Shards(endless, [](std::string_view) {});
        ADD_FAILURE() << "merged";
    } catch (const LvError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Overflow);
        EXPECT_STREQ(e.what(),
                     "Overflow: \"endless\", line 1: the record is longer than 32767 characters");
    }
    EXPECT_LT(static_cast<EndlessShard&>(*endless[0]).read, 65536u);
    // A row of 32,767 characters passes, one more fails.
    const std::string s = shardTexts(eleven(), 1)[0];
    const std::string header = s.substr(0, s.find("\r\n") + 2);
    const std::string rest = s.substr(s.find("\r\n1,") + 2);
    const SweepCsv csv({"a(0,1)"}, 2, Sweep_Column("00000000000000aa", eleven()));
    PointResult failed = SweepRun::Failure(eleven().Point(0), LvError(ErrorKind::Overflow));
    const std::size_t bare = csv.Row(failed).size() - 2 - failed.message.size();
    failed.message += std::string(MaxLineLength - bare - failed.message.size(), 'm');
    const std::string longest = header + csv.Row(failed) + rest;
    EXPECT_EQ(merged({longest}), longest);
    failed.message += 'm';
    EXPECT_EQ(
        merged({header + csv.Row(failed) + rest}),
        "failed: Overflow: \"shard0.csv\", line 2: the record is longer than 32767 characters");
    // Control characters of names and fields come out escaped, long fields shortened.
    const std::string said =
        merged({header + "\x1b[2J" + std::string(30000, '7') + s.substr(s.find("\r\n") + 3)},
               {"new\nline.csv"});
    EXPECT_EQ(said.rfind("refused: \"new\\x0Aline.csv\", line 2: point \"\\x1B[2J777", 0), 0u)
        << said;
    EXPECT_LT(said.size(), 200u);
    EXPECT_EQ(said.find('\n'), std::string::npos);
}

TEST(SweepMerge, ReadFailuresCarryTheirKindAndTheShard) {
    std::vector<std::unique_ptr<ShardSource>> failing;
    failing.push_back(std::make_unique<MadeShard>(eleven(), 0, 1, 0));
    try {
        Merge_Shards(failing, [](std::string_view) {});
        ADD_FAILURE() << "merged";
    } catch (const LvError& e) {
        EXPECT_STREQ(e.what(),
                     "Device I/O error: reading \"made.csv\", line 1 (Input/output error)");
    }
}

}  // namespace
