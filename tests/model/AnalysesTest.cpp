#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <numeric>
#include <random>

#include "AnalysesSupport.h"
#include "Equilibrium.h"
#include "KaplanYorke.h"
#include "LvError.h"
#include "LyapunovExponents.h"
#include "ModelRun.h"
#include "TangentSteps.h"

// The Lyapunov spectrum of the Euler map against what theory knows: the sum of the spectrum
// is the mean of ln|det J|, a stable equilibrium's exponents are ln|1 + dt mu| / dt of its
// eigenvalues mu, a limit cycle and a chaotic flow have an exponent of 0, and the largest
// exponent is the tangent method's. Determinants and Jacobians here are formed apart from the
// analysis, entry by entry, with Eigen.

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();

// The Euler map's Jacobian at the step's start populations, the clamped rows zero.
Eigen::MatrixXd jacobianOf(const StepView& step) {
    const int n = static_cast<int>(step.xOld.size());
    Eigen::MatrixXd J(n, n);
    for (int k = 0; k < n; ++k) {
        const SpeciesRec& row = step.model.Species.rows[k];
        double S = 0;
        for (int j = 0; j < n; ++j) S = row.a[j] * step.xOld[j] + S;
        const bool clamped = step.dt * ((row.r * step.xOld[k]) * (1 - S)) + step.xOld[k] >= 1;
        for (int j = 0; j < n; ++j) {
            const double flow = (j == k ? row.r * (1 - S) : 0) - row.r * step.xOld[k] * row.a[j];
            J(k, j) = clamped ? 0 : (j == k ? 1 : 0) + step.dt * flow;
        }
    }
    return J;
}

// A competitive system of n species with unit self-competition and weak random competition
// between species, which settles on an interior equilibrium.
Model randomCompetition(int n, unsigned seed) {
    std::mt19937_64 engine(seed);
    std::uniform_real_distribution<double> uniform(0, 1);
    std::vector<double> r(n), x(n);
    std::vector<std::vector<double>> a(n, std::vector<double>(n));
    for (int k = 0; k < n; ++k) {
        for (int j = 0; j < n; ++j) a[k][j] = k == j ? 1 : uniform(engine) * 2.0 / n;
        r[k] = 0.5 + uniform(engine);
        x[k] = 0.05 + 0.4 * uniform(engine);
    }
    return Make_Model(r, a, x, 0.01);
}

// The chaotic system with every competition between species scaled by `share`.
Model weakenedChaos(double share) {
    Model model = Chaotic_Four();
    for (int k = 0; k < 4; ++k)
        for (int j = 0; j < 4; ++j)
            if (j != k) model.Species.rows[k].a[j] *= share;
    return model;
}

// ln|1 + dt mu| / dt of each eigenvalue, descending.
std::vector<double> eulerExponents(const std::vector<std::complex<double>>& mu, double dt) {
    std::vector<double> exponents;
    for (const auto& m : mu) exponents.push_back(std::log(std::abs(1.0 + dt * m)) / dt);
    std::sort(exponents.rbegin(), exponents.rend());
    return exponents;
}

double sum(const std::vector<double>& v) {
    return std::accumulate(v.begin(), v.end(), 0.0);
}

bool anyNaN(const SpectrumResult& result) {
    return std::isnan(result.logDetRate.value_or(0)) ||
           std::any_of(result.exponents.begin(), result.exponents.end(),
                       [](double e) { return std::isnan(e); });
}

TEST(Spectrum, SumOfTheSpectrumIsTheMeanLogDeterminant) {
    for (const Model& model :
         {Chaotic_Four(), randomCompetition(10, 5), randomCompetition(51, 9)}) {
        const double discard = 5;
        LyapunovExponents spectrum({.vectors = 0, .interval = 10, .discard = discard});
        double logDet = 0, time = 0;
        const long long steps = model.Nanimals > 10 ? 2000 : 20000;
        Plain_Euler_Run(model, steps, {&spectrum}, [&](const StepView& step) {
            if (step.t <= discard) return;
            logDet += std::log(std::fabs(jacobianOf(step).partialPivLu().determinant()));
            time += step.dt;
        });
        const SpectrumResult result = spectrum.Result();
        ASSERT_EQ(result.exponents.size(), static_cast<std::size_t>(model.Nanimals));
        EXPECT_EQ(result.steps, steps - 500);
        EXPECT_EQ(result.time, time);
        EXPECT_NEAR(sum(result.exponents), logDet / time, 1e-11 * std::fabs(logDet / time));
        EXPECT_NEAR(*result.logDetRate, logDet / time, 1e-12 * std::fabs(logDet / time));
        EXPECT_TRUE(std::is_sorted(result.exponents.rbegin(), result.exponents.rend()));
    }
}

// Near a stable equilibrium the Jacobian is that of the fixed point, whose Euler multipliers
// are 1 + dt mu; after the transient the exponents are theirs, in order.
TEST(Spectrum, StableEquilibriumGivesTheEulerMultipliers) {
    // Two species, in closed form: x* = ((1 - a01) / (1 - a01 a10), (1 - a10) / (...)), and
    // the flow's Jacobian -diag(r x*) A has trace and determinant
    // -(r0 x0 + r1 x1) and r0 r1 x0 x1 (1 - a01 a10).
    const double r0 = 1, r1 = 0.8, a01 = 0.5, a10 = 0.4, dt = 0.01;
    const double x0 = (1 - a01) / (1 - a01 * a10), x1 = (1 - a10) / (1 - a01 * a10);
    const double trace = -(r0 * x0 + r1 * x1), det = r0 * r1 * x0 * x1 * (1 - a01 * a10);
    const double root = std::sqrt(trace * trace / 4 - det);
    const std::vector<double> closedForm = eulerExponents({trace / 2 + root, trace / 2 - root}, dt);
    const Model two = Make_Model({r0, r1}, {{1, a01}, {a10, 1}}, {0.1, 0.2}, dt);
    const Equilibrium point = Interior_Equilibrium(two);
    ASSERT_EQ(point.kind, "stable node");

    // Four species, a focus: the chaotic system with its competition at 60 %.
    const Model four = weakenedChaos(0.6);
    const Equilibrium focus = Interior_Equilibrium(four);
    ASSERT_EQ(focus.kind, "stable focus");

    for (const auto& [model, expectedFrom] : {std::pair{two, point}, std::pair{four, focus}}) {
        std::vector<std::complex<double>> mu;
        for (const auto& [re, im] : expectedFrom.eigenvalues) mu.emplace_back(re, im);
        const std::vector<double> expected = eulerExponents(mu, dt);
        LyapunovExponents spectrum({.vectors = 0, .interval = 10, .discard = 300});
        Plain_Euler_Run(model, 150000, {&spectrum});
        const std::vector<double> exponents = spectrum.Result().exponents;
        ASSERT_EQ(exponents.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i)
            EXPECT_NEAR(exponents[i], expected[i], 2e-3) << "exponent " << i;
        if (model.Nanimals == 2) {
            for (std::size_t i = 0; i < 2; ++i) EXPECT_NEAR(expected[i], closedForm[i], 1e-12);
        }
    }
}

// At 85 % competition the chaotic system's interior equilibrium has lost its stability to a
// complex pair (a Hopf bifurcation between 80 and 85 %): the trajectories wind onto the small
// limit cycle born there. Along a cycle a perturbation neither grows nor decays, so one
// exponent is 0; the others, across the cycle, are negative.
TEST(Spectrum, LimitCycleHasAZeroExponent) {
    const Model cycle = weakenedChaos(0.85);
    const Equilibrium point = Interior_Equilibrium(cycle);
    ASSERT_EQ(point.kind, "saddle focus");
    EXPECT_GT(point.eigenvalues[0].first, 0);
    EXPECT_NE(point.eigenvalues[0].second, 0);

    LyapunovExponents spectrum({.vectors = 0, .interval = 10, .discard = 1000});
    Plain_Euler_Run(cycle, 600000, {&spectrum});
    const std::vector<double> exponents = spectrum.Result().exponents;
    ASSERT_EQ(exponents.size(), 4u);
    EXPECT_NEAR(exponents[0], 0, 1e-3);
    EXPECT_LT(exponents[1], -0.01);
}

// The chaotic system of Vano et al. (2006): a positive exponent, one of 0 along the flow,
// and a largest exponent of about 0.0203 for the flow (the Euler map at dt = 0.01 differs by
// O(dt)). Every build of the arithmetic gives the same bits, and the largest exponent is the
// tangent method's (one vector), to the bit: modified Gram-Schmidt leaves the first vector's
// arithmetic untouched by the others.
TEST(Spectrum, ChaoticExampleAndTheTangentMethod) {
    std::vector<std::unique_ptr<LyapunovExponents>> spectra;
    for (const SpectrumBuild& build : Spectrum_Builds())
        spectra.push_back(std::make_unique<LyapunovExponents>(
            SpectrumSettings{.vectors = 0, .interval = 10, .discard = 100, .build = build.name}));
    LyapunovExponents tangent({.vectors = 1, .interval = 10, .discard = 100});
    std::vector<StepAnalysis*> analyses{&tangent};
    for (const auto& spectrum : spectra) analyses.push_back(spectrum.get());
    Plain_Euler_Run(Chaotic_Four(), 1000000, analyses);

    const SpectrumResult result = spectra[0]->Result();
    const std::vector<double>& exponents = result.exponents;
    ASSERT_EQ(exponents.size(), 4u);
    EXPECT_GT(exponents[0], 0);
    EXPECT_NEAR(exponents[0], 0.0203, 1e-3);
    EXPECT_NEAR(exponents[1], 0, 1e-4);
    EXPECT_LT(exponents[2], -0.1);
    EXPECT_EQ(result.clampedSteps, 0);
    // A strange attractor of dimension between 2 and 3: 2 + (l1 + l2) / |l3|.
    EXPECT_NEAR(Kaplan_Yorke_Dimension(exponents),
                2 + (exponents[0] + exponents[1]) / -exponents[2], 1e-15);
    EXPECT_GT(Kaplan_Yorke_Dimension(exponents), 2);
    EXPECT_LT(Kaplan_Yorke_Dimension(exponents), 3);

    const std::vector<double> largest = tangent.Result().exponents;
    ASSERT_EQ(largest.size(), 1u);
    EXPECT_FALSE(tangent.Result().logDetRate.has_value());  // no sum of a spectrum to check
    EXPECT_EQ(largest[0], exponents[0]);
    for (std::size_t b = 1; b < spectra.size(); ++b) {
        EXPECT_EQ(spectra[b]->Result().exponents, exponents) << spectra[b]->Build_Name();
        EXPECT_EQ(spectra[b]->Result().logDetRate, result.logDetRate) << spectra[b]->Build_Name();
    }
}

// Fed by the model run itself, beside its twin trajectory: over a long run with the same
// transient left out, the twin's exponent at dt = 0.01 agrees with the spectrum's largest
// (the twin's fixed separation of 1e-12 is well above the rounding at this step), and the
// spectrum sums to the mean logarithm of |det J| as before.
TEST(Spectrum, TheRunsTwinAgreesWithTheLargestExponent) {
    Model chaos = Chaotic_Four();
    chaos.dt = 0.01;
    chaos.TotalTime = 30000;
    LyapunovExponents spectrum({.vectors = 0, .interval = 10, .discard = 100});
    RunControl control;
    const RunResult run = Run_Model(chaos, {0, {}, 100.0}, control, {.analyses = {&spectrum}});
    const SpectrumResult result = spectrum.Result();
    ASSERT_EQ(result.exponents.size(), 4u);
    EXPECT_NEAR(run.LE, result.exponents[0], 5e-3 * result.exponents[0]);
    EXPECT_NEAR(result.exponents[1], 0, 2e-4);
    double sum = 0;
    for (double e : result.exponents) sum += e;
    ASSERT_TRUE(result.logDetRate.has_value());
    EXPECT_NEAR(sum, *result.logDetRate, 1e-12);
    // Left out: the steps whose running sum of dt ends at or before 100.
    long long within = 0;
    for (double t = 0.01; t <= 100; t = 0.01 + t) ++within;
    EXPECT_EQ(result.steps, run.steps - within);
}

// Ten steps between re-orthonormalisations lose nothing to rounding: the image of the
// orthonormal vectors after ten steps stays well conditioned, the vectors come out
// orthonormal, and the exponents are those of a re-orthonormalisation after every step.
TEST(Spectrum, TenStepsBetweenReorthonormalisationsLoseNothing) {
    const Model chaos = Chaotic_Four();
    LyapunovExponents everyStep({.vectors = 0, .interval = 1, .discard = 0}),
        everyTenth({.vectors = 0, .interval = 10, .discard = 0});
    double worstCondition = 0, worstOrthogonality = 0;
    Eigen::MatrixXd image = Eigen::MatrixXd::Identity(4, 4), before = image;
    Plain_Euler_Run(chaos, 300000, {&everyStep, &everyTenth}, [&](const StepView& step) {
        image = jacobianOf(step) * image;
        if (step.step % 10 != 0) return;
        Eigen::MatrixXd q(4, 4);
        const auto vectors = everyTenth.Vectors();
        for (int i = 0; i < 4; ++i)
            for (int k = 0; k < 4; ++k) q(k, i) = vectors[i][k];
        const Eigen::MatrixXd gram = q.transpose() * q - Eigen::MatrixXd::Identity(4, 4);
        worstOrthogonality = std::max(worstOrthogonality, gram.cwiseAbs().maxCoeff());
        // The image of the vectors of ten steps ago is what the last re-orthonormalisation
        // worked on: the product of the Jacobians times the vectors before it.
        const Eigen::JacobiSVD<Eigen::MatrixXd> svd(image * before);
        const auto sv = svd.singularValues();
        worstCondition = std::max(worstCondition, sv(0) / sv(3));
        before = q;
        image = Eigen::MatrixXd::Identity(4, 4);
    });
    const std::vector<double> a = everyStep.Result().exponents, b = everyTenth.Result().exponents;
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(a[i], b[i], 1e-13) << "exponent " << i;
    EXPECT_LT(worstOrthogonality, 4e-15);
    EXPECT_LT(worstCondition, 1.5);
}

TEST(Spectrum, DiscardLeavesOutTheTransientSteps) {
    const Model chaos = Chaotic_Four();
    LyapunovExponents all({.vectors = 0, .interval = 10, .discard = 0}),
        later({.interval = 10, .discard = 2.5}), none({.interval = 10, .discard = 1e9});
    long long afterDiscard = 0;
    double timeAfter = 0;
    Plain_Euler_Run(chaos, 1000, {&all, &later, &none}, [&](const StepView& step) {
        if (step.t > 2.5) {
            ++afterDiscard;
            timeAfter += step.dt;
        }
    });
    EXPECT_EQ(all.Result().steps, 1000);
    EXPECT_EQ(later.Result().steps, afterDiscard);
    EXPECT_EQ(later.Result().time, timeAfter);
    EXPECT_NE(later.Result().exponents, all.Result().exponents);
    // Nothing counted: no exponents, and nothing that is not a number.
    const SpectrumResult nothing = none.Result();
    EXPECT_EQ(nothing.steps, 0);
    EXPECT_TRUE(nothing.exponents.empty());
    EXPECT_FALSE(nothing.logDetRate.has_value());
}

// Two species with a fast first one (r dt = 1.2) start with it at 0.99: its first step
// overshoots 1 and is clamped, then both settle at (2/3, 2/3).
Model clampedStart() {
    return Make_Model({12, 1}, {{1, 0.5}, {0.5, 1}}, {0.99, 0.001}, 0.1);
}

TEST(Spectrum, ClampedStepsLoseDirections) {
    LyapunovExponents full({.vectors = 0, .interval = 10, .discard = 0}), one({.vectors = 1}),
        afterClamps({.interval = 10, .discard = 20});
    long long clamped = 0, clampedAfter = 0;
    Plain_Euler_Run(clampedStart(), 2000, {&full, &one, &afterClamps}, [&](const StepView& step) {
        for (std::size_t k = 0; k < step.xNew.size(); ++k)
            if (step.xNew[k] == 0.9999999) {
                ++clamped;
                if (step.t > 20) ++clampedAfter;
                break;
            }
    });
    ASSERT_GT(clamped, 0);
    ASSERT_EQ(clampedAfter, 0);
    const SpectrumResult result = full.Result();
    EXPECT_EQ(result.clampedSteps, clamped);
    EXPECT_FALSE(anyNaN(result));
    ASSERT_EQ(result.exponents.size(), 2u);
    EXPECT_TRUE(std::isfinite(result.exponents[0]));
    EXPECT_EQ(result.exponents[1], -Inf);
    EXPECT_EQ(*result.logDetRate, -Inf);
    // One vector is not in the null space of the clamped Jacobian; it keeps the largest.
    EXPECT_EQ(one.Result().exponents, std::vector<double>{result.exponents[0]});

    // With the clamps in the transient, the discard's end brings the lost direction back,
    // and the exponents are those of the stable equilibrium.
    const SpectrumResult later = afterClamps.Result();
    EXPECT_EQ(later.clampedSteps, 0);
    const Equilibrium point = Interior_Equilibrium(clampedStart());
    ASSERT_EQ(point.kind, "stable node");
    std::vector<std::complex<double>> mu;
    for (const auto& [re, im] : point.eigenvalues) mu.emplace_back(re, im);
    const std::vector<double> expected = eulerExponents(mu, 0.1);
    for (int i = 0; i < 2; ++i) EXPECT_NEAR(later.exponents[i], expected[i], 1e-2);
    EXPECT_NEAR(sum(later.exponents), *later.logDetRate, 1e-11 * std::fabs(*later.logDetRate));
}

TEST(Spectrum, RefusesWhatItCannotDo) {
    const auto kindOf = [](auto make) {
        try {
            make();
        } catch (const LvError& e) {
            return e.kind();
        }
        return ErrorKind::Overflow;
    };
    EXPECT_EQ(kindOf([] { LyapunovExponents({.vectors = -1}); }), ErrorKind::InvalidCall);
    EXPECT_EQ(kindOf([] { LyapunovExponents({.vectors = 52}); }), ErrorKind::InvalidCall);
    EXPECT_EQ(kindOf([] { LyapunovExponents({.vectors = 0, .interval = 0}); }),
              ErrorKind::InvalidCall);
    EXPECT_EQ(kindOf([] {
                  LyapunovExponents(
                      {.vectors = 0, .interval = 10, .discard = 0, .build = "no-such-build"});
              }),
              ErrorKind::InvalidCall);
    // More vectors than species: one a species.
    LyapunovExponents many({.vectors = 51});
    Plain_Euler_Run(Chaotic_Four(), 100, {&many});
    EXPECT_EQ(many.Result().exponents.size(), 4u);
    // A step of another count than the model it started with.
    EXPECT_EQ(kindOf([&] {
                  const std::vector<double> three(3, 0.5);
                  const Model model = Chaotic_Four();
                  many.Step({1, 0.01, 0.01, three, three, model});
              }),
              ErrorKind::InvalidCall);
}

}  // namespace
