#include "Options.h"

#include <charconv>
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
    "  --json            print one JSON object instead of the caption line: LE, steps,\n"
    "                    t (model time covered), N, TotalTime, dt, PlotInterval and x\n"
    "                    (final populations of rows 0 to N-1), 17 significant digits\n"
    "  --help            print this text\n";

namespace {

template <class Int>
Int Parse_Whole(const std::string& option, const std::string& text, Int low, Int high) {
    Int value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
        throw UsageError{option + " needs a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not " + Quote_For_Message(text)};
    return value;
}

bool Ends_With_Dat(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return tail == ".dat";
}

}  // namespace

Options Parse_Options(int argc, char** argv) {
    Options o;
    bool haveFile = false;
    bool optionsEnded = false;
    auto fileArgument = [&](const std::string& name) {
        if (haveFile) throw UsageError{"only one FILE, not also " + Quote_For_Message(name)};
        o.file = name;
        haveFile = true;
    };
    for (int i = 1; i < argc; ++i) {
        if (optionsEnded) {
            fileArgument(argv[i]);
            continue;
        }
        std::string arg = argv[i];
        std::optional<std::string> inlineValue;
        if (arg.rfind("--", 0) == 0) {
            const std::size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                inlineValue = arg.substr(eq + 1);
                arg.resize(eq);
            }
        }
        auto value = [&]() -> std::string {
            if (inlineValue) return *inlineValue;
            if (i + 1 >= argc) throw UsageError{arg + " needs a value"};
            return argv[++i];
        };
        auto flag = [&] {
            if (inlineValue) throw UsageError{arg + " takes no value"};
        };
        if (arg == "--help" || arg == "-h") {
            flag();
            o.help = true;
        } else if (arg == "--style") {
            const std::string v = value();
            if (v != "dat" && v != "p")
                throw UsageError{"--style is dat or p, not " + Quote_For_Message(v)};
            o.datStyle = (v == "dat");
        } else if (arg == "--time") {
            o.time = value();
        } else if (arg == "--continuous") {
            flag();
            o.continuous = true;
        } else if (arg == "--steps") {
            o.steps = Parse_Whole<int64_t>(arg, value(), 1, std::numeric_limits<int64_t>::max());
        } else if (arg == "--random") {
            flag();
            o.random = true;
        } else if (arg == "--seed") {
            o.seed = Parse_Whole<uint32_t>(arg, value(), 0, std::numeric_limits<uint32_t>::max());
        } else if (arg == "--window-time") {
            o.windowTime = value();
        } else if (arg == "--width") {
            o.width = Parse_Whole<int>(arg, value(), 1, MaxChartSide);
        } else if (arg == "--height") {
            o.height = Parse_Whole<int>(arg, value(), 1, MaxChartSide);
        } else if (arg == "--image") {
            o.image = value();
            if (o.image->empty()) throw UsageError{"--image needs a file name"};
        } else if (arg == "--json") {
            flag();
            o.json = true;
        } else if (arg == "--" && !inlineValue) {
            optionsEnded = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError{"unknown option " + Quote_For_Message(argv[i])};
        } else {
            fileArgument(argv[i]);
        }
    }
    if (o.help) return o;
    if (!haveFile) throw UsageError{"no parameter FILE given"};
    if (o.continuous && o.time) throw UsageError{"--continuous and --time exclude each other"};
    if (o.continuous && !o.steps) throw UsageError{"--continuous needs --steps N"};
    if (!o.datStyle) o.datStyle = Ends_With_Dat(o.file);
    return o;
}
