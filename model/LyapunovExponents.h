#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "StepAnalysis.h"

struct SpectrumState;
struct SpectrumBuild;
struct TangentStep;

// The Lyapunov spectrum of the Euler map that a run makes: K tangent vectors carried with the
// map's exact Jacobian at each step's start populations,
//     J = I + dt * (diag(r(k) * (1 - S(k))) - diag(r(k) * x(k)) * A),
// and re-orthonormalised (modified Gram-Schmidt, a QR) every `interval` steps, the logarithms
// of the lengths they had grown to adding up to the exponents (Benettin et al. 1980). K = N
// gives the whole spectrum, K = 1 the largest exponent alone (the tangent method). The sums
// S(k) are taken in the run's order, so the clamp decision is the run's.
//
// The interval. Between two re-orthonormalisations the vectors drift towards the most
// expanding direction by the ratio of the growth of the first and the last; once that ratio
// nears 1 / (machine epsilon) the smaller exponents are lost. Over 10 steps of the model's
// step sizes (dt = 0.01, model time 0.1) it stays near 1: on the chaotic four-species system
// the image of the orthonormal vectors after 10 steps never had a condition number above
// 1.3 over 3,000 units of model time, the vectors were orthonormal to 7e-16 after every
// re-orthonormalisation, and the exponents agreed with those of a re-orthonormalisation after
// every step to 8e-15 (tests/model/AnalysesTest.cpp). Rates 100 times the model's would
// still leave a ratio near e^20, far from 1e16. Every 10 steps, a re-orthonormalisation and
// its K logarithms cost a tenth of what they would after every step.
//
// A clamp. The clamp's derivative is 0, so a clamped row of J is a row of zeros: det J = 0,
// and the step maps the tangent space into the N - c dimensions whose clamped rows are 0.
// Of the K vectors at most N - c then stay independent; the directions beyond are lost for
// the rest of the run, as the product of the Jacobians never regains the rank, and their
// exponents are -infinity (as is the mean of ln|det J|). A vector that collapses exactly
// onto those before it is lost too, and takes those after it along. The transient's losses
// do not count: the discard's end brings the lost directions back.
struct SpectrumSettings {
    int vectors = 0;  // K, 1 to 51; 0 for every species
    int interval = 10;
    // Steps whose end time t is at most this count in no average: the vectors still evolve,
    // and are re-orthonormalised, with the sums started afresh, at the first step after it.
    double discard = 0;
    std::string build = {};  // a build of Spectrum_Builds() by name; empty for the first
};

struct SpectrumResult {
    // Descending, per unit of model time: the sum of ln|R(i, i)| over the counted steps over
    // the model time those steps covered. Empty when no step was counted.
    std::vector<double> exponents;
    // With the whole spectrum (K = N), whose sum it checks: the mean of ln|det J| per unit of
    // model time over the same steps, taken from J itself by elimination. (Fewer vectors
    // leave it out, and with it most of the cost at many species.)
    std::optional<double> logDetRate;
    long long steps = 0;         // counted
    double time = 0;             // the model time the counted steps covered, the sum of their dt
    long long clampedSteps = 0;  // counted steps that clamped a population
};

class LyapunovExponents : public StepAnalysis {
  public:
    // Invalid settings (K outside 0 to 51, an interval below 1, an unknown build) are an
    // invalid-argument error.
    explicit LyapunovExponents(const SpectrumSettings& settings = {});
    ~LyapunovExponents() override;

    // K becomes the species count where that is smaller.
    void Start(const Model& model) override;
    void Step(const StepView& step) override;

    // As if the run ended here: the steps since the last re-orthonormalisation are taken in
    // on a copy of the vectors.
    SpectrumResult Result() const;
    // The vectors still carried (those not lost), each of N components: orthonormal right
    // after a re-orthonormalisation.
    std::vector<std::vector<double>> Vectors() const;
    const char* Build_Name() const;

  private:
    void renormalise();
    void startCounting();
    void addDeterminants();
    void emptyBatch();

    SpectrumSettings settings_;
    const SpectrumBuild* build_;
    TangentStep (*tangent_)(SpectrumState&, const double*, double, int, bool) = nullptr;
    std::unique_ptr<SpectrumState> state_;
    int count_ = 0;    // K
    int live_ = 0;     // vectors 0 to live_ - 1 are carried; the others are lost
    int pending_ = 0;  // steps since the last re-orthonormalisation
    bool counting_ = false;
    std::vector<double> logSums_;  // sum of ln|R(i, i)| by vector
    // |det J| of the counted steps: the product since the last re-orthonormalisation, and the
    // sum of the logarithms of the products before.
    double detProduct_ = 1, logDetSum_ = 0;
    long long steps_ = 0, clampedSteps_ = 0;
    double time_ = 0;
};
