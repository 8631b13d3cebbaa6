#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <cmath>
#include <complex>

#include "AnalysesSupport.h"
#include "Equilibrium.h"

// The interior equilibrium against the closed form of two species, and its eigenvalues
// against what makes them eigenvalues; singular and infeasible systems said to be so.

namespace {

// Two species: x* = ((1 - a01) / (1 - a01 a10), (1 - a10) / (1 - a01 a10)); the flow's
// Jacobian -diag(r x*) A has real eigenvalues (competition: a01 a10 >= 0) from its trace and
// determinant.
struct TwoSpecies {
    double r0, r1, a01, a10;
    Model model() const { return Make_Model({r0, r1}, {{1, a01}, {a10, 1}}, {0.5, 0.5}, 0.01); }
    double x0() const { return (1 - a01) / (1 - a01 * a10); }
    double x1() const { return (1 - a10) / (1 - a01 * a10); }
    std::pair<double, double> eigenvalues() const {
        const double trace = -(r0 * x0() + r1 * x1());
        const double det = r0 * r1 * x0() * x1() * (1 - a01 * a10);
        const double root = std::sqrt(trace * trace / 4 - det);
        return {trace / 2 + root, trace / 2 - root};
    }
};

TEST(Equilibrium, TwoSpeciesAgainstTheClosedForm) {
    // Weak competition: coexistence, a stable node; strong: a saddle between two exclusions.
    for (const auto& [system, kind] : {std::pair{TwoSpecies{1, 0.8, 0.5, 0.4}, "stable node"},
                                       std::pair{TwoSpecies{1, 0.6, 1.5, 2}, "saddle"}}) {
        const Equilibrium e = Interior_Equilibrium(system.model());
        EXPECT_FALSE(e.singular);
        ASSERT_EQ(e.x.size(), 2u);
        EXPECT_NEAR(e.x[0], system.x0(), 1e-15);
        EXPECT_NEAR(e.x[1], system.x1(), 1e-15);
        EXPECT_TRUE(e.feasible);
        ASSERT_EQ(e.eigenvalues.size(), 2u);
        EXPECT_NEAR(e.eigenvalues[0].first, system.eigenvalues().first, 1e-14);
        EXPECT_NEAR(e.eigenvalues[1].first, system.eigenvalues().second, 1e-14);
        EXPECT_EQ(e.eigenvalues[0].second, 0);
        EXPECT_EQ(e.eigenvalues[1].second, 0);
        EXPECT_EQ(e.kind, kind);
        EXPECT_EQ(e.stable, std::string(kind) == "stable node");
    }
}

// The chaotic system's equilibrium, of four species: each eigenvalue mu makes J - mu I
// singular, and together they have J's trace and determinant.
TEST(Equilibrium, EigenvaluesOfFourSpecies) {
    const Model chaos = Chaotic_Four();
    const Equilibrium e = Interior_Equilibrium(chaos);
    ASSERT_EQ(e.x.size(), 4u);
    EXPECT_TRUE(e.feasible);
    Eigen::MatrixXd a(4, 4), J(4, 4);
    for (int k = 0; k < 4; ++k)
        for (int j = 0; j < 4; ++j) a(k, j) = chaos.Species.rows[k].a[j];
    const Eigen::Vector4d x(e.x[0], e.x[1], e.x[2], e.x[3]);
    EXPECT_LT((a * x - Eigen::Vector4d::Ones()).cwiseAbs().maxCoeff(), 1e-15);
    for (int k = 0; k < 4; ++k)
        for (int j = 0; j < 4; ++j) J(k, j) = -chaos.Species.rows[k].r * x(k) * a(k, j);
    std::complex<double> sum = 0, product = 1;
    for (const auto& [re, im] : e.eigenvalues) {
        const std::complex<double> mu(re, im);
        sum += mu;
        product *= mu;
        const Eigen::MatrixXcd shifted =
            J.cast<std::complex<double>>() - mu * Eigen::MatrixXcd::Identity(4, 4);
        const Eigen::JacobiSVD<Eigen::MatrixXcd> svd(shifted);
        EXPECT_LT(svd.singularValues()(3), 1e-14) << re << " " << im;
    }
    EXPECT_NEAR(sum.real(), J.trace(), 1e-14);
    EXPECT_NEAR(sum.imag(), 0, 1e-14);
    EXPECT_NEAR(product.real(), J.determinant(), 1e-14);
    // Descending real parts; the unstable pair, with a stable plane: a saddle focus.
    for (std::size_t i = 1; i < e.eigenvalues.size(); ++i)
        EXPECT_GE(e.eigenvalues[i - 1].first, e.eigenvalues[i].first);
    EXPECT_GT(e.eigenvalues[0].first, 0);
    EXPECT_EQ(e.eigenvalues[0].second, -e.eigenvalues[1].second);
    EXPECT_EQ(e.kind, "saddle focus");
    EXPECT_FALSE(e.stable);
}

TEST(Equilibrium, SingularInfeasibleAndNonHyperbolic) {
    // Rows in proportion: no single equilibrium, and nothing that is not a number.
    for (const double tiny : {0.0, 1e-15}) {
        const Equilibrium e =
            Interior_Equilibrium(Make_Model({1, 1}, {{1, 2}, {2, 4 + tiny}}, {0.5, 0.5}, 0.01));
        EXPECT_TRUE(e.singular) << tiny;
        EXPECT_EQ(e.kind, "singular");
        EXPECT_TRUE(e.x.empty());
        EXPECT_TRUE(e.eigenvalues.empty());
        EXPECT_FALSE(e.stable);
    }
    // Species 0 competes so hard with 1 that their balance needs x0 < 0.
    const Equilibrium infeasible =
        Interior_Equilibrium(Make_Model({1, 1}, {{1, 2}, {0.3, 1}}, {0.5, 0.5}, 0.01));
    EXPECT_FALSE(infeasible.singular);
    EXPECT_FALSE(infeasible.feasible);
    EXPECT_NEAR(infeasible.x[0], -2.5, 1e-14);
    EXPECT_NEAR(infeasible.x[1], 1.75, 1e-14);
    // A species that does not grow: an eigenvalue of 0, which the linearisation cannot judge.
    const Equilibrium still =
        Interior_Equilibrium(Make_Model({1, 0}, {{1, 0.5}, {0.4, 1}}, {0.5, 0.5}, 0.01));
    EXPECT_EQ(still.kind, "non-hyperbolic");
    EXPECT_FALSE(still.stable);
}

}  // namespace
