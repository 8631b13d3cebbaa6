#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Text-to-number conversion shared by the readers and the window's fields.
// Blanks around the number are ignored; the text must be an optional sign, digits with an
// optional decimal separator, and an optional exponent. The point is always a decimal
// separator, so that stored files read the same under every locale; the user's locale
// separator is accepted as well. Group separators, "inf", "nan" and hex are type mismatches.
double Text_To_Double(std::string_view text);

// As above, then rounded to the nearest integer, halves to even; Overflow outside the type.
int16_t Text_To_Int16(std::string_view text);
int32_t Text_To_Int32(std::string_view text);

// Rounds halves to even; Overflow when the result does not fit in 16 bits.
int16_t Round_To_Int16(double value);

// Checked 16-bit arithmetic for counts, indices and chart columns.
int16_t Checked_Add16(int16_t a, int16_t b);

// "0.000000": fixed point, six decimals, the locale's decimal separator.
std::string Format_Fixed6(double value);

// The user's locale decimal separator (from the C library's current LC_NUMERIC).
std::string Locale_Decimal_Separator();

// Makes Locale_Decimal_Separator() answer `separator` instead of asking the C library, so
// that the rules for a comma locale can be checked on a machine that has none; nullptr
// goes back to the C library.
void Override_Locale_Decimal_Separator(const char* separator);

// 17 significant digits, with '.' whatever the locale: every double reads back to itself.
std::string Format_Digits17(double value);

// The shortest text that reads back to the same double (0.55, not 0.55000000000000004), with
// '.' whatever the locale: the numbers of the CSV and JSON the programs write.
std::string Format_Shortest(double value);
