// lv-run: loads a parameter file, runs the competition model without a window and prints
// the Lyapunov exponent (or everything as JSON), optionally saving the strip chart.

#include <QImage>
#include <QString>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "Convert.h"
#include "Globals.h"
#include "Initialisers.h"
#include "LvError.h"
#include "ModelRun.h"
#include "ModelView.h"
#include "ParamFiles.h"
#include "Random.h"
#include "StripChart.h"

namespace {

const char* const Usage =
    "Usage: lv-run [options] FILE\n"
    "Loads a Lotka-Volterra parameter file, runs the model without a window and prints the\n"
    "mean Lyapunov exponent as the window's caption does (\"LE = 0.020312\").\n"
    "\n"
    "  --style dat|p     which reader; default: dat when FILE ends in \".dat\" (any case),\n"
    "                    else p\n"
    "  --time T          run for model time T (\"Set To:\"); default: the file's run time\n"
    "  --continuous      run time -1 (\"Continuous\"); needs --steps\n"
    "  --steps N         stop after N steps (as \"Stop\" pressed during step N); needed when\n"
    "                    the run time is 0 or less\n"
    "  --random          random initial populations (as \"Random\")\n"
    "  --seed S          seed for the random colours and populations (default: the clock)\n"
    "  --window-time W   the chart's window time (default 210), which sets the steps per\n"
    "                    chart column with the time step and the chart width\n"
    "  --width PX        inner width of the chart (default 700)\n"
    "  --height PX       inner height of the chart (default 250)\n"
    "  --image FILE      write the strip chart as a Windows bitmap under exactly this name\n"
    "  --json            print one JSON object instead of the caption line: LE, steps,\n"
    "                    t (model time covered), N, TotalTime, dt, PlotInterval and x\n"
    "                    (final populations of rows 0 to N-1), 17 significant digits\n"
    "  --help            print this text\n";

struct UsageError {
    std::string message;
};

struct Options {
    std::string file;
    std::optional<bool> datStyle;
    std::optional<std::string> time;
    bool continuous = false;
    std::optional<int32_t> steps;
    bool random = false;
    std::optional<uint32_t> seed;
    std::string windowTime = "210";
    int width = 700;
    int height = 250;
    std::optional<std::string> image;
    bool json = false;
    bool help = false;
};

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

Options Parse_Options(int argc, char** argv) {
    Options o;
    bool haveFile = false;
    for (int i = 1; i < argc; ++i) {
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
            if (v != "dat" && v != "p") throw UsageError{"--style is dat or p, not " + v};
            o.datStyle = (v == "dat");
        } else if (arg == "--time") {
            o.time = value();
        } else if (arg == "--continuous") {
            flag();
            o.continuous = true;
        } else if (arg == "--steps") {
            o.steps = Parse_Whole<int32_t>(arg, value(), 1, std::numeric_limits<int32_t>::max());
        } else if (arg == "--random") {
            flag();
            o.random = true;
        } else if (arg == "--seed") {
            o.seed = Parse_Whole<uint32_t>(arg, value(), 0, std::numeric_limits<uint32_t>::max());
        } else if (arg == "--window-time") {
            o.windowTime = value();
        } else if (arg == "--width") {
            o.width = Parse_Whole<int>(arg, value(), 1, 32767);
        } else if (arg == "--height") {
            o.height = Parse_Whole<int>(arg, value(), 1, 32767);
        } else if (arg == "--image") {
            o.image = value();
            if (o.image->empty()) throw UsageError{"--image needs a file name"};
        } else if (arg == "--json") {
            flag();
            o.json = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError{"unknown option " + arg};
        } else {
            if (haveFile) throw UsageError{"only one FILE, not also " + arg};
            o.file = arg;
            haveFile = true;
        }
    }
    if (o.help) return o;
    if (!haveFile) throw UsageError{"no parameter FILE given"};
    if (o.continuous && o.time) throw UsageError{"--continuous and --time exclude each other"};
    if (o.continuous && !o.steps) throw UsageError{"--continuous needs --steps N"};
    if (!o.datStyle) o.datStyle = Ends_With_Dat(o.file);
    return o;
}

// The runner's side of the model run: an off-screen chart, no pause, no events to process.
// Do_Events comes exactly once per step, so it counts the steps and stops the run at --steps.
class HeadlessView : public ModelView {
  public:
    HeadlessView(QImage& image, std::optional<int32_t> maxSteps)
        : chart_(image), maxSteps_(maxSteps) {}

    void Clear_Picture() override { chart_.Clear(); }
    void Graph_Populations(const int16_t& n) override {
        try {
            chart_.Graph_Populations(n);
        } catch (const LvError& e) {
            throw e.within("strip chart at step " + std::to_string(steps_ + 1) + ", column " +
                           std::to_string(PlotColumn));
        }
    }
    void Set_Info_Caption(const std::string& caption) override { caption_ = caption; }
    void Do_Events() override {
        ++steps_;
        time_ = dt + time_;  // the model time covered, summed as the run sums it
        if (maxSteps_ && steps_ >= *maxSteps_) StopRequested = -1;
    }

    int64_t Steps() const { return steps_; }
    double Time() const { return time_; }
    const std::string& Caption() const { return caption_; }

  private:
    StripChart chart_;
    std::optional<int32_t> maxSteps_;
    int64_t steps_ = 0;
    double time_ = 0;
    std::string caption_;
};

// Shortest text that reads back to the same double needs at most 17 significant digits;
// always 17 here, with '.' whatever the locale says.
std::string Json_Number(double v) {
    if (!std::isfinite(v)) return "null";
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 17);
    return std::string(buf, res.ptr);
}

// floor(Wt / dt / W) as a 16-bit count of steps between chart columns.
int16_t Plot_Interval(const std::string& windowTime, float chartWidth) {
    const int16_t wt = Text_To_Int16(windowTime);
    if (dt == 0) throw LvError(ErrorKind::DivisionByZero, "window time / dt with dt = 0");
    const double perColumn = double(wt) / dt / double(chartWidth);
    try {
        return Round_To_Int16(std::floor(perColumn));
    } catch (const LvError& e) {
        throw e.within("steps per chart column " + Json_Number(std::floor(perColumn)));
    }
}

int Run(const Options& o) {
    std::optional<Mt19937Random> seeded;
    if (o.seed) {
        seeded.emplace(*o.seed);
        Set_Random_Source(&*seeded);
    }

    if (*o.datStyle)
        Load_Dat_File(o.file);
    else
        Load_P_File(o.file);

    StopRequested = 0;
    if (o.continuous) TotalTime = -1;
    if (o.time) {
        try {
            TotalTime = Text_To_Double(*o.time);
        } catch (const LvError& e) {
            throw e.within("--time");
        }
    }
    if (TotalTime <= 0 && !o.steps)
        throw UsageError{"the run time is " + Json_Number(TotalTime) +
                         ", so the run is continuous: give --steps N"};

    QImage image(o.width, o.height, QImage::Format_RGB32);
    HeadlessView view(image, o.steps);
    int16_t plotInterval;
    try {
        plotInterval = Plot_Interval(o.windowTime, float(image.width()));
    } catch (const LvError& e) {
        throw e.within("--window-time " + Quote_For_Message(o.windowTime));
    }
    if (o.random) Random_Populations(Nanimals);

    Run_Model(view, Nanimals, plotInterval, TotalTime);

    if (o.image && !image.save(QString::fromLocal8Bit(o.image->c_str()), "BMP")) {
        std::cerr << "lv-run: cannot write the image " << Quote_For_Message(*o.image, 200) << "\n";
        return 1;
    }

    if (o.json) {
        std::string out =
            "{\"LE\": " + Json_Number(LE) + ", \"steps\": " + std::to_string(view.Steps()) +
            ", \"t\": " + Json_Number(view.Time()) + ", \"N\": " + std::to_string(Nanimals) +
            ", \"TotalTime\": " + Json_Number(TotalTime) + ", \"dt\": " + Json_Number(dt) +
            ", \"PlotInterval\": " + std::to_string(plotInterval) + ", \"x\": [";
        for (int i = 0; i < Nanimals; ++i) {
            if (i > 0) out += ", ";
            out += Json_Number(Species(i).x);
        }
        std::cout << out << "]}\n";
    } else {
        const std::string& c = view.Caption();
        std::cout << c.substr(0, c.find_first_of("\r\n")) << "\n";
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    Options o;
    try {
        o = Parse_Options(argc, argv);
    } catch (const UsageError& e) {
        std::cerr << "lv-run: " << e.message << "\n\n" << Usage;
        return 2;
    }
    if (o.help) {
        std::cout << Usage;
        return 0;
    }
    try {
        return Run(o);
    } catch (const LvError& e) {
        std::cerr << "lv-run: " << e.what() << "\n";
    } catch (const UsageError& e) {
        std::cerr << "lv-run: " << e.message << "\n";
    } catch (const std::exception& e) {
        std::cerr << "lv-run: " << e.what() << "\n";
    }
    return 1;
}
