#include "LyapunovExponents.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "LvError.h"
#include "TangentSteps.h"

namespace {

const SpectrumBuild* buildNamed(const std::string& name) {
    const std::vector<SpectrumBuild>& builds = Spectrum_Builds();
    if (name.empty()) return &builds.front();
    std::string names;
    for (const SpectrumBuild& build : builds) {
        if (name == build.name) return &build;
        names += (names.empty() ? "" : ", ") + std::string(build.name);
    }
    throw LvError(ErrorKind::InvalidCall, "spectrum build " + Quote_For_Message(name) +
                                              ": none of that name on this processor, which "
                                              "has " +
                                              names);
}

// The running product of |det J| is taken to its logarithm before it could leave the range
// of a double: a step's determinant is a product of pivots near 1 at the model's step sizes.
constexpr double SmallestProduct = 0x1p-600, LargestProduct = 0x1p600;

}  // namespace

LyapunovExponents::LyapunovExponents(const SpectrumSettings& settings)
    : settings_(settings),
      build_(buildNamed(settings.build)),
      state_(std::make_unique<SpectrumState>()) {
    if (settings.vectors < 0 || settings.vectors > MaxSpecies)
        throw LvError(ErrorKind::InvalidCall, "spectrum of " + std::to_string(settings.vectors) +
                                                  " vectors: 1 to 51, or 0 for every species");
    if (settings.interval < 1)
        throw LvError(ErrorKind::InvalidCall, "re-orthonormalisation every " +
                                                  std::to_string(settings.interval) +
                                                  " steps: at least every step");
}

LyapunovExponents::~LyapunovExponents() = default;

void LyapunovExponents::Start(const Model& model) {
    const int n = model.Nanimals;
    Check_Index(n, MaxSpecies + 1, "spectrum species count");
    SpectrumState& s = *state_;
    s = SpectrumState{};
    s.n = n;
    for (int k = 0; k < n; ++k) {
        s.r[k] = model.Species.rows[k].r;
        for (int j = 0; j < n; ++j) s.aT[j][k] = model.Species.rows[k].a[j];
    }
    tangent_ = build_->tangent(n);
    count_ = settings_.vectors == 0 ? n : std::min(settings_.vectors, n);
    for (int i = 0; i < count_; ++i) s.v[i][i] = 1;
    live_ = count_;
    pending_ = 0;
    counting_ = false;
    logSums_.assign(count_, 0.0);
    detProduct_ = 1;
    logDetSum_ = 0;
    steps_ = clampedSteps_ = 0;
    time_ = 0;
}

void LyapunovExponents::Step(const StepView& step) {
    SpectrumState& s = *state_;
    if (static_cast<long>(step.xOld.size()) != s.n)
        throw LvError(ErrorKind::InvalidCall, "spectrum started with " + std::to_string(s.n) +
                                                  " species fed a step of " +
                                                  std::to_string(step.xOld.size()));
    if (!counting_ && step.t > settings_.discard) startCounting();
    const bool determinant = counting_ && count_ == s.n;
    const TangentStep tangent = tangent_(s, step.xOld.data(), step.dt, live_, determinant);
    if (tangent.clampedRows > 0) live_ = std::min(live_, s.n - tangent.clampedRows);
    if (counting_) {
        ++steps_;
        time_ += step.dt;
        if (tangent.clampedRows > 0) ++clampedSteps_;
        detProduct_ *= tangent.absDet;
        if (s.batched == BatchSteps) emptyBatch();
        if (!(detProduct_ >= SmallestProduct && detProduct_ <= LargestProduct)) addDeterminants();
    }
    if (++pending_ >= settings_.interval) renormalise();
}

void LyapunovExponents::emptyBatch() {
    double absDets[BatchSteps];
    build_->determinants(*state_, absDets);
    for (int i = 0; i < state_->batched; ++i) detProduct_ *= absDets[i];
    state_->batched = 0;
}

void LyapunovExponents::addDeterminants() {
    emptyBatch();
    logDetSum_ += std::log(detProduct_);
    detProduct_ = 1;
}

void LyapunovExponents::renormalise() {
    double norms[MaxSpecies];
    const int made = build_->orthonormalise(*state_, live_, norms);
    if (counting_) {
        for (int i = 0; i < made; ++i) logSums_[i] += std::log(norms[i]);
        addDeterminants();
    }
    live_ = made;
    pending_ = 0;
}

// The transient is over: the vectors are made orthonormal again, those lost in it are
// brought back as the unit vectors least covered by the others, made orthogonal to them, and
// every sum starts afresh.
void LyapunovExponents::startCounting() {
    renormalise();
    SpectrumState& s = *state_;
    for (int i = live_; i < count_; ++i) {
        int best = 0;
        double leastCovered = std::numeric_limits<double>::infinity();
        for (int m = 0; m < s.n; ++m) {
            double covered = 0;
            for (int l = 0; l < i; ++l) covered += s.v[l][m] * s.v[l][m];
            if (covered < leastCovered) {
                leastCovered = covered;
                best = m;
            }
        }
        std::fill(std::begin(s.v[i]), std::end(s.v[i]), 0.0);
        for (int l = 0; l < i; ++l)
            for (int k = 0; k < s.n; ++k) s.v[i][k] -= s.v[l][best] * s.v[l][k];
        s.v[i][best] += 1;
        double norm = 0;
        for (int k = 0; k < s.n; ++k) norm += s.v[i][k] * s.v[i][k];
        norm = std::sqrt(norm);
        for (int k = 0; k < s.n; ++k) s.v[i][k] /= norm;
    }
    live_ = count_;
    counting_ = true;
    std::fill(logSums_.begin(), logSums_.end(), 0.0);
    detProduct_ = 1;
    logDetSum_ = 0;
}

SpectrumResult LyapunovExponents::Result() const {
    SpectrumResult result;
    result.steps = steps_;
    result.time = time_;
    result.clampedSteps = clampedSteps_;
    if (steps_ == 0) return result;
    std::vector<double> sums = logSums_;
    int live = live_;
    if (pending_ > 0) {
        auto copy = std::make_unique<SpectrumState>(*state_);
        double norms[MaxSpecies];
        live = build_->orthonormalise(*copy, live, norms);
        for (int i = 0; i < live; ++i) sums[i] += std::log(norms[i]);
    }
    for (int i = 0; i < count_; ++i)
        result.exponents.push_back(i < live ? sums[i] / time_
                                            : -std::numeric_limits<double>::infinity());
    std::sort(result.exponents.begin(), result.exponents.end(), std::greater<double>());
    if (count_ == state_->n) {
        double detProduct = detProduct_, absDets[BatchSteps];
        build_->determinants(*state_, absDets);
        for (int i = 0; i < state_->batched; ++i) detProduct *= absDets[i];
        result.logDetRate = (logDetSum_ + std::log(detProduct)) / time_;
    }
    return result;
}

std::vector<std::vector<double>> LyapunovExponents::Vectors() const {
    std::vector<std::vector<double>> vectors;
    for (int i = 0; i < live_; ++i) vectors.emplace_back(state_->v[i], state_->v[i] + state_->n);
    return vectors;
}

const char* LyapunovExponents::Build_Name() const {
    return build_->name;
}
