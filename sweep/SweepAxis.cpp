#include "SweepAxis.h"

#include <charconv>
#include <cmath>

#include "Convert.h"
#include "LvError.h"
#include "ModelLog.h"

namespace {

// The most values one axis may have: far more than a sweep can run, few enough that a grid
// of two still counts its points in 64 bits.
constexpr long long MaxCount = 1000000000;

[[noreturn]] void refuse(const std::string& text, const std::string& why) {
    throw SweepOptionError{"--vary " + Quote_For_Message(text, 80) + ": " + why};
}

double number(const std::string& text, const std::string& part, const std::string& what) {
    double value = 0;
    try {
        value = Text_To_Double(part);
    } catch (const LvError& e) {
        refuse(text, what + " is not a number (" + e.what() + ")");
    }
    if (!std::isfinite(value)) refuse(text, what + " is out of range");
    return value;
}

// e^y for |y| up to about 709, from additions, multiplications, one division and the
// exponent's bits: the same double on every processor and with every C library, as the
// exponent's logarithm (Model_Log) is. y = k ln 2 + z with |z| <= ln 2 / 2 (ln 2 in two parts,
// so that k ln 2 is exact), e^z by its series to z^13 / 13!, within an ulp or so, then
// times 2^k.
double modelExp(double y) {
    constexpr double Ln2High = 0.693147180369123816490, Ln2Low = 1.90821492927058770002e-10;
    const double k = std::nearbyint(y / 0.6931471805599453);
    const double z = (y - k * Ln2High) - k * Ln2Low;
    double term = 1, sum = 1;
    for (int n = 1; n <= 13; ++n) {
        term = term * z / n;
        sum = sum + term;
    }
    return std::ldexp(sum, int(k));
}

}  // namespace

SweepAxis SweepAxis::Parse(const std::string& text) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos) refuse(text, "expected NAME=FROM:TO:COUNT or NAME=V1,V2,...");
    SweepAxis axis;
    axis.parameter = SweepParameter::Parse(text.substr(0, eq));
    const std::string values = text.substr(eq + 1);

    if (values.find(':') == std::string::npos) {
        // A list: one value or more, each followed by a comma but the last.
        axis.spacing = Spacing::List;
        std::size_t at = 0;
        for (;;) {
            const std::size_t comma = values.find(',', at);
            const std::string part = values.substr(at, comma - at);
            axis.list.push_back(
                number(text, part, "value " + std::to_string(axis.list.size() + 1)));
            if (comma == std::string::npos) break;
            at = comma + 1;
            if (static_cast<long long>(axis.list.size()) == MaxCount)
                refuse(text, "more than " + std::to_string(MaxCount) + " values");
        }
        axis.count = (long long)axis.list.size();
        axis.from = axis.list.front();
        axis.to = axis.list.back();
        return axis;
    }

    const std::size_t c1 = text.find(':', eq + 1);
    const std::size_t c2 = text.find(':', c1 + 1);
    std::size_t c3 = c2 == std::string::npos ? c2 : text.find(':', c2 + 1);
    if (c2 == std::string::npos || (c3 != std::string::npos && (text.substr(c3 + 1) != "log")))
        refuse(text, "expected NAME=FROM:TO:COUNT, NAME=FROM:TO:COUNT:log or NAME=V1,V2,...");
    axis.from = number(text, text.substr(eq + 1, c1 - eq - 1), "FROM");
    axis.to = number(text, text.substr(c1 + 1, c2 - c1 - 1), "TO");
    const std::string count = text.substr(c2 + 1, c3 == std::string::npos ? c3 : c3 - c2 - 1);
    const auto [end, ec] = std::from_chars(count.data(), count.data() + count.size(), axis.count);
    if (ec != std::errc() || end != count.data() + count.size() || axis.count < 1 ||
        axis.count > MaxCount)
        refuse(text, "COUNT is a whole number from 1 to " + std::to_string(MaxCount));
    if (c3 != std::string::npos) {
        axis.spacing = Spacing::Log;
        if (!(axis.from > 0 && axis.to > 0)) refuse(text, "log spacing needs FROM and TO above 0");
        if (std::fabs(Model_Log(axis.to / axis.from)) > 700)
            refuse(text, "TO / FROM is out of range");
        return axis;
    }
    // Every value finite: the largest step product (TO - FROM) * (COUNT - 1) is.
    if (!std::isfinite((axis.to - axis.from) * double(axis.count - 1)))
        refuse(text, "TO - FROM is out of range");
    return axis;
}

double SweepAxis::Value(long long i) const {
    if (spacing == Spacing::List) return list[std::size_t(i)];
    if (count == 1 || i == 0) return from;
    if (i == count - 1) return to;
    if (spacing == Spacing::Log)
        return from * modelExp((Model_Log(to / from) * double(i)) / double(count - 1));
    return from + ((to - from) * double(i)) / double(count - 1);
}

std::string SweepAxis::Definition() const {
    std::string s = parameter.name + "=";
    if (spacing == Spacing::List) {
        for (std::size_t k = 0; k < list.size(); ++k)
            s += (k > 0 ? "," : "") + Format_Shortest(list[k]);
        return s;
    }
    s += Format_Shortest(from) + ":" + Format_Shortest(to) + ":" + std::to_string(count);
    return spacing == Spacing::Log ? s + ":log" : s;
}
