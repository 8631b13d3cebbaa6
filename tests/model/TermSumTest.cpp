#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "TermSum.h"

// The exponent's sum: terms that wait a step are added exactly where the plain sum adds them,
// and terms stop waiting before the sum could leave the double range.

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
        plain = (recip * std::log(Dist / D0)) + plain;
        // Mix both ways of taking a term, in runs, as a run does when a term may not wait.
        if (sum.Can_Wait(recip, Dist) && pick(engine) < 0.9) {
            sum.Wait(recip, Dist);
            ++waited;
        } else {
            sum.Restart((recip * std::log(Dist / D0)) + sum.Total());
        }
        if (bits(sum.Total()) != bits(plain)) ++mismatches;
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(waited, 4000);
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
            plain = (sign * 1e290 * std::log(1e290 / D0)) + plain;
            ++waited;
        }
        EXPECT_GE(waited, 1);
        EXPECT_LE(waited, 64);
        EXPECT_EQ(bits(sum.Total()), bits(plain));
        EXPECT_TRUE(std::isfinite(sum.Total()));
    }
}

}  // namespace
