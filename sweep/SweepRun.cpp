#include "SweepRun.h"

#include "Initialisers.h"
#include "LvError.h"
#include "ModelKernel.h"
#include "ModelRun.h"
#include "PlotInterval.h"
#include "Random.h"
#include "RunLength.h"
#include "SweepView.h"

namespace {

// The thread's initialisers draw from a generator seeded with `seed` while this lives, as
// `lv-run --seed` makes them, and from the default one after.
class SeededSource {
  public:
    explicit SeededSource(uint32_t seed) : source_(seed) { Set_Random_Source(&source_); }
    ~SeededSource() { Set_Random_Source(nullptr); }
    SeededSource(const SeededSource&) = delete;
    SeededSource& operator=(const SeededSource&) = delete;

  private:
    Mt19937Random source_;
};

}  // namespace

SweepBase SweepBase::From_Globals() {
    SweepBase b;
    b.table = Species;
    b.n = Nanimals;
    b.totalTime = TotalTime;
    b.dt = ::dt;
    return b;
}

SweepRun::SweepRun(SweepBase base, std::vector<SweepParameter> parameters)
    : base_(std::move(base)), parameters_(std::move(parameters)) {
    for (const SweepParameter& p : parameters_) {
        settingsVary_ = settingsVary_ || p.Is_Run_Setting();
        matrixVaries_ = matrixVaries_ || p.kind == SweepParameter::Kind::Matrix;
    }
}

void SweepRun::Prepare() const {
    // A count above the table fails before the run asks for a routine.
    if (base_.n <= MaxSpecies) (void)Kernel_Routine(base_.n);
}

int16_t SweepRun::Load(const SweepPoint& point) const {
    Species = base_.table;
    Nanimals = base_.n;
    TotalTime = base_.totalTime;
    dt = base_.dt;
    StopRequested = 0;
    for (std::size_t a = 0; a < parameters_.size(); ++a) parameters_[a].Set(point.values[a]);
    // lv-run's order: the run's length, the chart's interval, then the random populations.
    if (!base_.steps) {
        if (const auto endless = Endless_Run(TotalTime, dt))
            throw LvError(ErrorKind::InvalidCall, *endless);
    }
    const int16_t plotInterval = Plot_Interval(base_.windowTime, dt, base_.chartWidth);
    if (point.seed) {
        const SeededSource seeded(*point.seed);
        Random_Populations(Nanimals);
    }
    return plotInterval;
}

PointResult SweepRun::Run(const SweepPoint& point) const {
    PointResult r;
    r.point = point;
    try {
        const int16_t plotInterval = Load(point);
        SweepView view(base_.chartWidth, base_.chartHeight, base_.steps);
        Run_Model(view, Nanimals, plotInterval, TotalTime);
        r.status = "ok";
        r.LE = LE;
        r.steps = view.Steps();
        r.t = view.Time();
        r.x.reserve(std::size_t(Nanimals > 0 ? Nanimals : 0));
        for (int i = 0; i < Nanimals; ++i) r.x.push_back(Species(i).x);
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
    return r;
}
