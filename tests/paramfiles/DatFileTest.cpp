#include <algorithm>
#include <sstream>

#include "Convert.h"
#include "Fixture.h"
#include "Initialisers.h"
#include "ParamFiles.h"
#include "Random.h"

namespace {

// A column-style file for n species whose every value tells where it belongs:
// x(i) = i + 0.25, r(i) = i + 0.5, a(i, j) = i * 100 + j + 0.75.
std::string Dat_Text(int n, const std::string& brk = "\n") {
    std::ostringstream s;
    s << "line 1 is a comment" << brk << "'" << n << "'" << brk;
    for (int i = 0; i < n; ++i) s << "'" << i + 0.25 << "'" << brk;
    for (int i = 0; i < n; ++i) s << "'" << i + 0.5 << "'" << brk;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) s << "'" << i * 100 + j + 0.75 << "'" << brk;
    return s.str();
}

class DatFile : public FileTest {
  protected:
    void SetUp() override {
        FileTest::SetUp();
        Set_Random_Source(&rnd_);
    }
    void TearDown() override {
        Set_Random_Source(nullptr);
        FileTest::TearDown();
    }
    void Expect_Rows_Filled(int n) {
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(Species(i).x, i + 0.25);
            EXPECT_EQ(Species(i).r, i + 0.5);
            for (int j = 0; j < n; ++j) ASSERT_EQ(Species(i).a[j], i * 100 + j + 0.75);
        }
    }
    Mt19937Random rnd_{12345};
};

TEST_F(DatFile, LoadsValuesInFileOrderWithFixedRunSettingsAndRandomColours) {
    Load_Dat_File(Write(Dat_Text(3)));
    EXPECT_EQ(Nanimals, 3);
    EXPECT_EQ(TotalTime, 800.0);
    EXPECT_EQ(dt, 0.01);
    Expect_Rows_Filled(3);
    // Row 3 and the columns beyond 2 keep the pattern of the fixture.
    EXPECT_EQ(Species(3).x, -1003);
    EXPECT_EQ(Species(0).a[3], -3.5);
    // The colours are those Random_Colors draws for 3 rows, and row 3 keeps its own.
    const int32_t drawn[3] = {Species(0).Color, Species(1).Color, Species(2).Color};
    Random_Colors(Nanimals);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(drawn[i], Species(i).Color);
    EXPECT_EQ(Species(3).Color, -3003);
}

TEST_F(DatFile, AllLineBreakFormsLoadAlike) {
    for (const char* brk : {"\r\n", "\r"}) {
        SetUp();
        Load_Dat_File(Write(Dat_Text(4, brk)));
        EXPECT_EQ(Nanimals, 4);
        Expect_Rows_Filled(4);
    }
}

TEST_F(DatFile, CountOfZeroOrBelowReadsOnlyLineTwo) {
    for (int n : {0, -3}) {
        SetUp();
        const GlobalState before = GlobalState::Now();
        Load_Dat_File(Write("c\n'" + std::to_string(n) + "'"));
        EXPECT_EQ(Nanimals, n);
        EXPECT_EQ(TotalTime, 800.0);
        for (int i = 0; i < MaxSpecies; ++i) {
            EXPECT_EQ(Species(i).x, before.table.rows[i].x);
            EXPECT_EQ(Species(i).Color, before.table.rows[i].Color);
        }
    }
}

TEST_F(DatFile, FiftyOneSpeciesFillTheTable) {
    const std::string text = Dat_Text(51);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2705);
    Load_Dat_File(Write(text));
    Expect_Rows_Filled(51);
}

TEST_F(DatFile, FiftyTwoSpeciesFailAtLine54WhateverItHolds) {
    const std::string text = Dat_Text(52);
    std::size_t at = 0;  // start of line 54
    for (int k = 0; k < 53; ++k) at = text.find('\n', at) + 1;
    const auto line54 = [&](const std::string& replacement) {
        std::string t = text;
        t.replace(at, t.find('\n', at) - at, replacement);
        return Write(t);
    };
    std::string msg =
        Fails(Load_Dat_File, line54("'not a number'"), ErrorKind::SubscriptOutOfRange);
    EXPECT_NE(msg.find("line 54"), std::string::npos) << msg;
    EXPECT_NE(msg.find("not a number"), std::string::npos) << msg;
    Fails(Load_Dat_File, line54("x"), ErrorKind::InvalidCall);  // too short for Strip_Ends
    Fails(Load_Dat_File, Write(text.substr(0, at)), ErrorKind::InputPastEnd);
}

TEST_F(DatFile, WrappingCharactersAreDroppedWhateverTheyAre) {
    Load_Dat_File(Write("c\n929\n1.25\n91.59\n0700\n 1 \n-1-\n\"2\"\n$3$\n[4]\n"));
    EXPECT_EQ(Nanimals, 2);
    EXPECT_EQ(Species(0).x, 0.2);  // 1.25 without its ends
    EXPECT_EQ(Species(1).x, 1.5);
    EXPECT_EQ(Species(0).r, 70.0);
    EXPECT_EQ(Species(1).r, 1.0);
    EXPECT_EQ(Species(1).a[1], 4.0);
    std::string msg = Fails(Load_Dat_File, Write("c\n'1'\n10\n"), ErrorKind::TypeMismatch);
    EXPECT_NE(msg.find("line 3"), std::string::npos) << msg;
    Fails(Load_Dat_File, Write("c\n'1'\n''\n"), ErrorKind::TypeMismatch);  // nothing left
    Fails(Load_Dat_File, Write("c\n'1'\n\n"), ErrorKind::InvalidCall);
    Fails(Load_Dat_File, Write("c\n'40000'\n"), ErrorKind::Overflow);
    Fails(Load_Dat_File, Write("c\n'1'\n'" + std::string(32766, '1') + "'\n"),
          ErrorKind::Overflow);  // 32768 characters
}

TEST_F(DatFile, MessagesQuoteTheValueOnceAndTheLineOnlyWhenNothingIsLeftOfIt) {
    const std::string path = Write("c\n'1'\n'\"0.3\"'\n", "q.dat");
    std::string msg = Fails(Load_Dat_File, path, ErrorKind::TypeMismatch);
    EXPECT_EQ(msg, "Type mismatch: \"" + path + R"(", line 3, not a number: "\"0.3\"")");
    msg = Fails(Load_Dat_File, Write("c\n'1'\n''\n"), ErrorKind::TypeMismatch);
    EXPECT_NE(msg.find(R"(, line 3, in the line "''", not a number: "")"), std::string::npos)
        << msg;
}

TEST_F(DatFile, JunkGluedToTheLastNeededLineIsAnOverflowThere) {
    std::string text = Dat_Text(2);
    text.pop_back();
    const std::string msg =
        Fails(Load_Dat_File, Write(text + std::string(100000, 'j')), ErrorKind::Overflow);
    EXPECT_NE(msg.find(", line 10: the line is longer than 32767 characters"), std::string::npos)
        << msg;
}

TEST_F(DatFile, LinesAfterTheLastNeededOneAreNeverRead) {
    Load_Dat_File(Write(Dat_Text(2) + "garbage\n\x01\x02\nmore"));
    Expect_Rows_Filled(2);
}

TEST_F(DatFile, ASmallerFileLeavesWhatALargerOneSet) {
    Load_Dat_File(Write(Dat_Text(5)));
    std::string three = Dat_Text(3);
    three.replace(three.find("'0.25'"), 6, "'9.5'");
    Load_Dat_File(Write(three));
    EXPECT_EQ(Nanimals, 3);
    EXPECT_EQ(Species(0).x, 9.5);
    EXPECT_EQ(Species(4).x, 4.25);       // rows 3 and 4 as the 5-species file set them
    EXPECT_EQ(Species(1).a[4], 104.75);  // and columns 3 and 4 of rows 0 to 2
}

TEST_F(DatFile, AFailedLoadLeavesEveryGlobalAsItWas) {
    // Fails in the matrix, after populations and rates would have been stored.
    std::string text = Dat_Text(3);
    text.replace(text.rfind("'2"), 2, "'x");
    std::string msg = Fails(Load_Dat_File, Write(text), ErrorKind::TypeMismatch);
    EXPECT_NE(msg.find(dir_), std::string::npos) << msg;
    EXPECT_NE(msg.find("line 17"), std::string::npos) << msg;
    Fails(Load_Dat_File, dir_ + "/missing.dat", ErrorKind::FileNotFound);
    Fails(Load_Dat_File, dir_ + "/missing/f.dat", ErrorKind::PathNotFound);
    Fails(Load_Dat_File, Write(Dat_Text(3).substr(0, Dat_Text(3).find("'1.5'"))),
          ErrorKind::InputPastEnd);
}

}  // namespace
