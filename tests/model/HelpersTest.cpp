#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "Convert.h"
#include "Globals.h"
#include "LvError.h"

namespace {

ErrorKind kindOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const LvError& e) {
        return e.kind();
    }
    ADD_FAILURE() << "no failure";
    return ErrorKind::FileNotFound;
}

// --- Error kinds and messages ---------------------------------------------------------------

TEST(LvErrorText, EveryKindHasItsUserText) {
    EXPECT_STREQ(Error_Kind_Text(ErrorKind::InvalidCall), "Invalid procedure call or argument");
    EXPECT_STREQ(Error_Kind_Text(ErrorKind::Overflow), "Overflow");
    EXPECT_STREQ(Error_Kind_Text(ErrorKind::SubscriptOutOfRange), "Subscript out of range");
    EXPECT_STREQ(Error_Kind_Text(ErrorKind::DivisionByZero), "Division by zero");
    EXPECT_STREQ(Error_Kind_Text(ErrorKind::TypeMismatch), "Type mismatch");
    EXPECT_STREQ(Error_Kind_Text(ErrorKind::FileNotFound), "File not found");
    EXPECT_STREQ(Error_Kind_Text(ErrorKind::InputPastEnd), "Input past end of file");
}

TEST(LvErrorText, MessageIsKindThenContextAndWithinPutsThePlaceFirst) {
    const LvError e(ErrorKind::TypeMismatch, "not a number: \"x\"");
    EXPECT_STREQ(e.what(), "Type mismatch: not a number: \"x\"");
    const LvError placed = e.within("a.dat, line 3");
    EXPECT_EQ(placed.kind(), ErrorKind::TypeMismatch);
    EXPECT_STREQ(placed.what(), "Type mismatch: a.dat, line 3, not a number: \"x\"");
    EXPECT_STREQ(LvError(ErrorKind::Overflow).what(), "Overflow");
    EXPECT_STREQ(LvError(ErrorKind::Overflow).within("step 9").what(), "Overflow: step 9");
}

TEST(LvErrorText, QuotedTextIsEscapedAndShortened) {
    EXPECT_EQ(Quote_For_Message("1,5"), "\"1,5\"");
    EXPECT_EQ(Quote_For_Message("a\tb\x01\xff"), "\"a\\x09b\\x01\\xFF\"");
    EXPECT_EQ(Quote_For_Message("abcdef", 3), "\"abc...\"");
}

// --- Text to number -------------------------------------------------------------------------

TEST(TextToDouble, AcceptsSignDigitsPointAndExponentWithBlanksAround) {
    EXPECT_EQ(Text_To_Double("0.5"), 0.5);
    EXPECT_EQ(Text_To_Double("  -12.25\t"), -12.25);
    EXPECT_EQ(Text_To_Double("+3"), 3.0);
    EXPECT_EQ(Text_To_Double(".5"), 0.5);
    EXPECT_EQ(Text_To_Double("5."), 5.0);
    EXPECT_EQ(Text_To_Double("1e-3"), 1e-3);
    EXPECT_EQ(Text_To_Double("2.5E+2"), 250.0);
    EXPECT_EQ(Text_To_Double("800"), 800.0);
    EXPECT_EQ(Text_To_Double("0.01"), 0.01) << "correctly rounded, as a file value must be";
}

TEST(TextToDouble, AnythingElseIsATypeMismatchNamingTheText) {
    for (const char* bad : {"",   "   ", "abc",   "inf",   "-inf",  "nan",     "NaN", "0x1A",
                            "1e", "1e+", "1.2.3", "1,000", "--1",   "+-1",     "1 2", ".",
                            "-",  "e5",  "1_000", "12abc", "1.5\"", "Infinity"}) {
        try {
            Text_To_Double(bad);
            ADD_FAILURE() << "accepted \"" << bad << "\"";
        } catch (const LvError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::TypeMismatch) << bad;
            EXPECT_NE(std::string(e.what()).find(Quote_For_Message(bad)), std::string::npos)
                << e.what();
        }
    }
}

TEST(TextToDouble, OutOfRangeIsAnOverflowAndTinyValuesAreKept) {
    EXPECT_EQ(kindOf([] { Text_To_Double("1e999"); }), ErrorKind::Overflow);
    EXPECT_EQ(kindOf([] { Text_To_Double("-2e308"); }), ErrorKind::Overflow);
    EXPECT_EQ(std::fpclassify(Text_To_Double("4.9e-324")), FP_SUBNORMAL);
    EXPECT_EQ(Text_To_Double("1e-400"), 0.0);
}

TEST(TextToInteger, HalvesRoundToEven) {
    EXPECT_EQ(Text_To_Int16("210.5"), 210);
    EXPECT_EQ(Text_To_Int16("211.5"), 212);
    EXPECT_EQ(Text_To_Int16("-2.5"), -2);
    EXPECT_EQ(Text_To_Int16(" 4.49 "), 4);
    EXPECT_EQ(Text_To_Int32("2.5"), 2);
    EXPECT_EQ(Text_To_Int32("-3.5"), -4);
    EXPECT_EQ(Round_To_Int16(0.5), 0);
    EXPECT_EQ(Round_To_Int16(1.5), 2);
}

TEST(TextToInteger, OutsideTheTypeIsAnOverflow) {
    EXPECT_EQ(Text_To_Int16("32767"), 32767);
    EXPECT_EQ(Text_To_Int16("32767.4"), 32767);
    EXPECT_EQ(Text_To_Int16("-32768.5"), -32768);  // the even neighbour is in range
    EXPECT_EQ(kindOf([] { Text_To_Int16("32767.5"); }), ErrorKind::Overflow);
    EXPECT_EQ(kindOf([] { Text_To_Int16("-32769"); }), ErrorKind::Overflow);
    EXPECT_EQ(kindOf([] { Text_To_Int16("1e10"); }), ErrorKind::Overflow);
    EXPECT_EQ(Text_To_Int32("2147483647"), 2147483647);
    EXPECT_EQ(Text_To_Int32("-2147483648"), INT32_MIN);
    EXPECT_EQ(kindOf([] { Text_To_Int32("2147483647.5"); }), ErrorKind::Overflow);
    EXPECT_EQ(kindOf([] { Text_To_Int32("-2147483649"); }), ErrorKind::Overflow);
    EXPECT_EQ(kindOf([] { Round_To_Int16(32768); }), ErrorKind::Overflow);
    EXPECT_EQ(kindOf([] { Round_To_Int16(NAN); }), ErrorKind::Overflow);
    EXPECT_EQ(kindOf([] { Text_To_Int16("x"); }), ErrorKind::TypeMismatch);
}

TEST(CheckedArithmetic, SixteenBitSumsOverflowInsteadOfWrapping) {
    EXPECT_EQ(Checked_Add16(32766, 1), 32767);
    EXPECT_EQ(Checked_Add16(-32767, -1), -32768);
    EXPECT_EQ(kindOf([] { Checked_Add16(32767, 1); }), ErrorKind::Overflow);
    EXPECT_EQ(kindOf([] { Checked_Add16(-32768, -1); }), ErrorKind::Overflow);
}

// A comma locale, as a German user would have: the point still reads stored files, the comma
// reads what the user types, and no group separator is ever taken.
class CommaLocale : public ::testing::Test {
  protected:
    void SetUp() override { Override_Locale_Decimal_Separator(","); }
    void TearDown() override { Override_Locale_Decimal_Separator(nullptr); }
};

TEST_F(CommaLocale, PointAndCommaBothReadAsDecimalSeparator) {
    EXPECT_EQ(Locale_Decimal_Separator(), ",");
    EXPECT_EQ(Text_To_Double("0.5"), 0.5) << "a stored file value must not read as 5";
    EXPECT_EQ(Text_To_Double("0,5"), 0.5);
    EXPECT_EQ(Text_To_Double(" -1,25e1 "), -12.5);
    EXPECT_EQ(Text_To_Int16("210,5"), 210);
}

TEST_F(CommaLocale, GroupedDigitsAreATypeMismatch) {
    for (const char* bad : {"1.000,5", "1,000.5", "1.000.000", "1,000,000", "1 000", "0,5,"})
        EXPECT_EQ(kindOf([bad] { Text_To_Double(bad); }), ErrorKind::TypeMismatch) << bad;
}

TEST_F(CommaLocale, FormattingUsesTheComma) {
    EXPECT_EQ(Format_Fixed6(0.1234567), "0,123457");
    EXPECT_EQ(Format_Fixed6(-0.5), "-0,500000");
}

TEST(FormatFixed6, SixDecimalsAndALeadingDigit) {
    EXPECT_EQ(Format_Fixed6(0.1234567), "0.123457");
    EXPECT_EQ(Format_Fixed6(-0.5), "-0.500000");
    EXPECT_EQ(Format_Fixed6(0), "0.000000");
    EXPECT_EQ(Format_Fixed6(1234.5), "1234.500000");
}

TEST(LocaleSeparator, FollowsTheCLibraryWithoutAnOverride) {
    Override_Locale_Decimal_Separator(nullptr);
    EXPECT_EQ(Locale_Decimal_Separator(), ".");  // the C locale of a test program
}

// --- The species table and settings ---------------------------------------------------------

TEST(Globals, EverythingStartsZero) {
    EXPECT_EQ(Nanimals, 0);
    EXPECT_EQ(TotalTime, 0);
    EXPECT_EQ(dt, 0);
    EXPECT_EQ(StopRequested, 0);
    EXPECT_EQ(PlotColumn, 0);
    EXPECT_EQ(LE, 0);
    for (const SpeciesRec& row : Species.rows) {
        EXPECT_EQ(row.x, 0);
        EXPECT_EQ(row.r, 0);
        EXPECT_EQ(row.Color, 0);
        for (double a : row.a) EXPECT_EQ(a, 0);
    }
}

TEST(Globals, EveryIndexIntoTheTableIsChecked) {
    Species(50).x = 0.5;
    EXPECT_EQ(Species.rows[50].x, 0.5);
    EXPECT_EQ(kindOf([] { Species(51); }), ErrorKind::SubscriptOutOfRange);
    EXPECT_EQ(kindOf([] { Species(-1); }), ErrorKind::SubscriptOutOfRange);
    const SpeciesTable& constTable = Species;
    EXPECT_EQ(kindOf([&] { constTable(51); }), ErrorKind::SubscriptOutOfRange);
    try {
        Species(51);
    } catch (const LvError& e) {
        EXPECT_STREQ(e.what(), "Subscript out of range: Species(51), valid 0 to 50");
    }
}

}  // namespace
