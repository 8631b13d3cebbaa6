#pragma once

// The options that lv-run and lv-sweep share, declared once for CLI11 with their checks:
// which reader, how long a run lasts, and the chart's window time.

#include <CLI/CLI.hpp>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>

#include "LvError.h"
#include "Model.h"
#include "Random.h"

// A command line that cannot run: the message, then the usage text, exit status 2. Thrown
// after the file was read (a run that would never end), it ends the program with status 1.
struct UsageError {
    std::string message;
};

// The whole number an option's text gives, from `low` to `high`. Throws UsageError naming
// the option and the range.
template <class Int>
Int Whole_Option(const std::string& option, const std::string& text, Int low, Int high) {
    Int value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < low ||
        value > high)
        throw UsageError{option + " needs a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not " + Quote_For_Message(text)};
    return value;
}

// A span of model time an option gives (--discard T): a number from 0 up, '.' for the
// decimals. Throws UsageError naming the option.
double Time_Option(const std::string& option, const std::string& text);

// Whether a transient of `discard` leaves any step of a run of TotalTime (or, continuous, of
// `steps` steps of dt) to count; throws LvError (invalid argument) saying so when it does not.
void Check_Discard(double discard, double TotalTime, double dt, std::optional<long long> steps);

// An option that names a file to write (--image, --csv, ...), never empty; the last one
// given counts.
CLI::Option* Add_File_Option(CLI::App& app, const char* name, std::optional<std::string>& into);

// --method twin|tangent and --discard T, which both runners take alike.
void Add_Exponent_Options(CLI::App& app, bool& tangent, double& discard);

struct RunOptions {
    std::optional<bool> datStyle;     // --style dat|p; otherwise FILE's extension decides
    std::optional<std::string> time;  // --time T, read after the file as "Set To:" is
    bool continuous = false;          // --continuous: run time -1
    std::optional<long long> steps;   // --steps N: stop after N steps
    std::string windowTime = "210";   // --window-time W

    // Declares --style, --time, --continuous, --steps and --window-time. A later value of a
    // repeated option wins.
    void Add_To(CLI::App& app);

    // What can be said before the file is read: --continuous and --time exclude each other,
    // and a continuous run needs --steps. Throws UsageError.
    void Check() const;

    // Whether FILE is read as the column style: --style, else a ".dat" ending in any case.
    bool Dat_Style(const std::string& file) const;

    // Reads FILE into `model` by its style; "-" is standard input. The column style draws
    // its colours from `random`. Throws LvError naming the file and line.
    void Load(const std::string& file, Model& model, RandomSource& random) const;

    // After the file is read: TotalTime as "Continuous" (-1) or "Set To:" (--time) set it.
    // Throws LvError naming --time.
    void Apply_Run_Time(Model& model) const;

    // A run of TotalTime with steps of dt that would never end by itself, and has no --steps,
    // is refused before its first step. Throws LvError (invalid argument) saying why.
    void Check_Run_Ends(double TotalTime, double dt) const;

    // The window time as a 16-bit count. Throws LvError naming --window-time.
    int16_t Window_Time() const;
};
