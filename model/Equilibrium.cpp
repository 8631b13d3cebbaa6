#include "Equilibrium.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Within rounding of 0, against the scale of the spectrum.
constexpr double ZeroRealPart = 1e-12;

std::string kindOf(const std::vector<std::pair<double, double>>& eigenvalues) {
    double scale = 0;
    for (const auto& [re, im] : eigenvalues) scale = std::max(scale, std::hypot(re, im));
    bool negative = false, positive = false, zero = false, complex = false;
    for (const auto& [re, im] : eigenvalues) {
        if (std::fabs(re) <= ZeroRealPart * scale)
            zero = true;
        else if (re < 0)
            negative = true;
        else
            positive = true;
        complex = complex || im != 0;
    }
    if (zero) return "non-hyperbolic";
    const std::string shape = complex ? "focus" : "node";
    if (!positive) return "stable " + shape;
    if (!negative) return "unstable " + shape;
    return complex ? "saddle focus" : "saddle";
}

}  // namespace

Equilibrium Interior_Equilibrium(const Model& model) {
    const int n = model.Nanimals;
    Check_Index(n, MaxSpecies + 1, "equilibrium species count");
    Equilibrium result;
    Eigen::MatrixXd a(n, n);
    for (int k = 0; k < n; ++k)
        for (int j = 0; j < n; ++j) a(k, j) = model.Species.rows[k].a[j];
    if (n == 0) {
        result.singular = true;
        result.kind = "singular";
        return result;
    }
    const Eigen::PartialPivLU<Eigen::MatrixXd> lu(a);
    const double epsilon = std::numeric_limits<double>::epsilon();
    // An exact zero pivot first: the condition estimate would divide by it.
    const bool zeroPivot = (lu.matrixLU().diagonal().array() == 0).any();
    if (zeroPivot || !(lu.rcond() >= n * epsilon)) {
        result.singular = true;
        result.kind = "singular";
        return result;
    }
    const Eigen::VectorXd x = lu.solve(Eigen::VectorXd::Ones(n));
    result.x.assign(x.data(), x.data() + n);
    result.feasible = (x.array() > 0).all();

    Eigen::MatrixXd jacobian(n, n);
    for (int k = 0; k < n; ++k)
        for (int j = 0; j < n; ++j) jacobian(k, j) = -(model.Species.rows[k].r * x(k)) * a(k, j);
    const Eigen::EigenSolver<Eigen::MatrixXd> solver(jacobian, false);
    if (solver.info() != Eigen::Success) {
        result.kind = "undetermined";  // the QR iteration did not converge
        return result;
    }
    for (int i = 0; i < n; ++i)
        result.eigenvalues.emplace_back(solver.eigenvalues()(i).real(),
                                        solver.eigenvalues()(i).imag());
    std::sort(result.eigenvalues.begin(), result.eigenvalues.end(),
              [](const auto& p, const auto& q) { return p > q; });
    result.kind = kindOf(result.eigenvalues);
    result.stable = result.kind.rfind("stable", 0) == 0;
    return result;
}
