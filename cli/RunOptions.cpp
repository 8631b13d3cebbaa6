#include "RunOptions.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "Convert.h"
#include "LvError.h"
#include "ParamFiles.h"
#include "RunLength.h"

namespace {

bool endsWithDat(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return tail == ".dat";
}

}  // namespace

double Time_Option(const std::string& option, const std::string& text) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value) || value < 0)
        throw UsageError{option + " needs a model time from 0 up, not " + Quote_For_Message(text)};
    return value;
}

void Add_Exponent_Options(CLI::App& app, bool& tangent, double& discard) {
    app.add_option_function<std::string>(
           "--method",
           [&tangent](const std::string& v) {
               if (v != "twin" && v != "tangent")
                   throw UsageError{"--method is twin or tangent, not " + Quote_For_Message(v)};
               tangent = v == "tangent";
           })
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option_function<std::string>(
           "--discard", [&discard](const std::string& v) { discard = Time_Option("--discard", v); })
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

void Check_Discard(double discard, double TotalTime, double dt, std::optional<long long> steps) {
    if (discard <= 0) return;
    // The model time the run covers, as far as it is known before it.
    double length = TotalTime > 0 ? TotalTime : -1;
    if (steps && dt > 0) {
        const double limited = double(*steps) * dt;
        length = length < 0 ? limited : std::min(length, limited);
    }
    if (length >= 0 && discard >= length)
        throw LvError(ErrorKind::InvalidCall,
                      "--discard " + Format_Shortest(discard) + " leaves no step of a run of " +
                          Format_Shortest(length) + " units of model time to count");
}

CLI::Option* Add_File_Option(CLI::App& app, const char* name, std::optional<std::string>& into) {
    return app
        .add_option_function<std::string>(
            name,
            [name, &into](const std::string& v) {
                if (v.empty()) throw UsageError{std::string(name) + " needs a file name"};
                into = v;
            })
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

void RunOptions::Add_To(CLI::App& app) {
    const auto last = CLI::MultiOptionPolicy::TakeLast;
    app.add_option_function<std::string>(
           "--style",
           [this](const std::string& v) {
               if (v != "dat" && v != "p")
                   throw UsageError{"--style is dat or p, not " + Quote_For_Message(v)};
               datStyle = v == "dat";
           },
           "which reader; default: dat when FILE ends in \".dat\" (any case), else p")
        ->multi_option_policy(last);
    app.add_option_function<std::string>(
           "--time", [this](const std::string& v) { time = v; },
           "run for model time T (\"Set To:\"); default: the file's run time")
        ->multi_option_policy(last);
    app.add_flag("--continuous", continuous, "run time -1 (\"Continuous\"); needs --steps");
    app.add_option_function<std::string>(
           "--steps",
           [this](const std::string& v) {
               steps =
                   Whole_Option<long long>("--steps", v, 1, std::numeric_limits<long long>::max());
           },
           "stop after N steps (as \"Stop\" pressed during step N); needed when the run "
           "would not end by itself")
        ->multi_option_policy(last);
    app.add_option("--window-time", windowTime,
                   "the chart's window time (default 210), which sets the steps per chart "
                   "column with the time step and the chart width")
        ->multi_option_policy(last);
}

void RunOptions::Check() const {
    if (continuous && time) throw UsageError{"--continuous and --time exclude each other"};
    if (continuous && !steps) throw UsageError{"--continuous needs --steps N"};
}

bool RunOptions::Dat_Style(const std::string& file) const {
    return datStyle ? *datStyle : endsWithDat(file);
}

void RunOptions::Load(const std::string& file, Model& model, RandomSource& random) const {
    const std::string path = file == "-" ? "/dev/stdin" : file;
    if (Dat_Style(file))
        Load_Dat_File(path, model, random);
    else
        Load_P_File(path, model);
}

void RunOptions::Apply_Run_Time(Model& model) const {
    if (continuous) model.TotalTime = -1;
    if (time) {
        try {
            model.TotalTime = Text_To_Double(*time);
        } catch (const LvError& e) {
            throw e.within("--time");
        }
    }
}

void RunOptions::Check_Run_Ends(double totalTime, double step) const {
    Check_Run_Can_End(totalTime, step, steps.has_value());
}

int16_t RunOptions::Window_Time() const {
    try {
        return Text_To_Int16(windowTime);
    } catch (const LvError& e) {
        throw e.within("--window-time " + Quote_For_Message(windowTime));
    }
}
