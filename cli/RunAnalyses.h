#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Equilibrium.h"
#include "LyapunovExponents.h"
#include "Model.h"
#include "ModelRun.h"

// What lv-run estimates besides the run's own exponent, as its options ask: the whole
// Lyapunov spectrum and the attractor's dimension, the largest exponent by a tangent vector,
// a transient left out of every average, the interior equilibrium. Each estimate runs beside
// the run as one of its analyses; the results come out as lines of text or JSON fields.
struct AnalysisOptions {
    bool spectrum = false;     // --spectrum
    bool tangent = false;      // --method tangent
    double discard = 0;        // --discard T
    bool equilibrium = false;  // --equilibrium
};

class RunAnalyses {
  public:
    // The equilibrium is the model's, as loaded: it does not depend on the populations.
    RunAnalyses(const AnalysisOptions& options, const Model& model);

    // The analyses into the run's watchers, and the discard into its settings.
    void Attach(RunWatchers& watchers, RunSettings& settings);

    // The largest exponent the run reports: the twin's, or the tangent vector's.
    double LE(const RunResult& run) const;

    // After the result line: "Spectrum = ...", "Dimension = ...", the equilibrium and its
    // eigenvalues, and a warning when populations were clamped.
    std::string Text(const RunResult& run) const;
    // The fields they add to the JSON object, each starting with ", ".
    std::string Json(const RunResult& run) const;

    // The results as values, for a caller that is no command line.
    std::optional<SpectrumResult> Spectrum() const;
    const std::optional<Equilibrium>& Fixed_Point() const { return equilibrium_; }

  private:
    AnalysisOptions options_;
    std::optional<LyapunovExponents> spectrum_, tangent_;
    std::optional<Equilibrium> equilibrium_;
};

// A number of the JSON the runners write: the shortest text that reads back to it, and null
// for what JSON has no word for (an infinity, a NaN).
std::string Json_Number(double v);
