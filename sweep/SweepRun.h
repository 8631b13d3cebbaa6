#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "LvError.h"
#include "Model.h"
#include "RunControl.h"
#include "SweepParameter.h"
#include "SweepPoints.h"

// What every point of a sweep starts from: the model as the parameter file gave it, with the
// run time that --time or --continuous gave it, and how lv-run would run it.
// What every point estimates besides the twin's exponent, as lv-run's options of the same
// names ask.
struct SweepAnalyses {
    bool spectrum = false;      // --spectrum: the exponents and the Kaplan-Yorke dimension
    bool tangent = false;       // --method tangent: LE from one tangent vector
    double discard = 0;         // --discard T
    std::optional<int> maxima;  // --maxima K: the local maxima of x(K) after the discard
    bool Any() const { return spectrum || tangent || discard > 0 || maxima; }
};

// The most maxima a point keeps: an orbit diagram needs far fewer.
inline constexpr std::size_t MaximaPerPoint = 10000;

struct SweepBase {
    Model model;
    std::optional<long long> steps;  // --steps
    int16_t windowTime = 210;        // --window-time
    float chartWidth = 700;          // lv-run's default chart
    float chartHeight = 250;
    SweepAnalyses analyses;
};

// A point made ready to run: the base model with the point's values and random populations,
// and its chart's plot interval.
struct LoadedPoint {
    // Copied, not first set to zero as an aggregate would be: a point of a short run would
    // pay for clearing all 51 rows.
    explicit LoadedPoint(const Model& from) : model(from) {}
    Model model;
    int16_t plotInterval = 0;
};

// A point's outcome: what `lv-run --json` prints for it, or the failure that ended it.
struct PointResult {
    SweepPoint point;
    std::string status;   // "ok", or the error kind as lv-run names it
    std::string message;  // the error's full text; empty when ok
    double LE = 0;
    long long steps = 0;  // steps made; for a run that failed, the step it failed in (0: none)
    double t = 0;
    long long clamps = 0;          // populations set back to 0.9999999
    std::vector<double> x;         // rows 0 to N - 1
    std::vector<double> spectrum;  // with --spectrum: the exponents, descending
    double dimension = 0;          // and the Kaplan-Yorke dimension
    std::vector<double> maxima;    // with --maxima K: the local maxima of x(K)
    bool Ok() const { return message.empty(); }
};

// Runs points as lv-run runs a file that holds the point's values: the same model run, the
// same chart arithmetic, the same failures.
class SweepRun {
  public:
    // `parameters` are the sweep's axes' parameters, in the order of a point's values.
    // `stop`, when given, ends every point's run after its current step once it is set
    // (the sweep is interrupted): a point so ended has no result, and the caller delivers
    // none of them.
    SweepRun(SweepBase base, std::vector<SweepParameter> parameters, RunControl* stop = nullptr);

    // On the main thread, before any worker starts: the kernel chooses its step routine for
    // the species count the first time it is asked, and that choice is not made to be raced.
    void Prepare() const;

    // Whether a point varies dt or TotalTime. When none does, a run-length or chart-interval
    // failure is the same for every point, and the caller refuses the sweep instead.
    bool Settings_Vary() const { return settingsVary_; }

    // Whether a point varies an entry of the interaction matrix: otherwise every point runs
    // with the file's matrix.
    bool Matrix_Varies() const { return matrixVaries_; }

    const SweepBase& Base() const { return base_; }

    // Whether the sweep has been asked to stop.
    bool Stopped() const { return stop_ && stop_->Stop_Requested(); }

    // One point, on the calling thread. Points share nothing: any thread may run any point.
    PointResult Run(const SweepPoint& point) const;

    // What Run does before the model run: the point's model and plot interval into `into`
    // (overwritten whole), or the LvError that Run reports for it. A caller that loads many
    // points keeps one LoadedPoint on the heap for them: 51 rows on the stack of a thread
    // that was just started are fresh pages, faulted in on every sweep.
    void Load(const SweepPoint& point, LoadedPoint& into) const;

    // The result of a point that failed with e.
    static PointResult Failure(const SweepPoint& point, const LvError& e);

  private:
    // Load's work on a copy of the base model.
    void setPoint(const SweepPoint& point, LoadedPoint& p) const;

    SweepBase base_;
    std::vector<SweepParameter> parameters_;
    bool settingsVary_ = false;
    bool matrixVaries_ = false;
    RunControl* stop_;
};
