#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <tuple>
#include <vector>

#include "AnalysesSupport.h"
#include "KaplanYorke.h"
#include "LvError.h"
#include "PhasePoints.h"
#include "PopulationMaxima.h"

// The Kaplan-Yorke dimension on spectra made by hand, one for each way its count can end,
// the maxima of a population on signals whose maxima are known, and the attractor's points
// on steps whose populations are known.

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();

TEST(KaplanYorke, EveryBranch) {
    // The partial sums 0.5, 0.7, -0.3: two exponents, and 0.7 of the third.
    EXPECT_DOUBLE_EQ(Kaplan_Yorke_Dimension({0.5, 0.2, -1}), 2.7);
    // A partial sum of exactly 0 is not negative: 2, and none of the third.
    EXPECT_EQ(Kaplan_Yorke_Dimension({0.5, -0.5, -1}), 2);
    // A limit cycle: 0 and then contraction.
    EXPECT_EQ(Kaplan_Yorke_Dimension({0, -0.3, -1}), 1);
    // Every partial sum non-negative: all of them.
    EXPECT_EQ(Kaplan_Yorke_Dimension({0.1, 0, -0.05}), 3);
    // The largest negative (a stable equilibrium): 0.
    EXPECT_EQ(Kaplan_Yorke_Dimension({-0.1, -2}), 0);
    EXPECT_EQ(Kaplan_Yorke_Dimension({}), 0);
    // A lost direction: its -infinity ends the count, adding nothing.
    EXPECT_EQ(Kaplan_Yorke_Dimension({0.3, -Inf}), 1);
}

// Feeds the values as the ends of steps of 0.1 from the model's start population.
PopulationMaxima maximaOf(const std::vector<double>& values, double discard, std::size_t cap) {
    Model model = Make_Model({1, 1}, {{1, 0}, {0, 1}}, {0.5, values.front()}, 0.1);
    PopulationMaxima maxima(1, discard, cap);
    maxima.Start(model);
    std::vector<double> before{0.5, values.front()}, after{0.5, 0};
    double t = 0;
    for (std::size_t i = 1; i < values.size(); ++i) {
        after[1] = values[i];
        t = 0.1 + t;
        maxima.Step({static_cast<long long>(i), t, 0.1, before, after, model});
        before[1] = values[i];
    }
    return maxima;
}

TEST(PopulationMaxima, HandMadeSignalWithPlateaus) {
    //                          0  1  2  3  4  5  6  7  8  9 10 11 12 13 14
    const std::vector<double> v{0, 1, 3, 2, 2, 5, 5, 4, 6, 6, 6, 7, 1, 1, 2};
    // 3 at 2; the plateau of 5 at its first step, 5; the plateau of 6 at 8, though 7 follows
    // it; 7 at 11. The last value, 2, has nothing after it.
    const PopulationMaxima all = maximaOf(v, 0, 100);
    EXPECT_EQ(all.Values(), (std::vector<double>{3, 5, 6, 7}));
    EXPECT_EQ(all.Found(), 4);
    ASSERT_EQ(all.Times().size(), 4u);
    const int steps[] = {2, 5, 8, 11};
    for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(all.Times()[i], 0.1 * steps[i], 1e-12);
    // After 0.6 of model time: the maxima of steps 8 and 11; at most one kept, both found.
    const PopulationMaxima late = maximaOf(v, 0.6, 1);
    EXPECT_EQ(late.Values(), std::vector<double>{6});
    EXPECT_EQ(late.Found(), 2);
    // A start value never is one, nor is a fall from it.
    EXPECT_TRUE(maximaOf({9, 8, 7}, 0, 10).Values().empty());
}

TEST(PopulationMaxima, SampledSineHasItsCrests) {
    // sin(t) sampled every 0.1: one maximum a period, within half a step of pi/2 + 2 pi m,
    // where its value is within 1 - cos(0.05) of 1.
    std::vector<double> v;
    for (int i = 0; i <= 1000; ++i) v.push_back(std::sin(0.1 * i));
    const PopulationMaxima maxima = maximaOf(v, 0, 100);
    ASSERT_EQ(maxima.Found(), 16);
    for (int m = 0; m < 16; ++m) {
        EXPECT_NEAR(maxima.Times()[m], std::numbers::pi / 2 + 2 * std::numbers::pi * m, 0.05);
        EXPECT_GE(maxima.Values()[m], std::cos(0.05));
    }
}

TEST(PopulationMaxima, SpeciesMustBeInTheModel) {
    PopulationMaxima maxima(4, 0, 10);
    try {
        maxima.Start(Chaotic_Four());
        FAIL() << "species 4 of 4 accepted";
    } catch (const LvError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::SubscriptOutOfRange);
    }
}

// Step s (from 1) has x(0) = s, x(1) = -s, x(2) = 1000 + s and t = s / 10: every point
// kept says which step it is.
PhasePoints phaseOf(long long steps, int K, double discard, std::size_t cap) {
    Model model = Chaotic_Four();
    PhasePoints phase(0, 1, K, discard, cap);
    phase.Start(model);
    std::vector<double> before(4, 0.5), after(4, 0.5);
    for (long long s = 1; s <= steps; ++s) {
        after = {double(s), -double(s), 1000.0 + double(s), 0.5};
        phase.Step({s, double(s) / 10, 0.1, before, after, model});
        before = after;
    }
    return phase;
}

TEST(PhasePoints, EveryStepAfterTheDiscardThenThinnedEvenly) {
    // Up to the cap, every step after the discard, each with its own populations.
    const PhasePoints few = phaseOf(100, 2, 5, 1000);
    ASSERT_EQ(few.X().size(), 50u);  // steps 51 to 100: t = 5 itself is the discard's
    EXPECT_EQ(few.Steps_Seen(), 50);
    for (std::size_t i = 0; i < 50; ++i) {
        EXPECT_EQ(few.X()[i], double(51 + i));
        EXPECT_EQ(few.Y()[i], -few.X()[i]);
        EXPECT_EQ(few.Z()[i], 1000 + few.X()[i]);
    }
    // Beyond it, never more than the cap, the steps evenly spaced from the first to near
    // the last, and each point still its step's own.
    for (long long steps : {1000LL, 1001LL, 4099LL, 100000LL}) {
        for (std::size_t cap : {2u, 7u, 64u, 1000u}) {
            const PhasePoints many = phaseOf(steps, -1, 0, cap);
            const std::vector<double>& x = many.X();
            ASSERT_LE(x.size(), cap) << steps << " " << cap;
            ASSERT_GE(x.size(), std::min<std::size_t>(cap / 2, std::size_t(steps)));
            EXPECT_TRUE(many.Z().empty());
            EXPECT_EQ(many.Steps_Seen(), steps);
            EXPECT_EQ(x.front(), 1);
            const double stride = x.size() > 1 ? x[1] - x[0] : 1;
            for (std::size_t i = 0; i < x.size(); ++i) {
                EXPECT_EQ(x[i], 1 + stride * double(i)) << steps << " " << cap << " " << i;
                EXPECT_EQ(many.Y()[i], -x[i]);
            }
            EXPECT_GT(x.back() + stride, double(steps)) << "the run's end is left out";
        }
    }
}

TEST(PhasePoints, RowsMustBeInTheModel) {
    for (auto [i, j, k] : {std::tuple{0, 4, -1}, std::tuple{4, 0, -1}, std::tuple{0, 1, 4}}) {
        PhasePoints phase(i, j, k, 0, 10);
        try {
            phase.Start(Chaotic_Four());
            FAIL() << i << "," << j << "," << k << " accepted";
        } catch (const LvError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::SubscriptOutOfRange);
        }
    }
}

}  // namespace
