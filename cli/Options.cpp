#include "Options.h"

#include <limits>

#include "LvError.h"

const char* const Usage =
    "Usage: lv-run [options] [--] FILE\n"
    "Loads a Lotka-Volterra parameter file, runs the model without a window and prints the\n"
    "mean Lyapunov exponent as the window's caption does (\"LE = 0.020312\"). FILE - reads\n"
    "standard input; -- ends the options (for a FILE whose name starts with -).\n"
    "\n"
    "  --style dat|p     which reader; default: dat when FILE ends in \".dat\" (any case),\n"
    "                    else p\n"
    "  --time T          run for model time T (\"Set To:\"); default: the file's run time\n"
    "  --continuous      run time -1 (\"Continuous\"); needs --steps\n"
    "  --steps N         stop after N steps (as \"Stop\" pressed during step N), up to\n"
    "                    9223372036854775807; needed when the run time is 0 or less, or\n"
    "                    when the running sum of the time step can never reach it\n"
    "  --random          random initial populations (as \"Random\")\n"
    "  --seed S          seed for the random colours and populations (default: the clock)\n"
    "  --window-time W   the chart's window time (default 210), which sets the steps per\n"
    "                    chart column with the time step and the chart width\n"
    "  --width PX        inner width of the chart, 1 to 32766 (default 700)\n"
    "  --height PX       inner height of the chart, 1 to 32766 (default 250)\n"
    "  --image FILE      write the strip chart as a Windows bitmap under exactly this name\n"
    "  --history FILE    write the run's history as CSV: step, t, LE (the exponent so far)\n"
    "                    and x0 ... x(N-1), a row at every chart column and one for the last\n"
    "                    step; a run that fails has its rows up to the failure. FILE - is\n"
    "                    standard output, where the result line is then left out\n"
    "  --history-every N a row at every N-th chart column only (default 1)\n"
    "  --history-plot FILE.png\n"
    "                    draw the exponent so far against t, to see whether it has settled\n"
    "  --json            print one JSON object instead of the caption line: LE, steps,\n"
    "                    t (model time covered), N, TotalTime, dt, PlotInterval and x\n"
    "                    (final populations of rows 0 to N-1), clamps (how often a\n"
    "                    population was set back to 0.9999999), and what the options below add\n"
    "  --spectrum        the whole Lyapunov spectrum of the Euler map (tangent vectors and\n"
    "                    QR every 10 steps) and its Kaplan-Yorke dimension: lines Spectrum =\n"
    "                    and Dimension = (JSON: spectrum, dimension)\n"
    "  --method M        the largest exponent from twin (the perturbed copy, default) or\n"
    "                    tangent (one tangent vector of the linearised map)\n"
    "  --discard T       leave the first T units of model time out of every exponent's mean\n"
    "  --equilibrium     the interior fixed point, whether it is feasible, the eigenvalues of\n"
    "                    the flow's Jacobian there and its kind (JSON: equilibrium)\n"
    "Numbers in the CSV and the JSON are the shortest texts that read back to the same\n"
    "double. A stop signal (Ctrl-C, kill, a batch system's time limit) ends the run at once\n"
    "and leaves no file of it.\n"
    "  --help            print this text\n";

std::vector<int> Phase_Rows(const std::string& text) {
    std::vector<int> rows;
    std::size_t at = 0;
    for (;;) {
        const std::size_t comma = text.find(',', at);
        rows.push_back(
            Whole_Option<int>("--phase", text.substr(at, comma - at), 0, MaxSpecies - 1));
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    if (rows.size() < 2 || rows.size() > 3)
        throw UsageError{"--phase is I,J or I,J,K, not " + Quote_For_Message(text)};
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (rows[i] == rows[j])
                throw UsageError{"--phase " + Quote_For_Message(text) + ": the rows must differ"};
    return rows;
}

Options Parse_Options(int argc, char** argv) {
    Options o;
    CLI::App app{"lv-run"};
    app.set_help_flag();
    app.add_flag("-h,--help", o.help);
    o.run.Add_To(app);
    const auto last = CLI::MultiOptionPolicy::TakeLast;
    app.add_flag("--random", o.random);
    app.add_option_function<std::string>(
           "--seed",
           [&o](const std::string& v) {
               o.seed =
                   Whole_Option<uint32_t>("--seed", v, 0, std::numeric_limits<uint32_t>::max());
           })
        ->multi_option_policy(last);
    for (auto [name, side] : {std::pair{"--width", &o.width}, std::pair{"--height", &o.height}})
        app.add_option_function<std::string>(name,
                                             [name = name, side = side](const std::string& v) {
                                                 *side =
                                                     Whole_Option<int>(name, v, 1, MaxChartSide);
                                             })
            ->multi_option_policy(last);
    Add_File_Option(app, "--image", o.image);
    Add_File_Option(app, "--history", o.history);
    app.add_option_function<std::string>("--history-every",
                                         [&o](const std::string& v) {
                                             o.historyEvery = Whole_Option<long long>(
                                                 "--history-every", v, 1,
                                                 std::numeric_limits<long long>::max());
                                         })
        ->multi_option_policy(last);
    Add_File_Option(app, "--history-plot", o.historyPlot);
    app.add_flag("--history-log-time", o.historyLogTime);
    Add_File_Option(app, "--phase-plot", o.phasePlot);
    app.add_option_function<std::string>("--phase",
                                         [&o](const std::string& v) {
                                             o.phase = Phase_Rows(v);
                                             o.phaseGiven = true;
                                         })
        ->multi_option_policy(last);
    app.add_flag("--json", o.json);
    app.add_flag("--spectrum", o.analyses.spectrum);
    app.add_flag("--equilibrium", o.analyses.equilibrium);
    Add_Exponent_Options(app, o.analyses.tangent, o.analyses.discard);
    app.add_option("FILE", o.file);
    // What CLI11 does not take is a second FILE or an option it does not know.
    app.allow_extras();
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        throw UsageError{Escape_For_Terminal(e.what())};
    }
    // What CLI11 leaves is an option it does not know, or, after "--" or a FILE, a second
    // FILE.
    bool options = true;
    for (const std::string& extra : app.remaining()) {
        if (extra == "--" && options) {
            options = false;
            continue;
        }
        if (options && extra.size() > 1 && extra[0] == '-')
            throw UsageError{"unknown option " + Quote_For_Message(extra)};
        throw UsageError{"only one FILE, not also " + Quote_For_Message(extra)};
    }
    if (o.help) return o;
    if (o.file.empty()) throw UsageError{"no parameter FILE given"};
    if (o.history == "-" && o.json)
        throw UsageError{"--history - and --json both write to standard output"};
    if (o.historyLogTime && !o.historyPlot)
        throw UsageError{"--history-log-time needs --history-plot FILE"};
    if (o.phaseGiven && !o.phasePlot) throw UsageError{"--phase needs --phase-plot FILE"};
    o.run.Check();
    return o;
}
