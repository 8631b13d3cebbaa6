#include "SweepLanes.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

#include "FloatEnvironment.h"
#include "LaneBuilds.h"
#include "LaneState.h"
#include "LvError.h"
#include "Model.h"

namespace {

constexpr const char* Single = "single";
// A batch holds this many points per lane: a lane whose point ends takes the next one, so
// that points of different lengths keep the lanes full until the batch runs out.
constexpr int PointsPerLane = 4;
// The most steps the lanes make between two looks at the sweep's stop: a fraction of a second
// at 51 species.
constexpr long long StopLook = 1 << 14;

// The points of one batch through the lanes of one build, on the calling thread, whose model
// state loads each point as SweepRun::Run does.
class LaneBatch {
  public:
    LaneBatch(const SweepRun& run, const LaneBuild& build, std::span<const SweepPoint> points,
              std::span<PointResult> results)
        : run_(run),
          base_(run.Base()),
          state_(build.width, base_.model.Nanimals, run.Matrix_Varies()),
          step_(build.routine(base_.model.Nanimals, run.Matrix_Varies())),
          points_(points),
          results_(results),
          loaded_(std::make_unique<LoadedPoint>(base_.model)),
          point_(std::size_t(build.width), -1),
          steps_(std::size_t(build.width), 0) {
        state_.d0 = std::pow(10.0, -12.0);
        // Rows of a population x are H - x / K with K = 1 / H in single precision; down to
        // -screen (and up to the clamp, below 1) they stay within half the 16-bit range.
        const float H = base_.chartHeight, K = 1.0f / H;
        const double screen = 0.5 * (32766.0 - std::fabs(double(H))) * double(K);
        state_.screen = screen > 0 ? screen : 0;
        if (!state_.laneMatrix) {
            const int n = base_.model.Nanimals;
            for (int k = 0; k < n; ++k)
                for (int j = 0; j < n; ++j) state_.a[k * n + j] = base_.model.Species.rows[k].a[j];
        }
    }

    void Run() {
        FloatEnvironment environment;
        const int width = state_.width;
        int active = 0;
        for (int l = 0; l < width; ++l) active += fill(l);
        const std::optional<long long> limit = base_.steps;
        while (active > 0 && !run_.Stopped()) {
            // Stretches of a bounded length, so that a stop is seen soon.
            long long stretch = StopLook;
            for (int l = 0; l < width; ++l)
                if (limit && point_[std::size_t(l)] >= 0)
                    stretch = std::min(stretch, *limit - steps_[std::size_t(l)]);
            const long long done = step_(state_, stretch);
            for (int l = 0; l < width; ++l) {
                const long long p = point_[std::size_t(l)];
                if (p < 0) continue;
                long long& steps = steps_[std::size_t(l)];
                steps += done;
                if (state_.bad[l] != 0) {
                    results_[std::size_t(p)] = run_.Run(points_[std::size_t(p)]);
                } else if ((state_.total[l] > 0 && state_.time[l] >= state_.total[l]) ||
                           (limit && steps >= *limit)) {
                    finish(l);
                } else {
                    continue;
                }
                if (!fill(l)) --active;
            }
        }
    }

  private:
    // The next point of the batch into lane l, as SweepRun loads it; false when none is left
    // (the lane then idles). Points that fail before their run, and points whose chart count
    // would pass 32767, are done here alone.
    bool fill(int l) {
        while (next_ < points_.size()) {
            const std::size_t p = next_++;
            try {
                run_.Load(points_[p], *loaded_);
                if (loaded_->plotInterval == INT16_MAX) {
                    results_[p] = run_.Run(points_[p]);
                    continue;
                }
                start(l, p, loaded_->model);
                return true;
            } catch (const LvError& e) {
                results_[p] = SweepRun::Failure(points_[p], e);
            }
        }
        idle(l);
        return false;
    }

    // Point p's model into lane l.
    void start(int l, std::size_t p, const Model& m) {
        const int n = state_.n, width = state_.width;
        for (int k = 0; k < n; ++k) {
            const SpeciesRec& row = m.Species.rows[k];
            state_.x[k * width + l] = row.x;
            state_.xe[k * width + l] = k == 1 ? state_.d0 + row.x : row.x;
            state_.r[k * width + l] = row.r;
            if (state_.laneMatrix)
                for (int j = 0; j < n; ++j) state_.a[(k * n + j) * width + l] = row.a[j];
        }
        state_.dt[l] = m.dt;
        state_.recip[l] = 1 / m.dt;
        state_.time[l] = 0;
        state_.total[l] = m.TotalTime;
        state_.LESum[l] = 0;
        state_.bad[l] = 0;
        point_[std::size_t(l)] = static_cast<long long>(p);
        steps_[std::size_t(l)] = 0;
    }

    // A lane without a point keeps stepping with the others: a system that stands still,
    // runs without end and never fails.
    void idle(int l) {
        const int n = state_.n, width = state_.width;
        for (int k = 0; k < n; ++k) {
            state_.x[k * width + l] = 0.5;
            state_.xe[k * width + l] = 0.5 + 0x1p-20;
            state_.r[k * width + l] = 0;
            if (state_.laneMatrix)
                for (int j = 0; j < n; ++j) state_.a[(k * n + j) * width + l] = 0;
        }
        state_.dt[l] = state_.recip[l] = 1;
        state_.time[l] = state_.total[l] = state_.LESum[l] = 0;
        state_.bad[l] = 0;
        point_[std::size_t(l)] = -1;
    }

    // The result of lane l's run, as SweepRun::Run reports a run that ended.
    void finish(int l) {
        const std::size_t p = std::size_t(point_[std::size_t(l)]);
        const long long steps = steps_[std::size_t(l)];
        PointResult& r = results_[p];
        r.point = points_[p];
        r.status = "ok";
        r.message.clear();
        r.LE = state_.LESum[l] / static_cast<double>(steps);
        r.steps = steps;
        r.t = state_.time[l];
        r.x.resize(std::size_t(state_.n));
        for (int k = 0; k < state_.n; ++k) r.x[std::size_t(k)] = state_.x[k * state_.width + l];
    }

    const SweepRun& run_;
    const SweepBase& base_;
    LaneState state_;
    LaneRoutine step_;
    std::span<const SweepPoint> points_;
    std::span<PointResult> results_;
    std::unique_ptr<LoadedPoint> loaded_;  // the point being started
    std::size_t next_ = 0;                 // the batch's next point to start
    std::vector<long long> point_;         // by lane: the point it runs, -1 when idle
    std::vector<long long> steps_;         // by lane: the steps its point has made
};

const LaneBuild* buildNamed(const std::string& name, const std::string& where) {
    if (name == Single) return nullptr;
    std::string names;
    for (const LaneBuild& build : Lane_Builds()) {
        if (name == build.name) return &build;
        names += std::string(build.name) + ", ";
    }
    throw LvError(ErrorKind::InvalidCall, where + Quote_For_Message(name) +
                                              ": no lanes of that name on this processor, "
                                              "which has " +
                                              names + Single);
}

}  // namespace

std::vector<std::string> Lane_Build_Names() {
    std::vector<std::string> names;
    for (const LaneBuild& build : Lane_Builds()) names.push_back(build.name);
    names.push_back(Single);
    return names;
}

BatchRunner Lane_Runner(const SweepRun& run, const std::optional<std::string>& name) {
    const int n = run.Base().model.Nanimals;
    const LaneBuild* build = nullptr;
    if (name) {
        build = buildNamed(*name, "lanes ");
    } else if (const char* forced = std::getenv(LaneBuildVariable); forced && *forced) {
        build = buildNamed(forced, std::string(LaneBuildVariable) + "=");
    } else if (n >= 2 && n <= MaxSpecies) {
        build = &Lane_Build_For(n, run.Matrix_Varies());
    }
    // The analyses go with the single run.
    if (build == nullptr || n < 2 || n > MaxSpecies || run.Base().analyses.Any())
        return Scalar_Runner(run);
    return {PointsPerLane * build->width,
            [&run, build](std::span<const SweepPoint> points, std::span<PointResult> results) {
                LaneBatch(run, *build, points, results).Run();
            },
            build->name};
}
