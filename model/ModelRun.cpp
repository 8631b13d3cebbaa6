#include "ModelRun.h"

#include <cfenv>
#include <cmath>
#include <string>

#include "Convert.h"
#include "Globals.h"
#include "LvError.h"
#include "ModelView.h"

std::string Info_Caption(double le) { return "LE = " + Format_Fixed6(le) + "\r\n\r\n"; }

namespace {

constexpr double Clamped = 0.9999999;

[[noreturn]] void failAt(ErrorKind kind, long long step, const std::string& what) {
    throw LvError(kind, "model run, step " + std::to_string(step) + ": " + what);
}

void checkFloatingPoint(long long step) {
    const int raised = std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
    if (raised & FE_DIVBYZERO) failAt(ErrorKind::DivisionByZero, step, "division by zero");
    if (raised & FE_INVALID) failAt(ErrorKind::InvalidCall, step, "invalid floating-point operation");
    if (raised & FE_OVERFLOW) failAt(ErrorKind::Overflow, step, "a population or sum left the range of a double");
}

}  // namespace

void Run_Model(ModelView& view, const int16_t& Nanimals, const int16_t& PlotInterval,
               const double& TotalTime) {
    double Xe[MaxSpecies] = {}, XOld[MaxSpecies] = {}, XeOld[MaxSpecies] = {};
    double t = 0, LESum = 0;
    long long StepCount = 0;  // 64-bit: a continuous run may go on for days
    int16_t PlotCount = 0;

    view.Clear_Picture();
    const double d0 = std::pow(10.0, -12.0);
    PlotColumn = 0;
    for (int i = 0; i < Nanimals; ++i) Xe[i] = Species(i).x;
    Xe[1] = d0 + Species(1).x;
    bool Running = true;

    std::feclearexcept(FE_ALL_EXCEPT);
    for (;;) {
        const long long step = StepCount + 1;
        if (TotalTime > 0) t = dt + t;
        const int n = Nanimals;
        for (int i = 0; i < n; ++i) {
            XOld[i] = Species.rows[i].x;
            XeOld[i] = Xe[i];
        }
        double SumSq = 0;
        for (int k = 0; k < n; ++k) {
            SpeciesRec& s = Species.rows[k];
            double S = 0, Se = 0;
            for (int j = 0; j < n; ++j) {
                S = s.a[j] * XOld[j] + S;
                Se = s.a[j] * XeOld[j] + Se;
            }
            const double g = (s.r * s.x) * (1 - S);
            s.x = dt * g + s.x;
            const double ge = (Xe[k] * s.r) * (1 - Se);
            Xe[k] = dt * ge + Xe[k];
            const double diff = s.x - Xe[k];
            SumSq = diff * diff + SumSq;
            if (s.x >= 1) s.x = Clamped;
        }
        const double Dist = std::pow(SumSq, 0.5);
        checkFloatingPoint(step);
        if (dt == 0) failAt(ErrorKind::DivisionByZero, step, "1 / dt with dt = 0");
        const double ratio = Dist / d0;
        if (!(ratio > 0))
            failAt(ErrorKind::InvalidCall, step,
                   "logarithm of a distance of 0 (the twin trajectory coincides with the run)");
        LESum = (1 / dt) * std::log(ratio) + LESum;
        StepCount = step;
        for (int i = 0; i < n; ++i) {
            const double x = Species.rows[i].x;
            Xe[i] = ((Xe[i] - x) * d0) / Dist + x;
        }
        checkFloatingPoint(step);

        PlotCount = Checked_Add16(PlotCount, 1);
        if (PlotCount > PlotInterval) {
            view.Graph_Populations(Nanimals);
            PlotCount = 0;
        }
        view.Do_Events();
        std::feclearexcept(FE_ALL_EXCEPT);  // flags raised by the window are not the model's
        if (TotalTime > 0 && t >= TotalTime) Running = false;
        if (StopRequested == -1 || !Running) break;
    }

    LE = LESum / static_cast<double>(StepCount);
    view.Set_Info_Caption(Info_Caption(LE));
}
