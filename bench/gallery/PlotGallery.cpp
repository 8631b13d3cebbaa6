// lv-plot-gallery: every kind of plot the runners do not draw yet, from real runs, in every
// format, with the time each took: the orbit diagram of a parameter's range (the maxima of
// one population after a transient, from the model's own PopulationMaxima), and the
// attractor's projection, as a line, a density and coloured by a third population, with the
// exponent's history on a logarithmic time axis beside them.
//   lv-plot-gallery FOLDER [FILE.p] [RUNS]
// FILE defaults to examples/chaotic-4.p, RUNS (the orbit diagram's values of r(1)) to 300.

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "LvError.h"
#include "ModelRun.h"
#include "ParamFiles.h"
#include "Plots.h"
#include "PopulationMaxima.h"
#include "RunHistory.h"

namespace {

// The populations of three rows at every step after the transient.
class Path : public StepAnalysis {
  public:
    Path(int i, int j, int k, double transient) : i_(i), j_(j), k_(k), transient_(transient) {}
    void Start(const Model&) override {}
    void Step(const StepView& s) override {
        if (s.t <= transient_) return;
        xi.push_back(s.xNew[std::size_t(i_)]);
        xj.push_back(s.xNew[std::size_t(j_)]);
        xk.push_back(s.xNew[std::size_t(k_)]);
    }
    std::vector<double> xi, xj, xk;

  private:
    int i_, j_, k_;
    double transient_;
};

void run(Model model, double time, const RunWatchers& watchers) {
    model.TotalTime = time;
    RunControl control;
    Run_Model(model, {}, control, watchers);
}

std::string folder;

// The plot in each format, timed.
template <class Data>
void save(const std::string& name, const Data& data,
          std::string (*draw)(const Data&, PlotFormat, const char*)) {
    for (const char* extension : {".png", ".svg", ".pdf"}) {
        const std::string path = folder + "/" + name + extension;
        const auto start = std::chrono::steady_clock::now();
        const std::string bytes = draw(data, Plot_Format_For(path), "lv-plot-gallery");
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::ofstream(path, std::ios::binary) << bytes;
        std::printf("%-34s %8.3f s %9zu bytes\n", (name + extension).c_str(), took.count(),
                    bytes.size());
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: lv-plot-gallery FOLDER [FILE.p] [RUNS]\n";
        return 2;
    }
    folder = argv[1];
    const std::string file = argc > 2 ? argv[2] : "examples/chaotic-4.p";
    const int runs = argc > 3 ? std::stoi(argv[3]) : 300;
    const std::string subject = file.substr(file.rfind('/') + 1);
    try {
        Model model;
        Load_P_File(file, model);

        // The exponent so far, on both time axes.
        RunHistory history(std::nullopt, model.Nanimals);
        RunWatchers watching;
        watching.observers.push_back(&history);
        {
            Model m = model;
            RunControl control;
            const RunResult r = Run_Model(m, {30, std::nullopt}, control, watching);
            HistoryPlotData h{history.Times(), history.Exponents(), r.steps, subject};
            save("history", h, History_Plot_File);
            h.logTime = true;
            save("history-log-t", h, History_Plot_File);
        }

        // The orbit diagram: the maxima of x(0) after t = 300 over r(1) from 0.5 to 1.
        OrbitPlotData orbit{"r(1)", 0, {}, {}, 300, subject};
        for (int v = 0; v < runs; ++v) {
            Model m = model;
            const double r1 = 0.5 + 0.5 * v / (runs - 1);
            m.Species.rows[1].r = r1;
            PopulationMaxima maxima(0, orbit.transient, 100000);
            RunWatchers w;
            w.analyses.push_back(&maxima);
            run(m, 1500, w);
            for (double x : maxima.Values()) {
                orbit.values.push_back(r1);
                orbit.maxima.push_back(x);
            }
        }
        save("orbit", orbit, Orbit_Plot_File);

        // The attractor: x(1) against x(0), after t = 100, for a short run (a line), a long
        // one (a density), and the long one coloured by x(2).
        struct Attractor {
            const char* name;
            double time;
            bool coloured;
        };
        for (const Attractor& c :
             {Attractor{"attractor-line", 250, false}, Attractor{"attractor-density", 5000, false},
              Attractor{"attractor-coloured", 2000, true},
              Attractor{"attractor-coloured-density", 5000, true}}) {
            Path path(0, 1, 2, 100);
            RunWatchers w;
            w.analyses.push_back(&path);
            run(model, c.time, w);
            AttractorPlotData a{0, 1, std::nullopt, path.xi, path.xj, {}, 100, subject};
            if (c.coloured) {
                a.k = 2;
                a.xk = path.xk;
            }
            save(c.name, a, Attractor_Plot_File);
        }
    } catch (const std::exception& e) {
        std::cerr << "lv-plot-gallery: " << Failure_Text(e) << "\n";
        return 1;
    }
    return 0;
}
