#include "RunAnalyses.h"

#include <cmath>
#include <limits>

#include "Convert.h"
#include "KaplanYorke.h"

namespace {

std::string jsonList(const std::vector<double>& values) {
    std::string s = "[";
    for (std::size_t i = 0; i < values.size(); ++i)
        s += (i > 0 ? ", " : "") + Json_Number(values[i]);
    return s + "]";
}

// Six decimals as the exponent's line has them; a direction lost to a clamp is -inf.
std::string fixed6(double v) {
    if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
    if (std::isnan(v)) return "nan";
    return Format_Fixed6(v);
}

std::string fixedList(const std::vector<double>& values) {
    std::string s;
    for (std::size_t i = 0; i < values.size(); ++i) s += (i > 0 ? ", " : "") + fixed6(values[i]);
    return s;
}

}  // namespace

std::string Json_Number(double v) {
    return std::isfinite(v) ? Format_Shortest(v) : "null";
}

RunAnalyses::RunAnalyses(const AnalysisOptions& options, const Model& model) : options_(options) {
    if (options.spectrum) spectrum_.emplace(SpectrumSettings{0, 10, options.discard});
    if (options.tangent) tangent_.emplace(SpectrumSettings{1, 10, options.discard});
    if (options.equilibrium) equilibrium_ = Interior_Equilibrium(model);
}

void RunAnalyses::Attach(RunWatchers& watchers, RunSettings& settings) {
    settings.discard = options_.discard;
    if (spectrum_) watchers.analyses.push_back(&*spectrum_);
    if (tangent_) watchers.analyses.push_back(&*tangent_);
}

double RunAnalyses::LE(const RunResult& run) const {
    if (!tangent_) return run.LE;
    const SpectrumResult r = tangent_->Result();
    return r.exponents.empty() ? std::numeric_limits<double>::quiet_NaN() : r.exponents[0];
}

std::optional<SpectrumResult> RunAnalyses::Spectrum() const {
    if (!spectrum_) return std::nullopt;
    return spectrum_->Result();
}

std::string RunAnalyses::Text(const RunResult& run) const {
    std::string s;
    if (spectrum_) {
        const SpectrumResult r = spectrum_->Result();
        s += "Spectrum = " + fixedList(r.exponents) + "\n";
        s += "Dimension = " + fixed6(Kaplan_Yorke_Dimension(r.exponents)) + "\n";
    }
    if (equilibrium_) {
        const Equilibrium& e = *equilibrium_;
        if (e.singular) {
            s += "Equilibrium = none: the interaction matrix is singular\n";
        } else {
            s += "Equilibrium = " + fixedList(e.x) +
                 (e.feasible ? " (feasible)" : " (not feasible)") + "\n";
            std::string eig;
            for (const auto& [re, im] : e.eigenvalues) {
                eig += (eig.empty() ? "" : ", ") + fixed6(re);
                if (im != 0) eig += (im > 0 ? " + " : " - ") + fixed6(std::fabs(im)) + "i";
            }
            s += "Eigenvalues = " + eig + "\n";
            s += "Kind = " + e.kind + "\n";
        }
    }
    if (run.clamps > 0)
        s += "Clamped " + std::to_string(run.clamps) +
             " times: populations reached 1 and were set back to 0.9999999, so the exponents "
             "of this run describe the clamp as much as the model\n";
    return s;
}

std::string RunAnalyses::Json(const RunResult& run) const {
    std::string s = ", \"clamps\": " + std::to_string(run.clamps);
    if (options_.tangent) s += ", \"method\": \"tangent\"";
    if (options_.discard > 0) s += ", \"discard\": " + Json_Number(options_.discard);
    if (spectrum_) {
        const SpectrumResult r = spectrum_->Result();
        s += ", \"spectrum\": " + jsonList(r.exponents) +
             ", \"dimension\": " + Json_Number(Kaplan_Yorke_Dimension(r.exponents));
    }
    if (equilibrium_) {
        const Equilibrium& e = *equilibrium_;
        std::string eig = "[";
        for (std::size_t i = 0; i < e.eigenvalues.size(); ++i)
            eig += std::string(i > 0 ? ", " : "") + "[" + Json_Number(e.eigenvalues[i].first) +
                   ", " + Json_Number(e.eigenvalues[i].second) + "]";
        eig += "]";
        s += ", \"equilibrium\": {\"singular\": " + std::string(e.singular ? "true" : "false") +
             ", \"x\": " + jsonList(e.x) + ", \"feasible\": " + (e.feasible ? "true" : "false") +
             ", \"eigenvalues\": " + eig + ", \"stable\": " + (e.stable ? "true" : "false") +
             ", \"kind\": \"" + e.kind + "\"}";
    }
    return s;
}
