#include "Convert.h"

#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>

#include "LvError.h"

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

[[noreturn]] void mismatch(std::string_view text) {
    throw LvError(ErrorKind::TypeMismatch, "not a number: " + Quote_For_Message(std::string(text)));
}

// The number as plain "C" text ('.' separator), or a type mismatch.
std::string normalise(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && isBlank(text[b])) ++b;
    while (e > b && isBlank(text[e - 1])) --e;
    const std::string_view t = text.substr(b, e - b);
    const std::string sep = Locale_Decimal_Separator();

    std::string out;
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) out += t[i++];
    std::size_t digits = 0;
    while (i < t.size() && isDigit(t[i])) out += t[i++], ++digits;
    if (i < t.size() && t[i] == '.') {
        out += t[i++];
    } else if (!sep.empty() && sep != "." && t.substr(i, sep.size()) == sep) {
        out += '.';
        i += sep.size();
    }
    while (i < t.size() && isDigit(t[i])) out += t[i++], ++digits;
    if (digits == 0) mismatch(text);
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        out += t[i++];
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) out += t[i++];
        std::size_t expDigits = 0;
        while (i < t.size() && isDigit(t[i])) out += t[i++], ++expDigits;
        if (expDigits == 0) mismatch(text);
    }
    if (i != t.size()) mismatch(text);
    return out;
}

locale_t cLocale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", nullptr);
    return loc;
}

}  // namespace

double Text_To_Double(std::string_view text) {
    const std::string plain = normalise(text);
    errno = 0;
    char* end = nullptr;
    // strtod_l in the "C" locale: the separator was normalised above, and the process locale
    // (which Qt sets from the environment) must not change how a file reads.
    const double value = strtod_l(plain.c_str(), &end, cLocale());
    if (errno == ERANGE && std::isinf(value))
        throw LvError(ErrorKind::Overflow,
                      "number out of range: " + Quote_For_Message(std::string(text)));
    // A result too small for a double is used as it comes out (zero or subnormal).
    return value;
}

namespace {
// Rounds halves to even (the default rounding mode) and checks the range of Int; the
// message is made only when it is needed.
template <class Int, class What>
Int roundChecked(double value, What what) {
    const double r = std::nearbyint(value);
    if (!(r >= double(std::numeric_limits<Int>::min()) &&
          r <= double(std::numeric_limits<Int>::max())))
        throw LvError(ErrorKind::Overflow, what());
    return static_cast<Int>(r);
}
}  // namespace

int16_t Round_To_Int16(double value) {
    return roundChecked<int16_t>(value, [] { return std::string("value out of 16-bit range"); });
}

int16_t Text_To_Int16(std::string_view text) {
    return roundChecked<int16_t>(Text_To_Double(text), [&] {
        return "not a 16-bit integer: " + Quote_For_Message(std::string(text));
    });
}

int32_t Text_To_Int32(std::string_view text) {
    return roundChecked<int32_t>(Text_To_Double(text), [&] {
        return "not a 32-bit integer: " + Quote_For_Message(std::string(text));
    });
}

int16_t Checked_Add16(int16_t a, int16_t b) {
    const int sum = int(a) + int(b);
    if (sum < -32768 || sum > 32767)
        throw LvError(ErrorKind::Overflow, std::to_string(a) + " + " + std::to_string(b));
    return static_cast<int16_t>(sum);
}

std::string Format_Fixed6(double value) {
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6);
    std::string out(buf, res.ptr);
    const std::size_t dot = out.find('.');
    if (dot != std::string::npos) out.replace(dot, 1, Locale_Decimal_Separator());
    return out;
}

std::string Format_Digits17(double value) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 17);
    return std::string(buf, res.ptr);
}

std::string Format_Shortest(double value) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

namespace {
std::optional<std::string> separatorOverride;
}  // namespace

void Override_Locale_Decimal_Separator(const char* separator) {
    separatorOverride = separator ? std::optional<std::string>(separator) : std::nullopt;
}

std::string Locale_Decimal_Separator() {
    if (separatorOverride) return *separatorOverride;
    // nl_langinfo, not localeconv: localeconv fills one static record for the whole process,
    // and a sweep's workers format their exponents at the same time.
    const char* point = nl_langinfo(RADIXCHAR);
    if (point == nullptr || point[0] == '\0') return ".";
    return point;
}
