#include "PhasePoints.h"

#include <string>

#include "LvError.h"

PhasePoints::PhasePoints(int I, int J, int K, double discard, std::size_t cap)
    : I_(I), J_(J), K_(K), discard_(discard), cap_(cap < 2 ? 2 : cap) {}

void PhasePoints::Start(const Model& model) {
    for (int index : {I_, J_, K_})
        if (index >= model.Nanimals)
            throw LvError(ErrorKind::SubscriptOutOfRange, "phase x(" + std::to_string(index) +
                                                              "): the model's rows are 0 to " +
                                                              std::to_string(model.Nanimals - 1));
    seen_ = 0;
    stride_ = 1;
    x_.clear();
    y_.clear();
    z_.clear();
}

void PhasePoints::Step(const StepView& step) {
    if (step.t <= discard_) return;
    if (seen_++ % stride_ != 0) return;
    x_.push_back(step.xNew[std::size_t(I_)]);
    y_.push_back(step.xNew[std::size_t(J_)]);
    if (K_ >= 0) z_.push_back(step.xNew[std::size_t(K_)]);
    if (x_.size() <= cap_) return;
    // Every other point goes, the first and the one just kept among those that stay, so the
    // points still reach the run's end; from here on every other step is kept.
    auto halve = [](std::vector<double>& v) {
        for (std::size_t i = 0; 2 * i < v.size(); ++i) v[i] = v[2 * i];
        v.resize((v.size() + 1) / 2);
    };
    halve(x_);
    halve(y_);
    if (K_ >= 0) halve(z_);
    stride_ *= 2;
}
