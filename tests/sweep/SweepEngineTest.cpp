// The sweep engine without the program: the points a sweep makes, each point's run against
// the model run called directly, the executor's ordering, the CSV text and the merge.

#include <gtest/gtest.h>

#include <atomic>
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
#include "SweepMerge.h"
#include "SweepPoints.h"
#include "SweepRun.h"
#include "SweepSystems.h"

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
}

TEST(SweepPoints, ValuesFollowTheFormulaOperationByOperation) {
    // (TO - FROM) * i first, then / (COUNT - 1): with i / (COUNT - 1) first the fifth
    // value would be 0.7 itself; and the formula, not TO, gives the last value.
    const SweepAxis a = SweepAxis::Parse("x(2)=0.3:0.9:7");
    EXPECT_EQ(bits(a.Value(4)), bits(0.7000000000000001));
    EXPECT_EQ(bits(a.Value(6)), bits(0.9000000000000001));
    EXPECT_EQ(bits(SweepAxis::Parse("r(0)=1:2.1:11").Value(9)), bits(1.99));
    const SweepAxis down = SweepAxis::Parse("TotalTime=10:-10:5");
    EXPECT_EQ(down.Value(1), 5);
    EXPECT_EQ(down.Value(4), -10);
    EXPECT_EQ(SweepAxis::Parse("dt=0.25:9:1").Value(0), 0.25);
    const SweepParameter corner = SweepAxis::Parse("a(50,0)=1e-3:2:1").parameter;
    EXPECT_EQ(corner.i, 50);
    EXPECT_EQ(corner.j, 0);
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
        {chaoticFour(), "dt", 1e-18,
         "Invalid procedure call or argument: the run would never end: the time step "
         "1.0000000000000001e-18 is too small"},
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
    EXPECT_EQ(csv.Header(), "point,\"a(0,1)\",dt,seed,status,LE,steps,t,x0,x1,message,sweep\r\n");
    EXPECT_EQ(csv.Row(okResult(3, {0.1, 2}, -0.5)),
              "3,0.10000000000000001,2,,ok,-0.5,80001,800.00999999941746,0.10000000000000001,"
              "0.33333333333333331,,00000000000000ab:6\r\n");
    PointResult failed;
    failed.point = {4, {1, 2}, 99u};
    failed.status = "Type mismatch";
    failed.message = "Type mismatch: not a number: \"1,5\"";
    EXPECT_EQ(csv.Row(failed),
              "4,1,2,99,Type mismatch,,,,,,\"Type mismatch: not a number: "
              "\"\"1,5\"\"\",00000000000000ab:6\r\n");
    for (double v : {0.1, 1.0 / 3, -2.5e-310, 1e300, 800.00999999941746})
        EXPECT_EQ(bits(std::strtod(Format_Digits17(v).c_str(), nullptr)), bits(v));
    EXPECT_EQ(Csv_Field("line\nbreak"), "\"line\nbreak\"");
    EXPECT_EQ(Csv_Field("plain text"), "plain text");
    EXPECT_NE(Sweep_Id("abc", "s", 5), Sweep_Id("ab", "cs", 5));
    EXPECT_NE(Sweep_Id("abc", "s", 5), Sweep_Id("abd", "s", 5));
    EXPECT_EQ(Sweep_Id("abc", "s", 5).substr(16), ":5");
}

// The shards of a sweep of `total` points as CSV texts.
std::vector<ShardText> shards(long long total, long long n, const std::string& id,
                              const std::string& name = "r(0)") {
    const SweepCsv csv({name}, 2, id);
    std::vector<ShardText> out;
    for (long long k = 0; k < n; ++k) {
        ShardText s{"shard" + std::to_string(k) + ".csv", csv.Header()};
        for (long long i = k; i < total; i += n) {
            PointResult r = okResult(i, {double(i)}, double(i) / 8);
            if (i == 4) {
                r.status = "Overflow";
                r.message = "Overflow: model run, step 3,\r\nthen \"more\"";
            }
            s.text += csv.Row(r);
        }
        out.push_back(std::move(s));
    }
    return out;
}

std::string mergeRefusal(const std::vector<ShardText>& s) {
    try {
        Merge_Shards(s);
    } catch (const SweepMergeError& e) {
        return e.message;
    }
    return "(merged)";
}

TEST(SweepMerge, ShardsInAnyOrderGiveTheOneProcessText) {
    const std::string whole = shards(11, 1, "00000000000000aa:11")[0].text;
    std::vector<ShardText> three = shards(11, 3, "00000000000000aa:11");
    std::swap(three[0], three[2]);
    EXPECT_EQ(Merge_Shards(three), whole);
    EXPECT_EQ(Merge_Shards(shards(11, 1, "00000000000000aa:11")), whole);
    // More shards than points: some shards hold the header only.
    EXPECT_EQ(Merge_Shards(shards(11, 13, "00000000000000aa:11")), whole);
}

TEST(SweepMerge, RefusesMissingRepeatedAndForeignShards) {
    const std::string id = "00000000000000aa:11";
    std::vector<ShardText> s = shards(11, 3, id);
    std::vector<ShardText> missing = {s[0], s[2]};
    EXPECT_EQ(mergeRefusal(missing), "4 of the sweep's 11 points are in no shard: 1, 4, 7, 10");
    std::vector<ShardText> lastRowLost = s;
    lastRowLost[1].text.resize(lastRowLost[1].text.rfind("\r\n10,") + 2);
    EXPECT_EQ(mergeRefusal(lastRowLost), "1 of the sweep's 11 points are in no shard: 10");
    std::vector<ShardText> repeated = {s[0], s[1], s[2], s[1]};
    EXPECT_EQ(mergeRefusal(repeated),
              "point 1 is given twice: shard1.csv, line 2 and shard1.csv, line 2");
    std::vector<ShardText> otherSweep = {s[0], s[1], shards(11, 3, "00000000000000bb:11")[2]};
    EXPECT_NE(mergeRefusal(otherSweep).find("shard2.csv, line 2: another sweep"),
              std::string::npos);
    std::vector<ShardText> otherNames = {s[0], s[1], shards(11, 3, id, "r(1)")[2]};
    EXPECT_NE(mergeRefusal(otherNames).find("the headers differ"), std::string::npos);
    EXPECT_NE(mergeRefusal({{"notes.txt", "hello\r\n"}}).find("not the CSV of a sweep"),
              std::string::npos);
    EXPECT_NE(mergeRefusal({{"cut.csv", s[0].text + "9,\"open"}}).find("never closed"),
              std::string::npos);
    std::vector<ShardText> beyond = s;
    beyond[0].text += "12,12,,ok,1,1,1,1,1,," + id + "\r\n";
    EXPECT_NE(mergeRefusal(beyond).find("point \"12\" is not one of the sweep's 0 to 10"),
              std::string::npos);
    EXPECT_NE(
        mergeRefusal({{"empty.csv", shards(1, 3, id)[2].text}}).find("no shard holds a point"),
        std::string::npos);
}

}  // namespace
