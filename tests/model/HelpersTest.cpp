#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "../FileSizeLimit.h"
#include "Convert.h"
#include "Globals.h"
#include "LvError.h"
#include "RunLength.h"
#include "SaveFile.h"

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
    EXPECT_STREQ(Error_Kind_Text(ErrorKind::PermissionDenied), "Permission denied");
    EXPECT_STREQ(Error_Kind_Text(ErrorKind::PathNotFound), "Path not found");
    EXPECT_STREQ(Error_Kind_Text(ErrorKind::DeviceIoError), "Device I/O error");
    EXPECT_STREQ(Error_Kind_Text(ErrorKind::OutOfMemory), "Out of memory");
}

TEST(LvErrorText, EveryFailureIsToldByItsKind) {
    EXPECT_EQ(Failure_Text(LvError(ErrorKind::Overflow, "step 3")), "Overflow: step 3");
    EXPECT_EQ(Failure_Text(std::bad_alloc()).rfind("Out of memory: ", 0), 0u);
    EXPECT_EQ(Failure_Text(std::runtime_error("odd")), "odd");
}

TEST(LvErrorText, FileErrorsTakeTheirKindFromErrnoAndKeepTheSystemsReason) {
    const LvError missing = File_Error(ENOENT, "writing \"x/y.bmp\"");
    EXPECT_EQ(missing.kind(), ErrorKind::PathNotFound);
    EXPECT_STREQ(missing.what(), "Path not found: writing \"x/y.bmp\" (No such file or directory)");
    EXPECT_EQ(File_Error(EACCES, "w").kind(), ErrorKind::PermissionDenied);
    EXPECT_EQ(File_Error(EROFS, "w").kind(), ErrorKind::PermissionDenied);
    EXPECT_EQ(File_Error(ENOTDIR, "w").kind(), ErrorKind::PathNotFound);
    EXPECT_EQ(File_Error(ENOMEM, "w").kind(), ErrorKind::OutOfMemory);
    const LvError full = File_Error(ENOSPC, "w");
    EXPECT_EQ(full.kind(), ErrorKind::DeviceIoError);
    EXPECT_NE(std::string(full.what()).find("No space left on device"), std::string::npos);
    EXPECT_EQ(File_Error(EIO, "w").kind(), ErrorKind::DeviceIoError);
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
    // A quote or a backslash inside cannot end the quotation or pass for an escape.
    EXPECT_EQ(Quote_For_Message(R"("0.3"\x)"), R"("\"0.3\"\\x")");
    // Text in UTF-8 stays readable; what would move or turn the text on a terminal or in a
    // message box does not pass: escape sequences, line breaks, C1 controls, direction
    // overrides and isolates, line separators.
    EXPECT_EQ(Quote_For_Message("caf\xC3\xA9 \xE2\x82\xAC"), "\"caf\xC3\xA9 \xE2\x82\xAC\"");
    EXPECT_EQ(Quote_For_Message("a\x1B[31mb\nc\x7F"), R"("a\x1B[31mb\x0Ac\x7F")");
    EXPECT_EQ(Quote_For_Message("\xC2\x9B"
                                "2J"),
              R"("\u009B2J")");
    EXPECT_EQ(Quote_For_Message("x\xE2\x80\xAEgnp.exe"), R"("x\u202Egnp.exe")");
    EXPECT_EQ(Quote_For_Message("\xE2\x81\xA6\xE2\x80\xA8"), R"("\u2066\u2028")");
    // Bytes that are no UTF-8 (a stray byte, an overlong form, a surrogate) one by one.
    EXPECT_EQ(Quote_For_Message("\xC0\xAF\xED\xA0\x80\xC3"), R"("\xC0\xAF\xED\xA0\x80\xC3")");
    // The length counts characters, not bytes.
    EXPECT_EQ(Quote_For_Message("\xC3\xA9\xC3\xA9\xC3\xA9", 2), "\"\xC3\xA9\xC3\xA9...\"");
}

// --- How long a timed run can be ----------------------------------------------------------------

// Where t = dt + t stops growing, found by doing the additions, in single precision so that
// every case takes at most some 2^24 of them.
float Brute_Force_Limit(float dt) {
    float t = 0;
    for (;;) {
        const float next = dt + t;
        if (next == t) return t;
        t = next;
    }
}

TEST(RunLength, TheLimitIsWhereTheRunningSumStopsGrowing) {
    std::vector<float> steps = {1.0f,
                                0.5f,
                                0.01f,
                                0.1f,
                                0.3f,
                                3.0f,
                                1e-3f,
                                7e-4f,
                                1e-30f,
                                std::numeric_limits<float>::denorm_min(),
                                std::numeric_limits<float>::min(),
                                1e30f};
    // Just around powers of two, where the rounding of dt to t's spacing changes.
    for (float p : {0.25f, 1.0f / 64, 1e-2f})
        steps.insert(steps.end(), {std::nextafter(p, 0.0f), std::nextafter(p, 1.0f)});
    std::mt19937 rnd(7);
    std::uniform_real_distribution<float> mantissa(1.0f, 2.0f);
    for (int k = 0; k < 6; ++k) steps.push_back(std::ldexp(mantissa(rnd), -7 * k));
    for (float dt : steps) {
        const float limit = Brute_Force_Limit(dt);
        EXPECT_EQ(Running_Sum_Limit(dt), limit) << dt;
        EXPECT_TRUE(Run_Time_Reachable(limit, dt)) << dt;
        EXPECT_FALSE(Run_Time_Reachable(std::nextafter(limit, INFINITY), dt)) << dt;
    }
    // A step so large that t overflows before it could stop: nothing is out of reach.
    EXPECT_EQ(Running_Sum_Limit(1e300), INFINITY);
    EXPECT_TRUE(Run_Time_Reachable(DBL_MAX, 1e300));
}

TEST(RunLength, DoubleTimesReachableOrNotAsTheRunMeetsThem) {
    // The design's runs: 800 with dt 0.01 and the like end.
    EXPECT_TRUE(Run_Time_Reachable(800.0, 0.01));
    EXPECT_TRUE(Run_Time_Reachable(1e14, 0.01));
    // dt 0.01: t walks [2^46, 2^47) in steps of 2^-6 and stops at 2^47.
    EXPECT_EQ(Running_Sum_Limit(0.01), std::ldexp(1.0, 47));
    EXPECT_EQ(std::ldexp(1.0, 47) + 0.01, std::ldexp(1.0, 47));
    EXPECT_GT(std::nextafter(std::ldexp(1.0, 47), 0.0) + 0.01,
              std::nextafter(std::ldexp(1.0, 47), 0.0));
    EXPECT_FALSE(Run_Time_Reachable(1e20, 0.01));
    EXPECT_EQ(Running_Sum_Limit(1.0), std::ldexp(1.0, 53));  // 2^53 + 1 rounds back to 2^53
    EXPECT_FALSE(Run_Time_Reachable(1.0, 1e-300));
    EXPECT_FALSE(Run_Time_Reachable(10.0, 0.0));
    EXPECT_FALSE(Run_Time_Reachable(10.0, -0.5));
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

// --- Saving a file whole ---------------------------------------------------------------------

class SaveFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir =
            std::filesystem::temp_directory_path() / ("lv-save-test-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string read(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    void write(const std::filesystem::path& p, const std::string& text) {
        std::ofstream(p, std::ios::binary) << text;
    }
    // What the folder holds, so that a stray temporary file shows.
    std::vector<std::string> entries() {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::filesystem::path dir;
};

TEST_F(SaveFileTest, WritesNewFilesAndReplacesOldOnesKeepingTheirPermissions) {
    const std::string path = (dir / "chart").string();  // no extension added
    Save_File(path, std::string("BM\0\x01 binary", 11));
    EXPECT_EQ(read(path), std::string("BM\0\x01 binary", 11));
    ::chmod(path.c_str(), 0640);
    Save_File(path, "second");
    EXPECT_EQ(read(path), "second");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(entries(), std::vector<std::string>{"chart"});
}

TEST_F(SaveFileTest, NamesAreUsedByteForByteAndLinksStayLinks) {
    // Not UTF-8, with a control character: written under exactly these bytes.
    const std::string odd = (dir / "\xff\xfe-\x1b[1m.bmp").string();
    Save_File(odd, "odd");
    EXPECT_EQ(read(odd), "odd");
    EXPECT_EQ(entries(), std::vector<std::string>{"\xff\xfe-\x1b[1m.bmp"});
    std::filesystem::create_symlink("\xff\xfe-\x1b[1m.bmp", dir / "link.bmp");
    Save_File((dir / "link.bmp").string(), "through the link");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.bmp"));
    EXPECT_EQ(read(odd), "through the link");
    // A dangling link, through another, leads to the file it names, which is made; a loop of
    // links is refused and leaves the links as they were.
    std::filesystem::create_directories(dir / "sub");
    std::filesystem::create_symlink("sub/new.csv", dir / "dangling");
    std::filesystem::create_symlink("dangling", dir / "twice");
    Save_File((dir / "twice").string(), "made through two links");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "twice"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "dangling"));
    EXPECT_EQ(read(dir / "sub" / "new.csv"), "made through two links");
    std::filesystem::create_symlink("loop-b", dir / "loop-a");
    std::filesystem::create_symlink("loop-a", dir / "loop-b");
    try {
        Save_File((dir / "loop-a").string(), "x");
        ADD_FAILURE() << "a loop of links was written";
    } catch (const LvError& e) {
        EXPECT_NE(std::string(e.what()).find("(Too many levels of symbolic links)"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "loop-a"));
}

// A file being written, its name where a signal handler finds it: removed at once, and
// forgotten once committed or dropped. What is written so far may be kept under another name.
TEST_F(SaveFileTest, ASignalTakesUncommittedFilesAwayAndAPartMayBeKeptApart) {
    {
        SaveFile pending((dir / "pending.csv").string());
        pending.Write("half a file");
        SaveFile done((dir / "done.csv").string());
        done.Write("whole");
        done.Commit();
        EXPECT_EQ(entries().size(), 2u);  // done.csv and pending's new file
        Remove_Temporary_Files();
        EXPECT_EQ(entries(), std::vector<std::string>{"done.csv"});
    }
    write(dir / "out.csv", "the old result");
    SaveFile part((dir / "out.csv").string());
    part.Write("the rows so far");
    EXPECT_TRUE(part.Commit_As((dir / "out.csv.partial").string()));
    Remove_Temporary_Files();
    EXPECT_EQ(read(dir / "out.csv"), "the old result");
    EXPECT_EQ(read(dir / "out.csv.partial"), "the rows so far");
    EXPECT_EQ(entries(), (std::vector<std::string>{"done.csv", "out.csv", "out.csv.partial"}));
}

TEST_F(SaveFileTest, AFileWrittenInPiecesAppearsOnlyWhenCommitted) {
    const std::filesystem::path path = dir / "history.csv";
    write(path, "the old history");
    std::string whole;
    {
        SaveFile file(path.string());
        for (int i = 0; i < 20000; ++i) {  // more than the buffer holds
            const std::string row = "row " + std::to_string(i) + "\n";
            file.Write(row);
            whole += row;
        }
        EXPECT_EQ(read(path), "the old history");
        EXPECT_EQ(entries().size(), 2u);  // the new file beside it
        file.Commit();
    }
    EXPECT_EQ(read(path), whole);
    // Dropped without Commit (a run that failed): the file stays as it was, nothing is left.
    {
        SaveFile file(path.string());
        file.Write("half a history");
    }
    EXPECT_EQ(read(path), whole);
    EXPECT_EQ(entries(), std::vector<std::string>{"history.csv"});
    // A name that cannot be written fails when the file is opened, before any work.
    EXPECT_EQ(kindOf([&] { SaveFile file((dir / "none" / "h.csv").string()); }),
              ErrorKind::PathNotFound);
}

TEST_F(SaveFileTest, AFailedWriteLeavesTheOldFileAndNothingElse) {
    const std::filesystem::path old = dir / "old.bmp";
    write(old, "the old picture");
    ErrorKind kind = ErrorKind::Overflow;
    std::string message;
    {
        const FileSizeLimit fullAfter(1000);  // a disk that fills up after 1,000 bytes
        try {
            Save_File(old.string(), std::string(5000, 'x'));
        } catch (const LvError& e) {
            kind = e.kind();
            message = e.what();
        }
    }
    EXPECT_EQ(kind, ErrorKind::DeviceIoError) << message;
    EXPECT_NE(message.find(old.string()), std::string::npos) << message;
    EXPECT_NE(message.find("File too large"), std::string::npos) << message;
    EXPECT_EQ(read(old), "the old picture");
    EXPECT_EQ(entries(), std::vector<std::string>{"old.bmp"});
}

TEST_F(SaveFileTest, MissingFoldersDevicesAndFoldersAsNames) {
    try {
        Save_File((dir / "no such folder" / "x.bmp").string(), "x");
        ADD_FAILURE() << "no failure";
    } catch (const LvError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::PathNotFound);
        EXPECT_NE(std::string(e.what()).find("no such folder/x.bmp"), std::string::npos);
    }
    EXPECT_EQ(kindOf([&] { Save_File(dir.string(), "x"); }), ErrorKind::PermissionDenied);
    EXPECT_TRUE(entries().empty());
    // A pipe (as a device) is written into, not replaced.
    const std::string fifo = (dir / "pipe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    Save_File(fifo, "through the pipe");
    char got[64] = {};
    EXPECT_EQ(::read(reader, got, sizeof got), 16);
    ::close(reader);
    EXPECT_EQ(std::string(got), "through the pipe");
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    EXPECT_EQ(entries(), std::vector<std::string>{"pipe"});
}

// --- Run length ------------------------------------------------------------------------------

// The running sum t = dt + t from `t` for `steps` additions.
double sumFrom(double t, double dt, int steps) {
    for (int i = 0; i < steps; ++i) t = dt + t;
    return t;
}

TEST(RunLength, EndlessRunsAreKnownBeforeTheFirstStep) {
    EXPECT_EQ(Endless_Run(-1, 0.01),
              "the run time is -1, so the run is continuous: give --steps N");
    EXPECT_EQ(Endless_Run(0, 0.01), "the run time is 0, so the run is continuous: give --steps N");
    EXPECT_EQ(Endless_Run(800, 0),
              "the run would never end: the time step is 0, so t never reaches the run time 800: "
              "give --steps N");
    EXPECT_TRUE(Endless_Run(800, -0.01));
    EXPECT_TRUE(Endless_Run(800, std::nan("")));
    EXPECT_EQ(Endless_Run(1e20, 0.01),
              "the run would never end: the time step 0.01 is too small for t to reach the run "
              "time 1e+20 (t + dt == t from 140737488355328 on): give --steps N");
    EXPECT_FALSE(Endless_Run(800, 0.01));
    EXPECT_FALSE(Endless_Run(0.001, 0.01));  // one step
    EXPECT_FALSE(Endless_Run(4.9e-324, 4.9e-324));

    // At the edge. Between 1 and 2 the last place of t is 2^-52, from 2 on it is 2^-51. With
    // dt = 2^-52, t climbs exactly onto 2 and stays there (2 + 2^-52 is a tie, and 2 is the
    // even one), so any run time above 2 is out of reach; a dt just above moves t past 2.
    const double half = std::ldexp(1.0, -52);
    EXPECT_EQ(sumFrom(2 - 4 * half, half, 4), 2.0);
    EXPECT_EQ(sumFrom(2.0, half, 1000), 2.0);
    EXPECT_GT(sumFrom(2.0, std::nextafter(half, 1.0), 1), 2.0);
    // A step of exactly half the last place below TotalTime = 3 stops t at 2.
    EXPECT_TRUE(Endless_Run(3, std::ldexp(1.0, -52)));
    EXPECT_FALSE(Endless_Run(2, std::ldexp(1.0, -52)));
    EXPECT_FALSE(Endless_Run(3, std::nextafter(std::ldexp(1.0, -52), 1.0)));
}

}  // namespace
