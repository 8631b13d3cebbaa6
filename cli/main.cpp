// lv-run: loads a parameter file, runs the competition model without a window and prints
// the Lyapunov exponent (or everything as JSON), optionally saving the strip chart.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "BitmapFile.h"
#include "ChartRows.h"
#include "Convert.h"
#include "HeadlessChart.h"
#include "Initialisers.h"
#include "LvError.h"
#include "ModelRun.h"
#include "Options.h"
#include "ParamFiles.h"
#include "PhasePoints.h"
#include "PixelSurface.h"
#include "PlotInterval.h"
#include "Plots.h"
#include "Random.h"
#include "RunHistory.h"
#include "SaveFile.h"
#include "StopSignals.h"

namespace {

// Standard output as the result's one way out: a write that fails (a full disk, a closed
// stream) is an error, never a result lost without a word.
void Write_Result(const std::string& text, bool outputClosed) {
    const int err = outputClosed ? EBADF : Write_All(STDOUT_FILENO, text);
    if (err) throw File_Error(err, "writing the result to standard output");
}

std::string Base_Name(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The most points a phase plot draws: enough to fill the picture, few enough to draw in a
// moment.
constexpr std::size_t PhasePlotPoints = 200000;

int Run(const Options& o, bool outputClosed) {
    // The colours and the random populations draw from one generator, seeded or from the clock.
    Mt19937Random random(o.seed ? std::optional<uint32_t>(*o.seed) : std::nullopt);
    Model model;
    o.run.Load(o.file, model, random);
    o.run.Apply_Run_Time(model);
    const int16_t plotInterval = Plot_Interval(o.run.Window_Time(), model.dt, float(o.width));
    o.run.Check_Run_Ends(model.TotalTime, model.dt);
    Check_Discard(o.analyses.discard, model.TotalTime, model.dt, o.run.steps);
    RunAnalyses analyses(o.analyses, model);
    for (int row : o.phase)
        if (o.phasePlot && row >= model.Nanimals)
            throw UsageError{"--phase " + std::to_string(row) + ": the file's rows are 0 to " +
                             std::to_string(model.Nanimals - 1)};

    // Every file the run writes is opened before it, so that a name that cannot be written
    // fails at once, not after a long run.
    std::optional<SaveFile> imageFile, plotFile, phaseFile;
    if (o.image) imageFile.emplace(*o.image);
    if (o.phasePlot) phaseFile.emplace(*o.phasePlot);
    std::optional<RunHistory> history;
    if (o.history || o.historyPlot)
        history.emplace(o.history, std::max<int>(model.Nanimals, 0), o.historyEvery);
    if (o.historyPlot) plotFile.emplace(*o.historyPlot);
    // The chart's pixels only when they are asked for; its row rule always.
    std::optional<ChartImage> image;
    std::optional<HeadlessChart> chart;
    ChartRows rows(float(o.width), float(o.height));
    if (o.image) {
        image.emplace(o.width, o.height);
        chart.emplace(image->Surface());
    }
    if (o.random) Random_Populations(model.Species, model.Nanimals, random);

    RunWatchers watchers;
    watchers.observers.push_back(chart ? static_cast<RunObserver*>(&*chart) : &rows);
    if (history) watchers.observers.push_back(&*history);
    RunSettings settings{plotInterval, o.run.steps};
    analyses.Attach(watchers, settings);
    std::optional<PhasePoints> phase;
    if (o.phasePlot) {
        phase.emplace(o.phase[0], o.phase[1], o.phase.size() > 2 ? o.phase[2] : -1,
                      o.analyses.discard, PhasePlotPoints);
        watchers.analyses.push_back(&*phase);
    }
    RunControl control;
    RunResult run;
    try {
        run = Run_Model(model, settings, control, watchers);
    } catch (const LvError&) {
        if (history) history->Commit();  // the rows up to the failure, when they are wanted most
        throw;
    }

    if (imageFile) {
        Write_Bitmap(image->Surface(), *imageFile);
        imageFile->Commit();
    }
    if (history) history->Commit();
    const std::string subject = o.file == "-" ? "standard input" : Base_Name(o.file);
    if (plotFile) {
        plotFile->Write(History_Plot_File(
            {history->Times(), history->Exponents(), run.steps, subject, o.historyLogTime},
            Plot_Format_For(*o.historyPlot), "lv-run"));
        plotFile->Commit();
    }
    if (phaseFile) {
        AttractorPlotData d;
        d.i = o.phase[0];
        d.j = o.phase[1];
        if (o.phase.size() > 2) d.k = o.phase[2];
        d.xi = phase->X();
        d.xj = phase->Y();
        d.xk = phase->Z();
        d.transient = o.analyses.discard;
        d.steps = phase->Steps_Seen();
        d.subject = subject;
        phaseFile->Write(Attractor_Plot_File(d, Plot_Format_For(*o.phasePlot), "lv-run"));
        phaseFile->Commit();
    }

    std::string out;
    if (o.json) {
        out = "{\"LE\": " + Json_Number(analyses.LE(run)) +
              ", \"steps\": " + std::to_string(run.steps) + ", \"t\": " + Json_Number(run.t) +
              ", \"N\": " + std::to_string(model.Nanimals) +
              ", \"TotalTime\": " + Json_Number(model.TotalTime) +
              ", \"dt\": " + Json_Number(model.dt) +
              ", \"PlotInterval\": " + std::to_string(plotInterval) + ", \"x\": [";
        for (int i = 0; i < model.Nanimals; ++i) {
            if (i > 0) out += ", ";
            out += Json_Number(model.Species(i).x);
        }
        out += "]" + analyses.Json(run) + "}\n";
    } else if (o.history != "-") {  // a history on standard output stands alone there
        const std::string c = Info_Caption(analyses.LE(run));
        out = c.substr(0, c.find_first_of("\r\n")) + "\n" + analyses.Text(run);
    }
    Write_Result(out, outputClosed);
    return 0;
}

// A standard stream that was closed leaves its number free, and the next file opened (the
// parameter file, the image) would take it and receive what is meant for the stream. Each
// closed one gets /dev/null instead; says whether standard output was closed.
bool Fill_Closed_Standard_Streams() {
    bool outputClosed = false;
    for (;;) {
        const int fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        if (fd < 0) break;
        if (fd > STDERR_FILENO) {
            ::close(fd);
            break;
        }
        ::fcntl(fd, F_SETFD, 0);  // a stream stays open for any program started from here
        if (fd == STDOUT_FILENO) outputClosed = true;
    }
    return outputClosed;
}

}  // namespace

int main(int argc, char** argv) {
    const bool outputClosed = Fill_Closed_Standard_Streams();
    std::setlocale(LC_ALL, "");
    Options o;
    try {
        o = Parse_Options(argc, argv);
    } catch (const UsageError& e) {
        std::cerr << "lv-run: " << e.message << " (see lv-run --help)\n";
        return 2;
    }
    Catch_Stop_Signals(true);  // a signal ends the run at once, and leaves no new file
    try {
        if (o.help) {
            Write_Result(Usage, outputClosed);
            return 0;
        }
        return Run(o, outputClosed);
    } catch (const UsageError& e) {
        std::cerr << "lv-run: " << e.message << "\n";
    } catch (const std::exception& e) {
        std::cerr << "lv-run: " << Failure_Text(e) << "\n";
    }
    return 1;
}
