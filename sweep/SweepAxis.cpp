#include "SweepAxis.h"

#include <charconv>
#include <cmath>

#include "Convert.h"
#include "LvError.h"

namespace {

// The most values one axis may have: far more than a sweep can run, few enough that a grid
// of two still counts its points in 64 bits.
constexpr long long MaxCount = 1000000000;

[[noreturn]] void refuse(const std::string& text, const std::string& why) {
    throw SweepOptionError{"--vary " + Quote_For_Message(text, 80) + ": " + why};
}

double number(const std::string& text, const std::string& part, const char* what) {
    double value = 0;
    try {
        value = Text_To_Double(part);
    } catch (const LvError& e) {
        refuse(text, std::string(what) + " is not a number (" + e.what() + ")");
    }
    if (!std::isfinite(value)) refuse(text, std::string(what) + " is out of range");
    return value;
}

}  // namespace

SweepAxis SweepAxis::Parse(const std::string& text) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos) refuse(text, "expected NAME=FROM:TO:COUNT");
    const std::size_t c1 = text.find(':', eq + 1);
    const std::size_t c2 = c1 == std::string::npos ? c1 : text.find(':', c1 + 1);
    if (c2 == std::string::npos || text.find(':', c2 + 1) != std::string::npos)
        refuse(text, "expected NAME=FROM:TO:COUNT");

    SweepAxis axis;
    axis.parameter = SweepParameter::Parse(text.substr(0, eq));
    axis.from = number(text, text.substr(eq + 1, c1 - eq - 1), "FROM");
    axis.to = number(text, text.substr(c1 + 1, c2 - c1 - 1), "TO");
    const std::string count = text.substr(c2 + 1);
    const auto [end, ec] = std::from_chars(count.data(), count.data() + count.size(), axis.count);
    if (ec != std::errc() || end != count.data() + count.size() || axis.count < 1 ||
        axis.count > MaxCount)
        refuse(text, "COUNT is a whole number from 1 to " + std::to_string(MaxCount));
    // Every value finite: the largest step product (TO - FROM) * (COUNT - 1) is.
    if (!std::isfinite((axis.to - axis.from) * double(axis.count - 1)))
        refuse(text, "TO - FROM is out of range");
    return axis;
}

double SweepAxis::Value(long long i) const {
    if (count == 1) return from;
    return from + ((to - from) * double(i)) / double(count - 1);
}
