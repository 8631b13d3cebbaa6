#include "RunBinding.h"

#include <pybind11/numpy.h>

#include <chrono>
#include <complex>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "Arguments.h"
#include "ChartRows.h"
#include "Errors.h"
#include "Initialisers.h"
#include "Interrupts.h"
#include "KaplanYorke.h"
#include "LvError.h"
#include "ModelRun.h"
#include "ModelValue.h"
#include "Options.h"
#include "PlotInterval.h"
#include "PopulationMaxima.h"
#include "Random.h"
#include "RunAnalyses.h"

namespace {

using Array = py::array_t<double, py::array::c_style>;

// The most maxima a run keeps, as a sweep's point does.
constexpr std::size_t MaximaPerRun = 10000;

// lv-run's defaults: the chart it draws or checks, and a history row at every column.
const Options& lvRun() {
    static const Options defaults;
    return defaults;
}

// What run() takes besides the model. An analysis of the run (lv-run's options for the
// spectrum, the maxima, ...) adds its argument here, its StepAnalysis to the watchers in
// run() and its result to the tuple, which lotkavolterra.run puts into RunResult.
struct RunRequest {
    RunLengthArguments length;
    std::optional<uint32_t> seed;  // random_seed=: `lv-run --random --seed S`
    bool history = false;
    long long historyEvery = 1;
    AnalysisArguments analyses;

    static RunRequest Parse(py::handle time, py::handle steps, py::handle continuous,
                            py::handle seed, py::handle windowTime, py::handle history,
                            py::handle historyEvery, const AnalysisArguments& analyses) {
        RunRequest q;
        q.analyses = analyses;
        q.length = RunLengthArguments::Parse(time, steps, continuous, windowTime);
        if (!seed.is_none())
            q.seed = uint32_t(
                Whole_Number(seed, "random_seed", 0, std::numeric_limits<uint32_t>::max()));
        q.history = Flag(history, "history");
        q.historyEvery =
            Whole_Number(historyEvery, "history_every", 1, std::numeric_limits<long long>::max());
        return q;
    }
};

// The rows `lv-run --history` writes (RunHistory): one at every `every`-th chart column, and
// one for the last step unless it has its row, kept as numbers.
class HistoryRows : public RunObserver {
  public:
    HistoryRows(int n, long long every) : n_(n), every_(every) {}

    void Column(const RunSnapshot& now) override {
        if (++columns_ % every_ == 0) row(now);
    }
    void Run_Ends(const RunSnapshot& last) override {
        if (last.step != lastStep_) row(last);
    }
    bool Follows_Exponent() const override { return true; }

    // (step, t, LE, x) as numpy arrays, x with a row for each.
    py::tuple Arrays() const {
        const py::ssize_t count = py::ssize_t(steps_.size());
        py::array_t<long long> steps(count);
        Array t(count), le(count), x({count, py::ssize_t(n_)});
        std::copy(steps_.begin(), steps_.end(), steps.mutable_data());
        std::copy(t_.begin(), t_.end(), t.mutable_data());
        std::copy(le_.begin(), le_.end(), le.mutable_data());
        std::copy(x_.begin(), x_.end(), x.mutable_data());
        return py::make_tuple(steps, t, le, x);
    }

  private:
    void row(const RunSnapshot& s) {
        lastStep_ = s.step;
        steps_.push_back(s.step);
        t_.push_back(s.t);
        le_.push_back(s.LE);
        for (int i = 0; i < n_; ++i)
            x_.push_back(std::size_t(i) < s.x.size() ? s.x[std::size_t(i)]
                                                     : std::numeric_limits<double>::quiet_NaN());
    }

    int n_;
    long long every_;
    long long columns_ = 0, lastStep_ = 0;
    std::vector<long long> steps_;
    std::vector<double> t_, le_, x_;
};

// The analyses' results, for lotkavolterra.run to put into RunResult.
py::dict analysisResults(const RunAnalyses& analyses, const RunResult& result,
                         const std::optional<PopulationMaxima>& maxima) {
    py::dict out;
    out["clamps"] = result.clamps;
    if (const std::optional<SpectrumResult> s = analyses.Spectrum()) {
        Array spectrum(py::ssize_t(s->exponents.size()));
        std::copy(s->exponents.begin(), s->exponents.end(), spectrum.mutable_data());
        out["spectrum"] = spectrum;
        out["dimension"] = Kaplan_Yorke_Dimension(s->exponents);
    }
    if (const std::optional<Equilibrium>& e = analyses.Fixed_Point()) {
        py::dict eq;
        eq["singular"] = e->singular;
        Array x(py::ssize_t(e->x.size()));
        std::copy(e->x.begin(), e->x.end(), x.mutable_data());
        eq["x"] = x;
        eq["feasible"] = e->feasible;
        py::array_t<std::complex<double>> eigenvalues(py::ssize_t(e->eigenvalues.size()));
        for (std::size_t i = 0; i < e->eigenvalues.size(); ++i)
            eigenvalues.mutable_data()[i] = {e->eigenvalues[i].first, e->eigenvalues[i].second};
        eq["eigenvalues"] = eigenvalues;
        eq["stable"] = e->stable;
        eq["kind"] = e->kind;
        out["equilibrium"] = eq;
    }
    if (maxima) {
        Array values(py::ssize_t(maxima->Values().size())), times(values.size());
        std::copy(maxima->Values().begin(), maxima->Values().end(), values.mutable_data());
        std::copy(maxima->Times().begin(), maxima->Times().end(), times.mutable_data());
        out["maxima"] = py::make_tuple(times, values);
    }
    return out;
}

py::tuple run(py::handle modelArgument, py::handle time, py::handle steps, py::handle continuous,
              py::handle seed, py::handle windowTime, py::handle history, py::handle historyEvery,
              py::handle spectrum, py::handle method, py::handle discard, py::handle equilibrium,
              py::handle maxima) {
    ModelArgument argument(modelArgument);
    const RunRequest q =
        RunRequest::Parse(time, steps, continuous, seed, windowTime, history, historyEvery,
                          AnalysisArguments::Parse(spectrum, method, discard, equilibrium, maxima));
    const RunOptions options = q.length.Options();
    Model model = argument.Value().model;  // the caller's model stays as it was
    SignalWatch watch;
    RunControl control;
    SignalPump pump(watch, control);
    std::optional<HistoryRows> rows;
    std::optional<LvError> failure;
    RunResult result;
    int16_t plotInterval = 0;
    const AnalysisArguments& a = q.analyses;
    std::optional<RunAnalyses> analyses;
    std::optional<PopulationMaxima> populationMaxima;
    {
        py::gil_scoped_release release;
        try {
            // lv-run's order, after the file is read: the run time, the chart's plot
            // interval, whether the run can end, the random populations, the run.
            options.Apply_Run_Time(model);
            plotInterval = Plot_Interval(options.Window_Time(), model.dt, float(lvRun().width));
            options.Check_Run_Ends(model.TotalTime, model.dt);
            Check_Discard(a.discard, model.TotalTime, model.dt, options.steps);
            analyses.emplace(AnalysisOptions{a.spectrum, a.tangent, a.discard, a.equilibrium},
                             model);
            if (a.maxima) populationMaxima.emplace(*a.maxima, a.discard, MaximaPerRun);
            if (q.history) rows.emplace(std::max<int>(model.Nanimals, 0), q.historyEvery);
            ChartRows chart(float(lvRun().width), float(lvRun().height));
            if (q.seed) {
                Mt19937Random random(*q.seed);
                Random_Populations(model.Species, model.Nanimals, random);
            }
            RunWatchers watchers;
            watchers.observers.push_back(&chart);
            if (rows) watchers.observers.push_back(&*rows);
            if (watch.Enabled()) watchers.events = &pump;
            RunSettings settings{plotInterval, options.steps};
            analyses->Attach(watchers, settings);
            if (populationMaxima) watchers.analyses.push_back(&*populationMaxima);
            result = Run_Model(model, settings, control, watchers);
        } catch (const LvError& e) {
            failure = e;
        }
    }
    watch.Raise_If_Interrupted();
    if (failure) Raise_Error(*failure, rows ? py::object(rows->Arrays()) : py::none());

    const int n = std::max<int>(model.Nanimals, 0);
    Array x(n);
    for (int i = 0; i < n; ++i) x.mutable_data()[i] = model.Species.rows[i].x;
    return py::make_tuple(analyses->LE(result), result.steps, result.t, std::move(x), plotInterval,
                          rows ? py::object(rows->Arrays()) : py::none(),
                          analysisResults(*analyses, result, populationMaxima));
}

// The same run with nothing of Python around it, `repeats` times: nanoseconds a run, for the
// benchmark of run()'s overhead.
double bareRunNanoseconds(const ModelValue& value, long long steps, long long repeats) {
    py::gil_scoped_release release;
    const auto start = std::chrono::steady_clock::now();
    for (long long i = 0; i < repeats; ++i) {
        Model model = value.model;
        RunControl control;
        ChartRows chart(float(lvRun().width), float(lvRun().height));
        const int16_t interval = Plot_Interval(210, model.dt, float(lvRun().width));
        (void)Run_Model(model, {interval, steps}, control, {.observers = {&chart}});
    }
    const std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / double(repeats > 0 ? repeats : 1);
}

}  // namespace

void Bind_Run(py::module_& module) {
    module.def("run", &run, py::arg("model"), py::arg("time"), py::arg("steps"),
               py::arg("continuous"), py::arg("random_seed"), py::arg("window_time"),
               py::arg("history"), py::arg("history_every"), py::arg("spectrum"), py::arg("method"),
               py::arg("discard"), py::arg("equilibrium"), py::arg("maxima"),
               "One run as lv-run makes it: (LE, steps, t, x, plot_interval, history arrays or "
               "None, the analyses' results). See lotkavolterra.run.");
    module.def("_bare_run_ns", &bareRunNanoseconds, py::arg("model"), py::arg("steps"),
               py::arg("repeats"),
               "Nanoseconds a run of `steps` steps takes in C++ alone, for the benchmarks.");
}
