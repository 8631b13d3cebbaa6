#include "ModelRun.h"

#include <cfenv>
#include <cmath>
#include <limits>
#include <span>
#include <string>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "Convert.h"
#include "FloatEnvironment.h"
#include "LvError.h"
#include "ModelKernel.h"
#include "TermSum.h"

std::string Info_Caption(double le) {
    return "LE = " + Format_Fixed6(le) + "\r\n\r\n";
}

namespace {

[[noreturn]] void failAt(ErrorKind kind, long long step, const std::string& what) {
    throw LvError(kind, "model run, step " + std::to_string(step) + ": " + what).atStep(step);
}

// The failures a step can leave in the floating-point status: invalid, divide by zero and
// overflow. Underflow and inexact are not failures. On x86-64 they are read from the SSE
// control and status word, as FloatEnvironment sets it up.
#if defined(__x86_64__)
constexpr unsigned MxcsrInvalid = 0x01, MxcsrDivByZero = 0x04, MxcsrOverflow = 0x08;
inline unsigned failureFlags() {
    return _mm_getcsr() & (MxcsrInvalid | MxcsrDivByZero | MxcsrOverflow);
}
inline void clearFlags() {
    _mm_setcsr(_mm_getcsr() & ~MxcsrFlags);
}
inline bool overflowRaised(unsigned f) {
    return f & MxcsrOverflow;
}
inline bool divByZeroRaised(unsigned f) {
    return f & MxcsrDivByZero;
}
#else
inline unsigned failureFlags() {
    return static_cast<unsigned>(std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW));
}
inline void clearFlags() {
    std::feclearexcept(FE_ALL_EXCEPT);
}
inline bool overflowRaised(unsigned f) {
    return f & FE_OVERFLOW;
}
inline bool divByZeroRaised(unsigned f) {
    return f & FE_DIVBYZERO;
}
#endif

// Names the first failure of a step from its flags. With finite inputs an invalid operation
// can only follow an infinity, and the only divisions by zero are caught before they happen,
// so overflow, when raised, came first.
[[noreturn]] void failFromFlags(unsigned flags, long long step) {
    if (overflowRaised(flags))
        failAt(ErrorKind::Overflow, step, "a population or a sum left the range of a double");
    if (divByZeroRaised(flags)) failAt(ErrorKind::DivisionByZero, step, "division by zero");
    failAt(ErrorKind::InvalidCall, step, "invalid floating-point operation");
}

// Brings the kernel's copy in line with the table when the species count changes (and
// before the first step): populations and rates of rows 0 to n - 1, the transposed matrix,
// and zero in every lane beyond (matrix rows j >= n are never read by a step of n species).
// Perturbed values of rows that leave the range are kept in `XeAll`, as the plain run keeps
// them in its array.
void loadRows(KernelState& s, double (&XeAll)[MaxSpecies], const SpeciesTable& Species, int n) {
    for (int i = 0; i < s.n; ++i) XeAll[i] = s.xe[s.from][i];
    const int used = n > 0 ? n : 0;
    for (int i = 0; i < used; ++i) (void)Species(i);  // Subscript out of range at row 51
    for (int k = 0; k < KernelLanes; ++k) {
        const bool in = k < used;
        const SpeciesRec* row = in ? &Species.rows[k] : nullptr;
        s.r[k] = in ? row->r : 0;
        s.x[s.from][k] = in ? row->x : 0;
        s.xe[s.from][k] = in ? XeAll[k] : 0;
        s.x[1 - s.from][k] = 0;
        s.xe[1 - s.from][k] = 0;
        for (int j = 0; j < used; ++j) s.aT[j][k] = in ? row->a[j] : 0;
    }
    s.n = n;
    s.sumsReady = false;
}

// The populations of rows 0 to n - 1 in the kernel's `from` half.
std::span<const double> populations(const KernelState& s, int from) {
    return {s.x[from], std::size_t(s.n > 0 ? s.n : 0)};
}

}  // namespace

RunResult Run_Model(Model& model, const RunSettings& settings, RunControl& control,
                    const RunWatchers& watchers) {
    FloatEnvironment environment;
    KernelState s;  // the run's arrays: fixed size, made once, nothing allocated per step
    s.from = 0;
    s.n = -1;  // the rows are loaded at the first step
    s.clamps = 0;
    double XeAll[MaxSpecies] = {};
    double t = 0;        // the run's clock: the running sum of dt, standing still when continuous
    double covered = 0;  // the model time the steps covered, continuous or not
    long long StepCount = 0;  // 64-bit: a continuous run may go on for days
    int16_t PlotCount = 0;
    SpeciesTable& Species = model.Species;

    for (RunObserver* o : watchers.observers) o->Run_Starts(model);
    const double d0 = std::pow(10.0, -12.0);
    try {
        for (int i = 0; i < model.Nanimals; ++i) XeAll[i] = Species(i).x;
    } catch (const LvError& e) {
        throw e.within("model run, before the first step");
    }
    XeAll[1] = d0 + Species(1).x;  // only the second species is perturbed, whatever N is
    for (StepAnalysis* a : watchers.analyses) a->Start(model);
    bool Running = true;
    TermSum LESum(d0);                 // the exponent's sum
    KernelRoutine stepRows = nullptr;  // the kernel's routine for the rows loaded
    long long chooseAt = -1;           // the step after which the routine is timed, if still due
    long long quiet = 0;               // steps still to come before the pump wants a call again
    bool followed = false;
    for (const RunObserver* o : watchers.observers) followed = followed || o->Follows_Exponent();
    const bool analysed = !watchers.analyses.empty();
    // The kernel keeps the populations; the table gets them whenever someone may look: before
    // each call out of the run, when a step fails (the last complete step) and at the end.
    auto syncTable = [&] {
        for (int k = 0; k < s.n; ++k) Species.rows[k].x = s.x[s.from][k];
    };
    auto snapshot = [&](double le) {
        return RunSnapshot{StepCount, covered, populations(s, s.from), le};
    };
    // Steps before the end of the discard add no term; the mean is over the steps after.
    bool discarding = settings.discard > 0;
    long long discarded = 0;
    auto mean = [&] {
        const long long counted = discarding ? 0 : StepCount - discarded;
        return counted > 0 ? LESum.Total() / static_cast<double>(counted)
                           : std::numeric_limits<double>::quiet_NaN();
    };
    auto exponentSoFar = [&] {
        return followed ? mean() : std::numeric_limits<double>::quiet_NaN();
    };

    for (;;) {
        const long long step = StepCount + 1;
        const int n = model.Nanimals;
        if (n != s.n) {
            try {
                loadRows(s, XeAll, Species, n);
                stepRows = Kernel_Routine_If_Chosen(n);
                chooseAt = -1;
                if (stepRows == nullptr) {
                    stepRows = Kernel_Provisional_Routine(n);
                    chooseAt = StepCount + KernelProvisionalSteps;
                }
            } catch (const LvError& e) {
                throw e.within("model run, step " + std::to_string(step)).atStep(step);
            }
        } else if (StepCount == chooseAt) {
            // Every build gives the same bits; only the next step's sums, which some take
            // ahead, must be made afresh by the one that follows.
            stepRows = Kernel_Routine(n);
            s.sumsReady = false;
            chooseAt = -1;
        }
        const double h = model.dt;
        const double TotalTime = model.TotalTime;
        if (discarding && h + covered > settings.discard) {
            // The first step that ends after the discard: the sum starts here.
            LESum = TermSum(d0);
            discarded = StepCount;
            discarding = false;
        }
        const long long clampsBefore = s.clamps;

        // The arithmetic of one step. The start-of-step state stays in the kernel's `from`
        // half, so the step can be done again and gives the same results.
        double tNew = t, LENew = 0, Dist = 0, recip = 0;
        bool deferred = false, finite = true;
        auto arithmetic = [&](double h, double t) -> bool {
            tNew = TotalTime > 0 ? h + t : t;
            const KernelStep k = stepRows(s, h, d0);
            Dist = k.Dist;
            finite = k.finite && std::isfinite(tNew);
            if (!k.renormalised) return false;  // 1 / dt or the logarithm would fail
            recip = 1 / h;
            deferred = LESum.Can_Wait(recip, Dist);
            if (!deferred) {
                LENew = Exponent_Term(recip, Dist, d0) + LESum.Total();
                finite = finite && std::isfinite(LENew);
            }
            return true;
        };
        bool complete = arithmetic(h, t);
        // A failure shows in the values: from finite start-of-step values, an overflow, an
        // invalid operation or a division by zero leaves an infinity or a NaN behind. The
        // sums and updates only add, subtract and multiply, so it runs on into the new
        // populations and, before any clamp, into SumSq; t, the pulled-back perturbed
        // populations and the exponent sum are tested themselves. The status word is read
        // only then (reading it every step would make each step wait for all the arithmetic
        // in flight): the step is done again on clear flags, as the window's own work may
        // have set some, and the flags name the failure. The step's inputs are read afresh
        // for it, so that the compiler cannot keep the first attempt's results, whose flags
        // were cleared.
        if (!finite) {
            clearFlags();
            s.sumsReady = false;  // taken at the end of the step before, under its flags
            s.clamps = clampsBefore;
            const volatile double hAgain = h, tAgain = t;
            complete = arithmetic(hAgain, tAgain);
            if (const unsigned flags = failureFlags()) {
                syncTable();
                failFromFlags(flags, step);
            }
        }
        if (!complete) {
            syncTable();
            if (h == 0) failAt(ErrorKind::DivisionByZero, step, "1 / dt with dt = 0");
            failAt(ErrorKind::InvalidCall, step,
                   "logarithm of a distance of 0 between the run and its perturbed copy");
        }

        // The step is complete: it becomes the run's state.
        t = tNew;
        covered = h + covered;
        if (deferred)
            LESum.Wait(recip, Dist);
        else
            LESum.Restart(LENew);
        StepCount = step;
        s.from = 1 - s.from;
        if (analysed) {
            const StepView view{
                StepCount, covered, h, populations(s, 1 - s.from), populations(s, s.from), model};
            for (StepAnalysis* a : watchers.analyses) a->Step(view);
        }

        if (PlotCount == INT16_MAX) {
            syncTable();
            failAt(ErrorKind::Overflow, step, "PlotCount passed 32767");
        }
        ++PlotCount;
        if (PlotCount > settings.PlotInterval) {
            if (!watchers.observers.empty()) {
                syncTable();
                const RunSnapshot now = snapshot(exponentSoFar());
                for (RunObserver* o : watchers.observers) o->Column(now);
            }
            PlotCount = 0;
        }
        if (watchers.events) {
            if (quiet > 0) {
                --quiet;
            } else {
                syncTable();
                watchers.events->Do_Events();
                quiet = watchers.events->Quiet_Steps();
            }
        }

        if (model.TotalTime > 0 && t >= model.TotalTime) Running = false;
        if (control.Stop_Requested() || !Running) break;
        if (settings.maxSteps && StepCount >= *settings.maxSteps) break;
    }

    syncTable();
    const double LE = discarded > 0 || settings.discard > 0
                          ? mean()
                          : LESum.Total() / static_cast<double>(StepCount);
    const RunSnapshot last = snapshot(LE);
    for (RunObserver* o : watchers.observers) o->Run_Ends(last);
    return {LE, StepCount, covered, s.clamps};
}
