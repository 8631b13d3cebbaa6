#include "SweepRun.h"

#include <limits>
#include <memory>

#include "ChartRows.h"
#include "Initialisers.h"
#include "KaplanYorke.h"
#include "LvError.h"
#include "LyapunovExponents.h"
#include "ModelKernel.h"
#include "ModelRun.h"
#include "PlotInterval.h"
#include "PopulationMaxima.h"
#include "Random.h"
#include "RunLength.h"

SweepRun::SweepRun(SweepBase base, std::vector<SweepParameter> parameters, RunControl* stop)
    : base_(std::move(base)), parameters_(std::move(parameters)), stop_(stop) {
    for (const SweepParameter& p : parameters_) {
        settingsVary_ = settingsVary_ || p.Is_Run_Setting();
        matrixVaries_ = matrixVaries_ || p.kind == SweepParameter::Kind::Matrix;
    }
}

void SweepRun::Prepare() const {
    // A count above the table fails before the run asks for a routine.
    if (base_.model.Nanimals <= MaxSpecies) (void)Kernel_Routine(base_.model.Nanimals);
}

void SweepRun::Load(const SweepPoint& point, LoadedPoint& into) const {
    into.model = base_.model;
    setPoint(point, into);
}

void SweepRun::setPoint(const SweepPoint& point, LoadedPoint& p) const {
    Model& m = p.model;
    for (std::size_t a = 0; a < parameters_.size(); ++a) parameters_[a].Set(m, point.values[a]);
    // lv-run's order: the chart's interval, the run's length, then the random populations.
    p.plotInterval = Plot_Interval(base_.windowTime, m.dt, base_.chartWidth);
    Check_Run_Can_End(m.TotalTime, m.dt, base_.steps.has_value());
    if (point.seed) {
        // As `lv-run --random --seed S` draws them.
        Mt19937Random seeded(*point.seed);
        Random_Populations(m.Species, m.Nanimals, seeded);
    }
}

PointResult SweepRun::Run(const SweepPoint& point) const {
    PointResult r;
    r.point = point;
    try {
        const auto loaded = std::make_unique<LoadedPoint>(base_.model);
        LoadedPoint& p = *loaded;
        setPoint(point, p);
        ChartRows chart(base_.chartWidth, base_.chartHeight);
        RunControl alone;
        const SweepAnalyses& a = base_.analyses;
        RunWatchers watchers{.observers = {&chart}};
        std::optional<LyapunovExponents> spectrum, tangent;
        std::optional<PopulationMaxima> maxima;
        if (a.spectrum)
            watchers.analyses.push_back(&spectrum.emplace(SpectrumSettings{0, 10, a.discard}));
        if (a.tangent)
            watchers.analyses.push_back(&tangent.emplace(SpectrumSettings{1, 10, a.discard}));
        if (a.maxima)
            watchers.analyses.push_back(&maxima.emplace(*a.maxima, a.discard, MaximaPerPoint));
        const RunResult result = Run_Model(p.model, {p.plotInterval, base_.steps, a.discard},
                                           stop_ ? *stop_ : alone, watchers);
        r.status = "ok";
        r.LE = result.LE;
        if (tangent) {
            const SpectrumResult t = tangent->Result();
            r.LE = t.exponents.empty() ? std::numeric_limits<double>::quiet_NaN() : t.exponents[0];
        }
        if (spectrum) {
            r.spectrum = spectrum->Result().exponents;
            r.dimension = Kaplan_Yorke_Dimension(r.spectrum);
        }
        if (maxima) r.maxima = maxima->Values();
        r.steps = result.steps;
        r.t = result.t;
        r.clamps = result.clamps;
        const int n = p.model.Nanimals;
        r.x.reserve(std::size_t(n > 0 ? n : 0));
        for (int i = 0; i < n; ++i) r.x.push_back(p.model.Species(i).x);
    } catch (const LvError& e) {
        return Failure(point, e);
    }
    return r;
}

PointResult SweepRun::Failure(const SweepPoint& point, const LvError& e) {
    PointResult r;
    r.point = point;
    r.status = Error_Kind_Text(e.kind());
    r.message = e.what();
    r.steps = e.step();
    return r;
}
