// lv-sweep: runs one parameter file at many points (a range of a parameter, a grid of two,
// random initial populations for a range of seeds) in one process on every processor, and
// writes one CSV row a point; `lv-sweep merge` joins the shards of a sweep run apart.

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Convert.h"
#include "LvError.h"
#include "ParamFiles.h"
#include "PlotInterval.h"
#include "Plots.h"
#include "Random.h"
#include "RunOptions.h"
#include "SaveFile.h"
#include "StopSignals.h"
#include "SweepCsv.h"
#include "SweepExecutor.h"
#include "SweepIdentity.h"
#include "SweepLanes.h"
#include "SweepMerge.h"
#include "SweepPartial.h"
#include "SweepPoints.h"
#include "SweepProgress.h"
#include "SweepRun.h"

namespace {

const char* const Usage =
    "Usage: lv-sweep [options] [--] FILE\n"
    "       lv-sweep merge [-o FILE] SHARD...\n"
    "Runs a Lotka-Volterra parameter file at many points, each as `lv-run --json` runs a file\n"
    "that holds the point's values, and writes one CSV row a point, in point order. FILE -\n"
    "reads standard input; -- ends the options (for a FILE whose name starts with -).\n"
    "\n"
    "  --vary NAME=FROM:TO:COUNT  COUNT values FROM + (TO - FROM) * i / (COUNT - 1),\n"
    "                    i = 0..COUNT-1 (COUNT 1: FROM); once, or twice for a grid (the first\n"
    "                    NAME varies slowest). NAME: r(k), x(k), a(i,j), dt, TotalTime, with\n"
    "                    the 0-based rows of the file\n"
    "  --seeds FROM:TO   one run per seed, random initial populations as\n"
    "                    `lv-run --random --seed S` (alone, or with --vary: the seeds vary\n"
    "                    fastest)\n"
    "  --time T          run for model time T; default: the file's run time\n"
    "  --continuous      run time -1; needs --steps\n"
    "  --steps N         stop each run after N steps; needed when a run would not end\n"
    "  --style dat|p     which reader; default: dat when FILE ends in \".dat\", else p\n"
    "  --window-time W   the chart's window time (default 210), as lv-run's\n"
    "  --threads N       worker threads (default: every processor the program may use; at\n"
    "                    most four to a processor, where more only cost memory)\n"
    "  --shard K/N       only the points whose index is K modulo N (0 <= K < N)\n"
    "  --csv FILE        write the CSV to FILE, whole or not at all (default: standard\n"
    "                    output)\n"
    "  --plot FILE.png   LE against the parameter (one --vary), a colour map (two), or a\n"
    "                    histogram of LE (--seeds alone); with --maxima and one --vary, the\n"
    "                    orbit diagram: every maximum against the parameter. PNG, or SVG or\n"
    "                    PDF when the name ends in .svg or .pdf\n"
    "  --spectrum        each run's whole Lyapunov spectrum and Kaplan-Yorke dimension\n"
    "  --method M        the largest exponent from twin (default) or tangent\n"
    "  --discard T       leave the first T units of model time out of every exponent\n"
    "  --maxima K        the local maxima of x(K) after the discard, in every run\n"
    "  --maxima-csv FILE the maxima, a row each: point, the varied values, seed, value\n"
    "  --resume          go on with an interrupted sweep: take the points finished from\n"
    "                    FILE.partial of --csv FILE, run the rest, write FILE whole (the\n"
    "                    bytes an uninterrupted sweep writes) and remove FILE.partial\n"
    "  --quiet           no progress on standard error and no closing line\n"
    "  --help            print this text\n"
    "\n"
    "CSV columns: point, each NAME, seed, status (ok or the error kind), LE, with --spectrum\n"
    "L0 ... L(N-1) and dimension, steps, t, clamps, x0 ... x(N-1), message, sweep (the\n"
    "sweep's digest, number of points and definition). A failed point keeps its row; the\n"
    "exit status is 0 when the sweep ran, 1 when it could not, 2 for a bad command line.\n"
    "`lv-sweep merge` joins the shards' CSVs into the sweep's: -o FILE writes it whole or\n"
    "not at all (default: standard output), SHARD - reads standard input;\n"
    "`lv-sweep merge --help` says more.\n"
    "\n"
    "The points run side by side in vector lanes, each with the results it has alone;\n"
    "LV_SWEEP_LANES=NAME in the environment forces a build of the lanes (single: every point\n"
    "alone).\n";

const char* const MergeUsage =
    "Usage: lv-sweep merge [-o FILE] SHARD...\n"
    "Joins the CSVs of a sweep's shards (lv-sweep --shard K/N) into the CSV of the whole\n"
    "sweep, the same bytes as the sweep run in one process. The shards are read side by\n"
    "side, a row of each at a time, so memory does not grow with their size. SHARD -\n"
    "reads standard input.\n"
    "\n"
    "  -o FILE   write the merged CSV to FILE, whole or not at all: a merge that fails\n"
    "            leaves FILE as it was. FILE may be one of the shards, which it replaces\n"
    "            once every shard has been read. Default: standard output, written as the\n"
    "            rows are merged, so that a merge that fails there has written part of them\n"
    "  --help    print this text\n"
    "\n"
    "Refuses, naming the file and line: a text that is not a sweep's CSV, shards of\n"
    "different sweeps, a shard whose points do not increase, a point given twice, a row\n"
    "whose values or seed are not those of its point, and points that no shard has. A UTF-8\n"
    "byte order mark and blank lines at a shard's end are let through. The exit status is\n"
    "0 when the shards merged, 1 when they did not, 2 for a bad command line.\n";

struct SweepOptions {
    RunOptions run;
    std::vector<std::string> vary;
    std::optional<std::string> seeds, shard, csv, plot, maximaCsv;
    std::optional<std::string> orbitPlot;  // --plot, when it draws the maxima
    SweepAnalyses analyses;
    int threads = 0;  // 0: every usable processor
    bool quiet = false;
    bool resume = false;
    bool help = false;
    std::string file;
    bool merge = false;
    bool mergeHelp = false;
    std::vector<std::string> shards;
    std::optional<std::string> output;  // merge -o
    std::optional<SweepPoints> points;  // what --vary, --seeds and --shard make
};

[[noreturn]] void usage(const std::string& message) {
    throw UsageError{message};
}

// Standard output, with every failure of a write named (a full disk, a closed pipe).
void writeOut(const std::string& bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size())
        throw File_Error(errno ? errno : EIO, "writing standard output");
}
void flushOut() {
    if (std::fflush(stdout) != 0) throw File_Error(errno ? errno : EIO, "writing standard output");
}

// Standard output that is one of the shards would be read while it is written, and a
// shell's `>` has emptied it before the merge began.
void refuseOutputShard(const std::vector<std::string>& paths) {
    struct stat out {};
    if (::fstat(STDOUT_FILENO, &out) != 0 || !S_ISREG(out.st_mode)) return;
    for (const std::string& path : paths) {
        struct stat in {};
        const bool isStdin = path == "-";
        if ((isStdin ? ::fstat(STDIN_FILENO, &in) : ::stat(path.c_str(), &in)) == 0 &&
            in.st_dev == out.st_dev && in.st_ino == out.st_ino)
            throw SweepMergeError{
                "standard output is the shard " +
                (isStdin ? std::string("on standard input") : Quote_For_Message(path, 200)) +
                " (a shell's > empties it before the merge begins): write the merged CSV with "
                "-o FILE"};
    }
}

int merge(const SweepOptions& o) {
    if (!o.output) refuseOutputShard(o.shards);
    // Every shard is open at once: as many files as the system lets the program have.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        (void)::setrlimit(RLIMIT_NOFILE, &files);
    }
    std::vector<std::unique_ptr<ShardSource>> shards;
    for (const std::string& path : o.shards) shards.push_back(Open_Shard(path));
    if (o.output) {
        // Every shard has been read when the file is replaced, so it may be one of them.
        SaveFile file(*o.output);
        Merge_Shards(shards, [&file](std::string_view bytes) { file.Write(bytes); });
        file.Commit();
    } else {
        Merge_Shards(shards, [](std::string_view bytes) {
            if (const int err = Write_All(STDOUT_FILENO, bytes))
                throw File_Error(err, "writing standard output");
        });
    }
    return 0;
}

SweepPlotData plotFrame(const SweepPoints& points, const std::string& file) {
    SweepPlotData d;
    for (const SweepAxis& a : points.Axes())
        d.axes.push_back({a.parameter.name, a.from, a.to, a.count});
    if (points.Seeds()) {
        d.seeds = points.Seeds()->Count();
        d.seedRange = std::make_pair(points.Seeds()->from, points.Seeds()->to);
    }
    const std::size_t slash = file.rfind('/');
    d.subject = file == "-"                  ? "standard input"
                : slash == std::string::npos ? file
                                             : file.substr(slash + 1);
    d.totalPoints = points.Total();
    return d;
}

// A stop signal came while the points ran.
struct Interrupted {
    int signal;
};

std::string signalName(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
    }
    return "signal " + std::to_string(signal);
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// What the closing line and the plot need of a row taken from an interrupted sweep's CSV:
// its status and exponent, which stand after the point, its values and its seed, none of
// them quoted.
struct Resumed {
    std::string status;
    std::optional<double> LE;
    bool clamped = false;
};

// The first `count` fields of a record whose fields up to there are not quoted.
std::vector<std::string_view> leadingFields(std::string_view record, std::size_t count) {
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    while (fields.size() < count) {
        const std::size_t comma = record.find(',', at);
        if (comma == std::string_view::npos) break;
        fields.push_back(record.substr(at, comma - at));
        at = comma + 1;
    }
    return fields;
}

double numberField(std::string_view field) {
    return std::strtod(std::string(field).c_str(), nullptr);
}

// `spectrum`: the row has the N exponents and the dimension before steps, t and clamps.
Resumed resumedRow(std::string_view record, std::size_t axes, std::size_t spectrum) {
    const std::size_t clamps = axes + 4 + spectrum + 2;
    const std::vector<std::string_view> fields = leadingFields(record, clamps + 1);
    Resumed r;
    if (fields.size() < axes + 4) return r;
    r.status = std::string(fields[axes + 2]);
    if (r.status == "ok") r.LE = numberField(fields[axes + 3]);
    r.clamped = fields.size() > clamps && fields[clamps] != "0";
    return r;
}

int sweep(const SweepOptions& o) {
    const SweepPoints& points = *o.points;
    // The file and the run settings, as lv-run reads them; a fault from here on means the
    // sweep could not run.
    const bool dat = o.run.Dat_Style(o.file);
    SweepBase base;
    Mt19937Random colours;  // the column style's colours, which no point uses
    o.run.Load(o.file, base.model, colours);
    o.run.Apply_Run_Time(base.model);
    const int16_t windowTime = o.run.Window_Time();
    std::vector<SweepParameter> parameters;
    for (const SweepAxis& a : points.Axes()) {
        try {
            a.parameter.Check_Rows(base.model.Nanimals);
        } catch (const SweepOptionError& e) {
            throw UsageError{e.message};
        }
        parameters.push_back(a.parameter);
    }
    base.steps = o.run.steps;
    base.windowTime = windowTime;
    base.analyses = o.analyses;
    if (o.analyses.maxima && *o.analyses.maxima >= base.model.Nanimals)
        throw UsageError{"--maxima " + std::to_string(*o.analyses.maxima) +
                         ": the file's rows are 0 to " + std::to_string(base.model.Nanimals - 1)};
    RunControl stop;  // set on a stop signal: every point's run ends after its step
    const SweepRun run(base, parameters, &stop);
    if (!run.Settings_Vary()) {
        // Every point would fail alike: refuse the sweep as lv-run refuses the run.
        (void)Plot_Interval(windowTime, base.model.dt, base.chartWidth);
        o.run.Check_Run_Ends(base.model.TotalTime, base.model.dt);
        Check_Discard(base.analyses.discard, base.model.TotalTime, base.model.dt, base.steps);
    }

    std::vector<std::string> names;
    for (const SweepAxis& a : points.Axes()) names.push_back(a.parameter.name);
    const std::string identity = Sweep_Identity(base, points, dat);
    const SweepCsv csv(names, base.model.Nanimals, identity, o.analyses.spectrum);
    // --csv: the file appears, whole, when the sweep has run.
    std::optional<SaveFile> csvFile;
    if (o.csv) csvFile.emplace(*o.csv);
    auto put = [&](std::string_view text) {
        if (csvFile)
            csvFile->Write(text);
        else
            writeOut(std::string(text));
    };
    std::optional<SweepPlotData> plot;
    std::optional<SaveFile> plotFile;  // opened before the sweep, as the CSV is
    if (o.plot) {
        plot = plotFrame(points, o.file);
        plotFile.emplace(*o.plot);
    }
    SweepProgress progress(points.Count(), !o.quiet);
    auto tally = [&](const SweepPoint& p, std::string_view status, std::optional<double> LE,
                     bool clamped, bool now) {
        if (plot) {
            // The point's own values and places: the plot holds nothing of the points that
            // did not run here.
            const std::vector<long long> cell = points.Cell(p.index);
            PlotPoint q;
            q.x = p.values.empty() ? 0 : p.values[0];
            q.y = p.values.size() < 2 ? 0 : p.values[1];
            q.column = cell.empty() ? 0 : cell[0];
            q.row = cell.size() < 2 ? 0 : cell[1];
            q.LE = LE;
            q.clamped = clamped;
            plot->points.push_back(q);
        }
        progress.Point_Done(status, now);
    };

    // --maxima-csv: every maximum a row, (point, the varied values, seed, value).
    std::optional<SaveFile> maximaFile;
    std::string maximaHeader = "point";
    for (const std::string& n : names) maximaHeader += "," + Csv_Field(n);
    maximaHeader += ",seed,value\r\n";
    if (o.maximaCsv) maximaFile.emplace(*o.maximaCsv);
    // The orbit diagram: every maximum beside its run's value of the one varied parameter.
    std::optional<OrbitPlotData> orbit;
    std::optional<SaveFile> orbitFile;
    if (o.orbitPlot) {
        orbit.emplace();
        orbit->parameter = names.at(0);
        orbit->species = *o.analyses.maxima;
        orbit->transient = o.analyses.discard;
        orbit->subject = plotFrame(points, o.file).subject;
        orbitFile.emplace(*o.orbitPlot);
    }

    // An interrupted sweep goes on from the points its partial CSV holds.
    const std::string partial = o.csv ? Partial_Path(*o.csv) : std::string();
    const std::string maximaPartial = o.maximaCsv ? Partial_Path(*o.maximaCsv) : std::string();
    long long resumed = 0;
    if (o.resume && fileExists(partial)) {
        if (maximaFile) {
            if (!fileExists(maximaPartial))
                throw SweepPartialError{Quote_For_Message(maximaPartial, 200) +
                                        ": not there, so the maxima of the points kept are lost"};
            Resume_Side_Partial(maximaPartial, maximaHeader, [&](std::string_view record) {
                maximaFile->Write(record);
                if (!orbit || record == maximaHeader) return;
                // point, the varied value, seed, value: none of them quoted
                const std::vector<std::string_view> fields = leadingFields(record, 3);
                const std::size_t last = record.find_last_of(',');
                if (fields.size() < 3 || last == std::string_view::npos) return;
                orbit->values.push_back(numberField(fields[1]));
                orbit->maxima.push_back(numberField(record.substr(last + 1)));
            });
        }
        resumed = Resume_From_Partial(partial, csv, points, [&](std::string_view record) {
            put(record);
            if (record.rfind("point,", 0) == 0) return;  // the header
            const Resumed row =
                resumedRow(record, names.size(),
                           o.analyses.spectrum ? std::size_t(base.model.Nanimals) + 1 : 0);
            tally(points.At(progress.Done()), row.status, row.LE, row.clamped, false);
        });
    } else {
        put(csv.Header());
        if (maximaFile) maximaFile->Write(maximaHeader);
    }

    run.Prepare();
    try {
        Run_Points(
            points, Lane_Runner(run),
            o.threads > 0 ? std::min(o.threads, 4 * Usable_Processors()) : Usable_Processors(),
            [&](const PointResult& r) {
                put(csv.Row(r));
                if (maximaFile) {
                    const std::string start = SweepCsv::Row_Start(r.point);
                    for (double m : r.maxima)
                        maximaFile->Write(start + Format_Shortest(m) + "\r\n");
                }
                if (orbit)
                    for (double m : r.maxima) {
                        orbit->values.push_back(r.point.values.at(0));
                        orbit->maxima.push_back(m);
                    }
                tally(r.point, r.status, r.Ok() ? std::optional(r.LE) : std::nullopt, r.clamps > 0,
                      true);
            },
            [&] {
                if (const int signal = Stop_Signal()) {
                    stop.Request_Stop();
                    throw Interrupted{signal};
                }
                if (!o.csv) flushOut();
                progress.Show();
            },
            resumed);
    } catch (const Interrupted& i) {
        // The points finished so far, the first of the shard, kept beside the CSV, which
        // stays as it was; the same command with --resume runs the rest.
        progress.Clear();
        std::string kept = "the rows so far went to standard output";
        if (csvFile) {
            kept = csvFile->Commit_As(partial) ? "kept in " + Quote_For_Message(partial, 200)
                                               : "written to " + Quote_For_Message(*o.csv, 200);
            if (maximaFile) (void)maximaFile->Commit_As(maximaPartial);
            kept += "; the same command with --resume runs the rest";
        } else {
            flushOut();
        }
        std::cerr << "lv-sweep: stopped by " << signalName(i.signal) << " after " << progress.Done()
                  << " of " << points.Count() << " points, " << kept << "\n";
        return 128 + i.signal;
    }

    if (csvFile)
        csvFile->Commit();
    else
        flushOut();
    if (maximaFile) maximaFile->Commit();
    if (o.resume && !partial.empty()) (void)::unlink(partial.c_str());
    if (o.resume && !maximaPartial.empty()) (void)::unlink(maximaPartial.c_str());
    if (plot) {
        plotFile->Write(Sweep_Plot_File(*plot, Plot_Format_For(*o.plot), "lv-sweep"));
        plotFile->Commit();
    }
    if (orbit) {
        orbitFile->Write(Orbit_Plot_File(*orbit, Plot_Format_For(*o.orbitPlot), "lv-sweep"));
        orbitFile->Commit();
    }
    progress.Clear();
    if (!o.quiet) std::cerr << "lv-sweep: " << progress.Summary() << "\n";
    return 0;
}

// The points, from the command line alone: a fault here is a usage error.
void makePoints(SweepOptions& o) {
    std::vector<SweepAxis> axes;
    std::optional<SweepSeeds> seeds;
    SweepShard shard;
    try {
        for (const std::string& v : o.vary) axes.push_back(SweepAxis::Parse(v));
        if (o.seeds) seeds = SweepSeeds::Parse(*o.seeds);
        if (o.shard) shard = SweepShard::Parse(*o.shard);
        for (const SweepAxis& a : axes) {
            using Kind = SweepParameter::Kind;
            if (a.parameter.kind == Kind::RunTime && (o.run.time || o.run.continuous))
                usage("--vary TotalTime sets the run time: leave out --time and --continuous");
            if (a.parameter.kind == Kind::Population && seeds)
                usage("--seeds draws every initial population: --vary " + a.parameter.name +
                      " cannot go with it");
        }
        o.points.emplace(std::move(axes), seeds, shard);
    } catch (const SweepOptionError& e) {
        usage(e.message);
    }
    if (o.plot && o.points->Axes().empty() && !seeds)
        usage("--plot needs --vary or --seeds: a single point makes no plot");
    if (o.plot && o.analyses.maxima && o.points->Axes().size() == 1) o.orbitPlot.swap(o.plot);
    if (o.analyses.maxima && !o.maximaCsv && !o.orbitPlot)
        usage(
            "--maxima K goes to --maxima-csv FILE, or to --plot FILE as the orbit diagram "
            "over one --vary");
    if (o.resume && o.orbitPlot && !o.maximaCsv)
        usage(
            "--resume with the orbit diagram of --plot needs --maxima-csv FILE, whose "
            "partial file keeps the maxima of the points finished");
}

SweepOptions parse(int argc, char** argv) {
    SweepOptions o;
    CLI::App app{"lv-sweep"};
    app.set_help_flag();
    app.add_flag("-h,--help", o.help);
    o.run.Add_To(app);
    app.add_option("--vary", o.vary)->allow_extra_args(false);
    app.add_option_function<std::string>("--seeds", [&o](const std::string& v) { o.seeds = v; })
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option_function<std::string>("--shard", [&o](const std::string& v) { o.shard = v; })
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    Add_File_Option(app, "--csv", o.csv);
    Add_File_Option(app, "--plot", o.plot);
    app.add_option("--threads", o.threads)
        ->check(CLI::Range(1, 4096))
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_flag("--quiet", o.quiet);
    app.add_flag("--resume", o.resume);
    app.add_flag("--spectrum", o.analyses.spectrum);
    Add_Exponent_Options(app, o.analyses.tangent, o.analyses.discard);
    app.add_option_function<std::string>("--maxima",
                                         [&o](const std::string& v) {
                                             o.analyses.maxima = Whole_Option<int>("--maxima", v, 0,
                                                                                   MaxSpecies - 1);
                                         })
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    Add_File_Option(app, "--maxima-csv", o.maximaCsv);
    app.add_option("FILE", o.file);
    CLI::App* mergeCommand = app.add_subcommand("merge", "join the shards of a sweep");
    mergeCommand->set_help_flag();
    mergeCommand->add_flag("-h,--help", o.mergeHelp);
    Add_File_Option(*mergeCommand, "-o", o.output);
    mergeCommand->add_option("SHARD", o.shards);
    app.require_subcommand(0, 1);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        usage(Escape_For_Terminal(e.what()));
    }
    if (o.help) return o;
    o.merge = mergeCommand->parsed();
    if (o.merge) {
        if (o.mergeHelp) return o;
        std::string given;
        for (const CLI::Option* option : app.get_options())
            if (option->count() > 0) given += (given.empty() ? "" : ", ") + option->get_name();
        if (!given.empty())
            usage("the sweep's " + given + " cannot go with merge, which takes -o FILE and SHARD");
        if (o.shards.empty()) usage("merge needs the shards' CSV files");
        if (std::count(o.shards.begin(), o.shards.end(), "-") > 1)
            usage("merge reads standard input (-) once");
        return o;
    }
    if (o.file.empty()) usage("no parameter FILE given");
    if (o.resume && !o.csv) usage("--resume takes up FILE.partial of --csv FILE: give --csv");
    if (o.maximaCsv && !o.analyses.maxima) usage("--maxima-csv needs --maxima K");
    o.run.Check();
    makePoints(o);
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    SweepOptions o;
    try {
        o = parse(argc, argv);
    } catch (const UsageError& e) {
        std::cerr << "lv-sweep: " << e.message << " (see lv-sweep --help)\n";
        return 2;
    }
    try {
        if (o.help || o.mergeHelp) {
            if (const int err = Write_All(STDOUT_FILENO, o.help ? Usage : MergeUsage))
                throw File_Error(err, "writing the help to standard output");
            return 0;
        }
        // A sweep stops at the first stop signal and keeps what it finished; a merge, and a
        // second signal, end at once. Neither leaves a new file behind.
        Catch_Stop_Signals(o.merge);
        return o.merge ? merge(o) : sweep(o);
    } catch (const UsageError& e) {
        std::cerr << "lv-sweep: " << e.message << "\n";
    } catch (const SweepPartialError& e) {
        std::cerr << "lv-sweep: --resume: " << e.message << "\n";
    } catch (const SweepMergeError& e) {
        std::cerr << "lv-sweep merge: " << e.message << "\n";
    } catch (const std::exception& e) {
        std::cerr << (o.merge ? "lv-sweep merge: " : "lv-sweep: ") << Failure_Text(e) << "\n";
    }
    return 1;
}
