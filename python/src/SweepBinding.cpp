#include "SweepBinding.h"

#include <pybind11/numpy.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Arguments.h"
#include "Convert.h"
#include "Errors.h"
#include "Interrupts.h"
#include "ModelValue.h"
#include "PlotInterval.h"
#include "SweepExecutor.h"
#include "SweepIdentity.h"
#include "SweepLanes.h"
#include "SweepPoints.h"
#include "SweepRun.h"

namespace {

using Array = py::array_t<double, py::array::c_style>;

// lv-sweep's messages name its options ("--vary ..."); here they are arguments.
[[noreturn]] void refuse(const SweepOptionError& e) {
    const std::string& m = e.message;
    throw py::value_error(m.rfind("--", 0) == 0 ? m.substr(2) : m);
}

// vary={"NAME": (FROM, TO, COUNT), ...}: each axis read by lv-sweep's own parser from the
// text --vary would hold, the numbers as their shortest text, which reads back to them.
std::vector<SweepAxis> axesOf(py::handle vary) {
    std::vector<SweepAxis> axes;
    if (vary.is_none()) return axes;
    if (!py::isinstance<py::dict>(vary))
        throw py::type_error("vary must be a dict {name: (from, to, count)}, not " +
                             std::string(py::str(py::type::handle_of(vary).attr("__name__"))));
    const py::dict items = py::reinterpret_borrow<py::dict>(vary);
    if (items.size() > 2)
        throw py::value_error("vary holds one parameter, or two for a grid, not " +
                              std::to_string(items.size()));
    for (const auto& [key, range] : items) {
        if (!py::isinstance<py::str>(key))
            throw py::type_error("vary's names are str (\"r(1)\", \"a(0,1)\", \"dt\", ...), not " +
                                 std::string(py::repr(key)));
        const std::string name = key.cast<std::string>();
        const std::string where = "vary[" + std::string(py::repr(key)) + "]";
        try {
            (void)SweepParameter::Parse(name);
        } catch (const SweepOptionError& e) {
            refuse(e);
        }
        if (!py::isinstance<py::tuple>(range) && !py::isinstance<py::list>(range))
            throw py::type_error(where + " must be (from, to, count), not " +
                                 std::string(py::repr(range)));
        const py::sequence r = py::reinterpret_borrow<py::sequence>(range);
        if (r.size() != 3)
            throw py::value_error(where + " must be (from, to, count), not " +
                                  std::string(py::repr(range)));
        const double from = Finite_Number(r[0], ("from in " + where).c_str());
        const double to = Finite_Number(r[1], ("to in " + where).c_str());
        const long long count = Whole_Number(r[2], ("count in " + where).c_str(), 1,
                                             std::numeric_limits<long long>::max());
        try {
            axes.push_back(SweepAxis::Parse(name + "=" + Format_Shortest(from) + ":" +
                                            Format_Shortest(to) + ":" + std::to_string(count)));
        } catch (const SweepOptionError& e) {
            refuse(e);
        }
    }
    return axes;
}

// seeds=(FROM, TO), both included as in lv-sweep's --seeds FROM:TO, or a range of step 1.
std::optional<SweepSeeds> seedsOf(py::handle seeds) {
    if (seeds.is_none()) return std::nullopt;
    constexpr long long Highest = std::numeric_limits<uint32_t>::max();
    long long from = 0, to = 0;
    if (py::isinstance(seeds, py::module_::import("builtins").attr("range"))) {
        const long long start = Whole_Number(seeds.attr("start"), "seeds' start", 0, Highest);
        const long long stop = Whole_Number(seeds.attr("stop"), "seeds' stop", 0, Highest + 1);
        if (seeds.attr("step").cast<long long>() != 1 || stop <= start)
            throw py::value_error("seeds as a range must have step 1 and hold a seed, not " +
                                  std::string(py::repr(seeds)));
        from = start;
        to = stop - 1;
    } else if (py::isinstance<py::tuple>(seeds) || py::isinstance<py::list>(seeds)) {
        const py::sequence s = py::reinterpret_borrow<py::sequence>(seeds);
        if (s.size() != 2)
            throw py::value_error("seeds must be (from, to), both included, not " +
                                  std::string(py::repr(seeds)));
        from = Whole_Number(s[0], "seeds' from", 0, Highest);
        to = Whole_Number(s[1], "seeds' to", 0, Highest);
        if (from > to)
            throw py::value_error("seeds (from, to) needs from <= to, not " +
                                  std::string(py::repr(seeds)));
    } else {
        throw py::type_error("seeds must be (from, to) or a range, not " +
                             std::string(py::str(py::type::handle_of(seeds).attr("__name__"))));
    }
    return SweepSeeds{uint32_t(from), uint32_t(to)};
}

// shard=(K, N): the points whose index is K modulo N.
SweepShard shardOf(py::handle shard) {
    if (shard.is_none()) return {};
    if (!py::isinstance<py::tuple>(shard) && !py::isinstance<py::list>(shard))
        throw py::type_error("shard must be (k, n), not " + std::string(py::repr(shard)));
    const py::sequence s = py::reinterpret_borrow<py::sequence>(shard);
    if (s.size() != 2)
        throw py::value_error("shard must be (k, n), not " + std::string(py::repr(shard)));
    const long long n = Whole_Number(s[1], "shard's n", 1, std::numeric_limits<long long>::max());
    const long long k = Whole_Number(s[0], "shard's k", 0, n - 1);
    return {k, n};
}

int threadsOf(py::handle threads) {
    if (threads.is_none()) return Usable_Processors();
    // As lv-sweep's --threads: at most four to a processor, where more only cost memory.
    return std::min<int>(int(Whole_Number(threads, "threads", 1, 4096)), 4 * Usable_Processors());
}

// Stops the executor: a signal handler raised while the points ran.
struct Interrupted {};

// The points' results as columns, in point order.
struct Columns {
    Columns(int species, bool spectrum, std::size_t axes)
        : species(species), withSpectrum(spectrum), axes(axes) {}

    void Add(const PointResult& r) {
        constexpr double None = std::numeric_limits<double>::quiet_NaN();
        point.push_back(r.point.index);
        values.insert(values.end(), r.point.values.begin(), r.point.values.end());
        seed.push_back(r.point.seed ? (long long)*r.point.seed : 0);
        status.push_back(r.status);
        message.push_back(r.message);
        LE.push_back(r.Ok() ? r.LE : None);
        t.push_back(r.Ok() ? r.t : None);
        steps.push_back(r.steps);
        // The CSV leaves out the step of a run refused before it began.
        stepsMissing.push_back(!r.Ok() && r.steps <= 0);
        for (int i = 0; i < species; ++i)
            x.push_back(r.Ok() && std::size_t(i) < r.x.size() ? r.x[std::size_t(i)] : None);
        clamps.push_back(r.Ok() ? double(r.clamps) : None);
        if (withSpectrum) {
            for (int i = 0; i < species; ++i)
                spectrum.push_back(r.Ok() && std::size_t(i) < r.spectrum.size()
                                       ? r.spectrum[std::size_t(i)]
                                       : None);
            dimension.push_back(r.Ok() ? r.dimension : None);
        }
        // The maxima in long form: the point, its values and seed, a maximum.
        for (double m : r.maxima) {
            maximaPoint.push_back(r.point.index);
            maximaValues.insert(maximaValues.end(), r.point.values.begin(), r.point.values.end());
            maximaSeed.push_back(r.point.seed ? (long long)*r.point.seed : 0);
            maxima.push_back(m);
        }
    }

    int species;
    bool withSpectrum;
    std::size_t axes;
    std::vector<long long> point, seed, steps;
    std::vector<double> values, LE, t, x, clamps, spectrum, dimension;
    std::vector<std::string> status, message;
    std::vector<bool> stepsMissing;
    std::vector<long long> maximaPoint, maximaSeed;
    std::vector<double> maximaValues, maxima;
};

template <class T>
py::array_t<T> array(const std::vector<T>& v) {
    py::array_t<T> a(py::ssize_t(v.size()));
    std::copy(v.begin(), v.end(), a.mutable_data());
    return a;
}

py::list strings(const std::vector<std::string>& texts) {
    std::map<std::string, py::str> seen;  // few distinct texts: one object each
    py::list out(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        auto it = seen.find(texts[i]);
        if (it == seen.end()) it = seen.emplace(texts[i], py::str(texts[i])).first;
        out[i] = it->second;
    }
    return out;
}

py::dict sweep(py::handle modelArgument, py::handle vary, py::handle seeds, py::handle threads,
               py::handle time, py::handle steps, py::handle continuous, py::handle windowTime,
               py::handle shard, py::handle spectrum, py::handle method, py::handle discard,
               py::handle maxima) {
    // The arguments, as lv-sweep checks its command line before it reads the file.
    ModelArgument argument(modelArgument);
    const RunLengthArguments length =
        RunLengthArguments::Parse(time, steps, continuous, windowTime);
    const AnalysisArguments analyses =
        AnalysisArguments::Parse(spectrum, method, discard, py::bool_(false), maxima);
    std::vector<SweepAxis> axes = axesOf(vary);
    const std::optional<SweepSeeds> seedRange = seedsOf(seeds);
    const SweepShard part = shardOf(shard);
    const int workers = threadsOf(threads);
    for (const SweepAxis& a : axes) {
        using Kind = SweepParameter::Kind;
        if (a.parameter.kind == Kind::RunTime && (length.time || length.continuous))
            throw py::value_error(
                "vary TotalTime sets the run time: leave out time and continuous");
        if (a.parameter.kind == Kind::Population && seedRange)
            throw py::value_error("seeds draws every initial population: vary " + a.parameter.name +
                                  " cannot go with it");
    }
    std::optional<SweepPoints> made;
    try {
        made.emplace(std::move(axes), seedRange, part);
    } catch (const SweepOptionError& e) {
        refuse(e);
    }
    const SweepPoints& points = *made;

    // What lv-sweep does once the file is read.
    const ModelValue& value = argument.Value();
    const RunOptions options = length.Options();
    SweepBase base;
    base.model = value.model;
    options.Apply_Run_Time(base.model);
    const int16_t window = options.Window_Time();
    std::vector<SweepParameter> parameters;
    for (const SweepAxis& a : points.Axes()) {
        try {
            a.parameter.Check_Rows(base.model.Nanimals);
        } catch (const SweepOptionError& e) {
            refuse(e);
        }
        parameters.push_back(a.parameter);
    }
    base.steps = options.steps;
    base.windowTime = window;
    base.analyses = {analyses.spectrum, analyses.tangent, analyses.discard, analyses.maxima};
    if (analyses.maxima && *analyses.maxima >= base.model.Nanimals)
        throw py::value_error("maxima " + std::to_string(*analyses.maxima) +
                              ": the model's rows are 0 to " +
                              std::to_string(base.model.Nanimals - 1));
    RunControl stop;
    const SweepRun run(base, parameters, &stop);
    if (!run.Settings_Vary()) {
        // Every point would fail alike: the sweep is refused as lv-sweep refuses it, in
        // lv-run's order.
        (void)Plot_Interval(window, base.model.dt, base.chartWidth);
        options.Check_Run_Ends(base.model.TotalTime, base.model.dt);
        Check_Discard(analyses.discard, base.model.TotalTime, base.model.dt, base.steps);
    }
    const std::string identity = Sweep_Identity(base, points, value.datStyle);

    Columns columns(std::clamp<int>(base.model.Nanimals, 0, MaxSpecies), analyses.spectrum,
                    points.Axes().size());
    SignalWatch watch;
    std::string lanes;
    {
        py::gil_scoped_release release;
        run.Prepare();
        const BatchRunner runner = Lane_Runner(run);
        lanes = runner.name;
        try {
            Run_Points(
                points, runner, workers, [&](const PointResult& r) { columns.Add(r); },
                [&] {
                    if (watch.Check()) {
                        stop.Request_Stop();
                        throw Interrupted{};
                    }
                });
        } catch (const Interrupted&) {
        }
    }
    watch.Raise_If_Interrupted();

    py::dict out;
    out["point"] = array(columns.point);
    py::list axisColumns;
    const std::size_t count = columns.point.size(), axisCount = points.Axes().size();
    for (std::size_t a = 0; a < axisCount; ++a) {
        Array values(static_cast<py::ssize_t>(count));
        for (std::size_t p = 0; p < count; ++p)
            values.mutable_data()[p] = columns.values[p * axisCount + a];
        axisColumns.append(py::make_tuple(points.Axes()[a].parameter.name, values));
    }
    out["axes"] = axisColumns;
    out["seed"] = seedRange ? py::object(array(columns.seed)) : py::none();
    out["status"] = strings(columns.status);
    out["LE"] = array(columns.LE);
    out["steps"] = array(columns.steps);
    py::array_t<bool> missing(static_cast<py::ssize_t>(count));
    std::copy(columns.stepsMissing.begin(), columns.stepsMissing.end(), missing.mutable_data());
    out["steps_missing"] = missing;
    out["t"] = array(columns.t);
    Array x({py::ssize_t(count), py::ssize_t(columns.species)});
    std::copy(columns.x.begin(), columns.x.end(), x.mutable_data());
    out["x"] = x;
    out["clamps"] = array(columns.clamps);
    if (analyses.spectrum) {
        Array spectrumColumns({py::ssize_t(count), py::ssize_t(columns.species)});
        std::copy(columns.spectrum.begin(), columns.spectrum.end(), spectrumColumns.mutable_data());
        out["spectrum"] = spectrumColumns;
        out["dimension"] = array(columns.dimension);
    }
    if (analyses.maxima) {
        py::dict m;
        m["point"] = array(columns.maximaPoint);
        py::list maximaAxes;
        const std::size_t found = columns.maxima.size();
        for (std::size_t a = 0; a < axisCount; ++a) {
            Array values(static_cast<py::ssize_t>(found));
            for (std::size_t p = 0; p < found; ++p)
                values.mutable_data()[p] = columns.maximaValues[p * axisCount + a];
            maximaAxes.append(py::make_tuple(points.Axes()[a].parameter.name, values));
        }
        m["axes"] = maximaAxes;
        m["seed"] = seedRange ? py::object(array(columns.maximaSeed)) : py::none();
        m["value"] = array(columns.maxima);
        out["maxima"] = m;
    }
    out["message"] = strings(columns.message);
    out["sweep"] = identity;
    out["lanes"] = lanes;
    return out;
}

}  // namespace

void Bind_Sweep(py::module_& module) {
    module.def("sweep", &sweep, py::arg("model"), py::arg("vary"), py::arg("seeds"),
               py::arg("threads"), py::arg("time"), py::arg("steps"), py::arg("continuous"),
               py::arg("window_time"), py::arg("shard"), py::arg("spectrum"), py::arg("method"),
               py::arg("discard"), py::arg("maxima"),
               "A sweep as lv-sweep runs it: its CSV's columns as arrays. See "
               "lotkavolterra.sweep.");
    module.def("usable_processors", &Usable_Processors,
               "The processors this process may run on (its affinity mask), at least 1.");
}
