#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "ModelLog.h"
#include "TermSum.h"

// The exponent's sum: terms that wait a step are added exactly where the plain sum adds them,
// and terms stop waiting before the sum could leave the double range. The logarithm of its
// terms: close to the exact value, and the same bits for a double and for every vector lane.

namespace {

constexpr double D0 = 1e-12;
constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

uint64_t bits(double v) {
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

TEST(TermSum, WaitingAndImmediateTermsGiveThePlainSumAtEveryStep) {
    std::mt19937_64 engine(7);
    std::uniform_real_distribution<double> dist(1e-14, 1e-9), pick(0, 1);
    TermSum sum(D0);
    double plain = 0;
    int mismatches = 0, waited = 0;
    for (int step = 0; step < 5000; ++step) {
        const double recip = step % 97 == 0 ? -100.0 : 100.0, Dist = dist(engine);
        plain = (recip * Model_Log(Dist / D0)) + plain;
        // Mix both ways of taking a term, in runs, as a run does when a term may not wait.
        if (sum.Can_Wait(recip, Dist) && pick(engine) < 0.9) {
            sum.Wait(recip, Dist);
            ++waited;
        } else {
            sum.Restart((recip * Model_Log(Dist / D0)) + sum.Total());
        }
        if (bits(sum.Total()) != bits(plain)) ++mismatches;
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(waited, 4000);
}

// Every build of the batch's logarithms, on the widest vectors down to the plain ones, adds
// the same bits as the terms taken one by one, for full and part-filled batches, and raises
// no flag but inexact, whatever the values that may wait.
TEST(TermSum, EveryBatchBuildAddsTheTermsOfTheDoubles) {
    std::mt19937_64 engine(3);
    std::uniform_real_distribution<double> power(-320, 290);
    const std::vector<TermBatchBuild>& builds = Term_Batch_Builds();
    ASSERT_FALSE(builds.empty());
    EXPECT_STREQ(builds.back().name, "generic/2x2x2");
    constexpr int Batch = TermSum::Batch;
    for (int trial = 0; trial < 3000; ++trial) {
        alignas(64) double recip[Batch], Dist[Batch];
        for (int i = 0; i < Batch; ++i) {
            recip[i] = (engine() % 2 ? 1 : -1) * std::pow(10.0, power(engine) / 2 + 140);
            Dist[i] = trial % 3 ? std::pow(10.0, power(engine)) : D0 * (1 + 1e-3 * (i + 1));
        }
        if (trial == 0) Dist[3] = 4.9406564584124654e-324;  // the smallest Dist there is
        if (trial == 1) Dist[0] = recip[5] = 1e290;
        const int count = trial % (Batch + 1);
        const double start = trial % 7 ? 0.25 * trial : -1e300;
        double plain = start;
        for (int i = 0; i < count; ++i) plain = Exponent_Term(recip[i], Dist[i], D0) + plain;
        for (const TermBatchBuild& build : builds) {
            std::feclearexcept(FE_ALL_EXCEPT);
            const double sum = build.add(recip, Dist, D0, count, start);
            ASSERT_EQ(bits(sum), bits(plain)) << build.name << ", trial " << trial;
            ASSERT_FALSE(std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW))
                << build.name << ", trial " << trial;
        }
    }
}

TEST(TermSum, TermsThatCouldFailNeverWait) {
    TermSum sum(D0);
    EXPECT_TRUE(sum.Can_Wait(1e290, 1e290));
    EXPECT_TRUE(sum.Can_Wait(-1e290, 1e-300));
    EXPECT_FALSE(sum.Can_Wait(2e290, 1));
    EXPECT_FALSE(sum.Can_Wait(-2e290, 1));
    EXPECT_FALSE(sum.Can_Wait(100, 2e290));
    EXPECT_FALSE(sum.Can_Wait(100, Inf));
    EXPECT_FALSE(sum.Can_Wait(NaN, 1));
    EXPECT_FALSE(sum.Can_Wait(100, NaN));
}

TEST(TermSum, SumNearTheRangeLimitStopsTermsWaitingWithinABatch) {
    // Far from the limit terms keep waiting, however many there are.
    TermSum small(D0);
    int refused = 0;
    for (int i = 0; i < 1000; ++i) {
        if (!small.Can_Wait(100, 1e-10)) ++refused;
        small.Wait(100, 1e-10);
    }
    EXPECT_EQ(refused, 0);

    // Past the limit, none waits.
    for (double start : {2e307, -2e307, Inf, NaN}) {
        TermSum sum(D0);
        sum.Restart(start);
        EXPECT_FALSE(sum.Can_Wait(100, 1e-10)) << start;
    }

    // At the limit, with terms of the largest size that may wait pushing outwards: the sum is
    // checked again within 64 terms, and stays finite and exact.
    for (double sign : {1.0, -1.0}) {
        TermSum sum(D0);
        sum.Restart(sign * 1e307);
        double plain = sign * 1e307;
        int waited = 0;
        while (sum.Can_Wait(sign * 1e290, 1e290) && waited < 1000) {
            sum.Wait(sign * 1e290, 1e290);
            plain = (sign * 1e290 * Model_Log(1e290 / D0)) + plain;
            ++waited;
        }
        EXPECT_GE(waited, 1);
        EXPECT_LE(waited, 64);
        EXPECT_EQ(bits(sum.Total()), bits(plain));
        EXPECT_TRUE(std::isfinite(sum.Total()));
    }
}

// Units in the last place between a double and the value in extended precision.
double ulpsOff(double got, long double exact) {
    const double nearest = static_cast<double>(exact);
    const long double ulp = std::nextafter(std::fabs(nearest), Inf) - std::fabs(nearest);
    return static_cast<double>(std::fabs((static_cast<long double>(got) - exact) / ulp));
}

TEST(ModelLog, WithinAUnitInTheLastPlaceOverTheWholeRange) {
    std::mt19937_64 engine(11);
    std::uniform_real_distribution<double> power(-745, 709), near(-0.5, 0.5);
    double worst = 0;
    int notNearest = 0;
    constexpr int Count = 400000;
    for (int i = 0; i < Count; ++i) {
        // Everywhere, subnormals included, and close to 1, where the exponent's arguments lie.
        const double x = i % 2 ? std::exp(power(engine))
                               : 1 + near(engine) * std::ldexp(1.0, -int(engine() % 40));
        const long double exact = logl(static_cast<long double>(x));
        const double off = ulpsOff(Model_Log(x), exact);
        worst = std::max(worst, off);
        if (off > 0.5) ++notNearest;
    }
    EXPECT_LT(worst, 0.85);
    EXPECT_LT(notNearest, Count / 100);
    EXPECT_EQ(Model_Log(1.0), 0.0);
    EXPECT_EQ(Model_Log(std::exp(1.0)), 1.0);
    EXPECT_LT(ulpsOff(Model_Log(4.9406564584124654e-324), logl(4.9406564584124654e-324L)), 0.85);
    EXPECT_LT(ulpsOff(Model_Log(1.7976931348623157e308), logl(1.7976931348623157e308L)), 0.85);
}

TEST(ModelLog, EdgesGiveTheLimitsAndRaiseNoFlag) {
    std::feclearexcept(FE_ALL_EXCEPT);
    EXPECT_EQ(Model_Log(Inf), Inf);
    EXPECT_EQ(Model_Log(0.0), -Inf);
    EXPECT_EQ(Model_Log(-0.0), -Inf);
    EXPECT_TRUE(std::isnan(Model_Log(-1.0)));
    EXPECT_TRUE(std::isnan(Model_Log(-Inf)));
    EXPECT_TRUE(std::isnan(Model_Log(NaN)));
    const double tiny = Model_Log(1e-310), huge = Model_Log(1e300);
    EXPECT_TRUE(std::isfinite(tiny) && std::isfinite(huge));
    EXPECT_FALSE(std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW | FE_UNDERFLOW));
}

// Vectors of 2, 4 and 8 lanes, each lane an argument of its own.
template <int W>
void expectLanesAreDoubles(const std::vector<double>& args) {
    using V = typename Lane_Vector<W>::V;
    for (std::size_t at = 0; at + W <= args.size(); at += W) {
        V x;
        for (int l = 0; l < W; ++l) x[l] = args[at + std::size_t(l)];
        std::feclearexcept(FE_ALL_EXCEPT);
        const V y = Model_Log(x);
        ASSERT_FALSE(std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW | FE_UNDERFLOW))
            << W << " lanes, from " << x[0];
        for (int l = 0; l < W; ++l)
            ASSERT_EQ(bits(y[l]), bits(Model_Log(x[l]))) << W << " lanes, " << x[l];
    }
}

TEST(ModelLog, EveryLaneGivesTheBitsOfTheDoubleAndRaisesNoFlag) {
    std::mt19937_64 engine(5);
    std::vector<double> args = {1, 0, -0.0, Inf, -2, NaN, 1e-310, 0.5, 2, 1 + 1e-15, 1 - 1e-16};
    while (args.size() < 4000) {
        uint64_t b = engine();
        double x;
        std::memcpy(&x, &b, sizeof x);
        args.push_back(args.size() % 3 ? std::fabs(x) : 1 + std::ldexp(x, -1030));
    }
    expectLanesAreDoubles<2>(args);
    expectLanesAreDoubles<4>(args);
    expectLanesAreDoubles<8>(args);
}

}  // namespace
