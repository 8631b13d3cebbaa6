#include <sstream>

#include "Fixture.h"
#include "ParamFiles.h"

namespace {

// A row-style file for n species whose every value tells where it belongs: r(i) = i + 0.5,
// x(i) = i + 0.25, Color(i) = i * 65793 + 7, a(i, j) = i * 100 + j + 0.75.
std::string P_Text(int n, const std::string& brk = "\n") {
    std::ostringstream s;
    s << "comment" << brk << n << " 123.5 0.02" << brk;
    for (int i = 0; i < n; ++i) s << i + 0.5 << " ";
    s << brk;
    for (int i = 0; i < n; ++i) s << i + 0.25 << " ";
    s << brk;
    for (int i = 0; i < n; ++i) s << i * 65793 + 7 << " ";
    s << brk;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) s << i * 100 + j + 0.75 << " ";
        s << brk;
    }
    return s.str();
}

// The text with line `number` (from 1) replaced.
std::string With_Line(const std::string& text, int number, const std::string& line) {
    std::size_t at = 0;
    for (int k = 1; k < number; ++k) at = text.find('\n', at) + 1;
    std::string t = text;
    t.replace(at, t.find('\n', at) - at, line);
    return t;
}

class PFile : public FileTest {
  protected:
    void Expect_Rows_Filled(int n) {
        EXPECT_EQ(Nanimals, n);
        EXPECT_EQ(TotalTime, 123.5);
        EXPECT_EQ(dt, 0.02);
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(Species(i).r, i + 0.5);
            EXPECT_EQ(Species(i).x, i + 0.25);
            EXPECT_EQ(Species(i).Color, i * 65793 + 7);
            for (int j = 0; j < n; ++j) ASSERT_EQ(Species(i).a[j], i * 100 + j + 0.75);
        }
    }
};

TEST_F(PFile, LoadsRatesPopulationsColoursAndRowsInFileOrder) {
    for (const char* brk : {"\n", "\r\n", "\r"}) {
        SetUp();
        Load_P_File(Write(P_Text(3, brk)));
        Expect_Rows_Filled(3);
        EXPECT_EQ(Species(3).r, -2003);  // rows and columns the file lacks keep theirs
        EXPECT_EQ(Species(2).a[3], -203.5);
        EXPECT_EQ(Species(3).Color, -3003);  // nothing drawn at random
    }
}

TEST_F(PFile, ColoursAreStoredUnchecked) {
    Load_P_File(Write(With_Line(P_Text(3), 5, "-5 2147483647 16777216 ")));
    EXPECT_EQ(Species(0).Color, -5);
    EXPECT_EQ(Species(1).Color, 2147483647);
    EXPECT_EQ(Species(2).Color, 16777216);
    Fails(Load_P_File, Write(With_Line(P_Text(3), 5, "1 2147483648 3 ")), ErrorKind::Overflow);
    Fails(Load_P_File, Write(With_Line(P_Text(3), 5, "1 red 3 ")), ErrorKind::TypeMismatch);
}

TEST_F(PFile, LineTwoSplitsAtItsFirstTwoSpaces) {
    Load_P_File(Write(With_Line(P_Text(2), 2, "2 123.5 0.02 ")));  // blank after dt
    Expect_Rows_Filled(2);
    const std::pair<const char*, ErrorKind> bad[] = {
        {"2", ErrorKind::InvalidCall},             // no space
        {"2 800", ErrorKind::InvalidCall},         // one space
        {" 2 800 0.01", ErrorKind::TypeMismatch},  // empty count
        {"2  800", ErrorKind::TypeMismatch},       // empty run time
        {"2 800 ", ErrorKind::TypeMismatch},       // empty time step
        {"2 800 0.01 x", ErrorKind::TypeMismatch},
        {"99999 800 0.01", ErrorKind::Overflow},
    };
    for (const auto& [line, kind] : bad) {
        const std::string msg = Fails(Load_P_File, Write(With_Line(P_Text(2), 2, line)), kind);
        EXPECT_NE(msg.find("line 2"), std::string::npos) << msg;
    }
}

TEST_F(PFile, ValueLinesFollowTheSpacingRule) {
    // Extra values, even non-numbers, are ignored up to 99 spaces in all.
    std::string extra = "0.5 1.5 2.5 ";
    for (int k = 3; k < 99; ++k) extra += "junk ";
    Load_P_File(Write(With_Line(P_Text(3), 3, extra)));
    Expect_Rows_Filled(3);

    const std::pair<std::string, ErrorKind> bad[] = {
        {"0.5 1.5 2.5", ErrorKind::InvalidCall},         // no space after the last value used
        {" 0.5 1.5 2.5 ", ErrorKind::TypeMismatch},      // starts with a space
        {"0.5  1.5 2.5 ", ErrorKind::TypeMismatch},      // two spaces in a row
        {extra + "x ", ErrorKind::SubscriptOutOfRange},  // 100 spaces
    };
    for (const auto& [line, kind] : bad)
        Fails(Load_P_File, Write(With_Line(P_Text(3), 3, line)), kind);
    const std::string msg = Fails(Load_P_File, Write(With_Line(P_Text(3), 6, "0.75 1.75 2.75")),
                                  ErrorKind::InvalidCall);
    EXPECT_NE(msg.find("line 6, 3rd value (index 2)"), std::string::npos) << msg;
}

TEST_F(PFile, CountOfZeroOrBelowReadsLinesOneToFive) {
    for (int n : {0, -4}) {
        SetUp();
        const GlobalState before = GlobalState::Now();
        Load_P_File(Write("c\n" + std::to_string(n) + " 5 0.5\nx\ny\nz"));
        EXPECT_EQ(Nanimals, n);
        EXPECT_EQ(TotalTime, 5.0);
        EXPECT_EQ(dt, 0.5);
        for (int i = 0; i < MaxSpecies; ++i) EXPECT_EQ(Species(i).r, before.table.rows[i].r);
        Fails(Load_P_File, Write("c\n" + std::to_string(n) + " 5 0.5\nx\ny\n"),
              ErrorKind::InputPastEnd);
    }
}

TEST_F(PFile, FiftyOneSpeciesFillTheTableAndFiftyTwoFailAtValue51OfLine3) {
    Load_P_File(Write(P_Text(51)));
    Expect_Rows_Filled(51);

    SetUp();
    std::string rates;
    for (int i = 0; i < 52; ++i) rates += (i == 51 ? std::string("notanumber") : "1") + " ";
    std::string msg =
        Fails(Load_P_File, Write(With_Line(P_Text(52), 3, rates)), ErrorKind::SubscriptOutOfRange);
    EXPECT_NE(msg.find("line 3, 52nd value (index 51)"), std::string::npos) << msg;
    rates.pop_back();  // no space after value 51: taking it fails first
    Fails(Load_P_File, Write(With_Line(P_Text(52), 3, rates)), ErrorKind::InvalidCall);
}

TEST_F(PFile, LinesAfterTheLastNeededOneAreNeverRead) {
    Load_P_File(Write(P_Text(2) + "\x01\x02 garbage \n\n"));
    Expect_Rows_Filled(2);
}

TEST_F(PFile, ASmallerFileLeavesWhatALargerOneSet) {
    Load_P_File(Write(P_Text(5)));
    Load_P_File(Write(With_Line(P_Text(3), 4, "9.5 1.25 2.25 ")));
    EXPECT_EQ(Nanimals, 3);
    EXPECT_EQ(Species(0).x, 9.5);
    EXPECT_EQ(Species(4).x, 4.25);
    EXPECT_EQ(Species(2).a[3], 203.75);
}

TEST_F(PFile, AFailedLoadLeavesEveryGlobalAsItWas) {
    // The last matrix row fails after every other value would have been stored.
    const std::string msg =
        Fails(Load_P_File, Write(With_Line(P_Text(3), 8, "1 2 three ")), ErrorKind::TypeMismatch);
    EXPECT_NE(msg.find(dir_), std::string::npos) << msg;
    EXPECT_NE(msg.find("line 8, 3rd value (index 2)"), std::string::npos) << msg;
    EXPECT_NE(msg.find("\"three\""), std::string::npos) << msg;
    Fails(Load_P_File, Write(P_Text(3).substr(0, P_Text(3).rfind('\n', P_Text(3).size() - 2))),
          ErrorKind::InputPastEnd);
    Fails(Load_P_File, dir_, ErrorKind::PermissionDenied);  // a folder
    Fails(Load_P_File, dir_ + "/gone/f.p", ErrorKind::PathNotFound);
}

TEST_F(PFile, ALineOfMoreThan32767CharactersIsAnOverflowEvenPastTheValuesUsed) {
    // Lengths are 16-bit: the whole line fails, though the values used lie at its start.
    std::string msg =
        Fails(Load_P_File, Write(With_Line(P_Text(2), 3, "0.5 1.5 " + std::string(40000, 'j'))),
              ErrorKind::Overflow);
    EXPECT_NE(msg.find(", line 3: the line is longer than 32767 characters"), std::string::npos)
        << msg;
    // Junk glued to the last needed line, with no break before it.
    std::string text = P_Text(2);
    text.pop_back();
    msg = Fails(Load_P_File, Write(text + std::string(100000, '\0')), ErrorKind::Overflow);
    EXPECT_NE(msg.find(", line 7: the line is longer"), std::string::npos) << msg;
}

TEST_F(PFile, MessagesQuoteTheValueOnceAndShowTheLineOfAnEmptyValue) {
    const std::string path = Write(With_Line(P_Text(2), 2, "2  800"), "empty.p");
    std::string msg = Fails(Load_P_File, path, ErrorKind::TypeMismatch);
    EXPECT_EQ(msg, "Type mismatch: \"" + path +
                       "\", line 2, run time, in the line \"2  800\", not a number: \"\"");
    msg = Fails(Load_P_File, Write(With_Line(P_Text(2), 4, "\"0.3\" 1 ")), ErrorKind::TypeMismatch);
    EXPECT_NE(msg.find(R"(, line 4, 1st value (index 0), not a number: "\"0.3\"")"),
              std::string::npos)
        << msg;
    EXPECT_EQ(msg.find("0.3"), msg.rfind("0.3")) << "quoted twice: " << msg;
    // Values count from 0 like the table's rows, lines from 1: the text says which is which.
    msg = Fails(Load_P_File, Write(With_Line(P_Text(12), 5, "1 2 3 4 5 6 7 8 9 10 11 twelve ")),
                ErrorKind::TypeMismatch);
    EXPECT_NE(msg.find("line 5, 12th value (index 11)"), std::string::npos) << msg;
    // A name with control characters in it is shown escaped, never raw.
    const std::string odd = Write(With_Line(P_Text(2), 3, "x 1 "), "odd\x1B[2J\n.p");
    msg = Fails(Load_P_File, odd, ErrorKind::TypeMismatch);
    EXPECT_NE(msg.find("odd\\x1B[2J\\x0A.p\", line 3, 1st value"), std::string::npos) << msg;
    EXPECT_EQ(msg.find_first_of("\x1B\n"), std::string::npos) << msg;
}

TEST(FindSpaces, RecordsPositionsThenAZeroAndLeavesTheRest) {
    std::array<int16_t, 101> pos;
    pos.fill(-9);
    Find_Spaces("ab c  d", pos);
    EXPECT_EQ((std::vector<int16_t>(pos.begin(), pos.begin() + 6)),
              (std::vector<int16_t>{0, 3, 5, 6, 0, -9}));
    EXPECT_EQ(Take_Value("ab c  d", pos, 0), "ab");
    EXPECT_EQ(Take_Value("ab c  d", pos, 2), "");
    EXPECT_THROW(Take_Value("ab c  d", pos, 3), LvError);  // no space after "d"

    std::string far(32767, 'x');
    far += ' ';
    try {
        Find_Spaces(far, pos);
        ADD_FAILURE();
    } catch (const LvError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Overflow);
    }
    // A space at 32767 is still a position, but the search after it would start beyond: the
    // same checked rule as for taking the value after it.
    far[32765] = ' ';
    Find_Spaces(far.substr(0, 32766), pos);
    EXPECT_EQ(pos[1], 32766);
    far[32766] = ' ';
    for (auto split : {+[](const std::string&l, std::array<int16_t, 101>&p) { Find_Spaces(l, p); },
                       +[](const std::string&l, std::array<int16_t, 101>&p) {
                           p = {0, 32767, 0};
                           Take_Value(l, p, 1);
                       }}) {
        try {
            split(far.substr(0, 32767), pos);
            ADD_FAILURE() << "a space at 32767 accepted";
        } catch (const LvError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Overflow);
            EXPECT_NE(std::string(e.what()).find("space at position 32767"), std::string::npos)
                << e.what();
        }
    }
}

}  // namespace
