#include "Fixture.h"
#include "TextFile.h"

namespace {

using LineReader = FileTest;

std::vector<std::string> All_Lines(TextFile& f) {
    std::vector<std::string> lines;
    f.Skip_Line();
    try {
        for (;;) lines.push_back(f.Read_Line());
    } catch (const LvError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::InputPastEnd);
    }
    return lines;
}

TEST_F(LineReader, EveryLineBreakFormEndsALineAndNoneOfItReachesTheText) {
    using V = std::vector<std::string>;
    const std::pair<std::string, V> cases[] = {
        {"skip\na\nb\n", {"a", "b"}},
        {"skip\r\na\r\nb\r\n", {"a", "b"}},
        {"skip\ra\rb\r", {"a", "b"}},
        {"skip\r\na\rb\nc", {"a", "b", "c"}},    // mixed, last line without a break
        {"skip\n\n\r\n\rx", {"", "", "", "x"}},  // empty lines stay lines
        {"skip\n\n", {""}},
        {"skip", {}},
        {"skip\n\r\r\n", {"", ""}},  // "\r" then "\r\n": two breaks, not three
    };
    for (const auto& [text, expected] : cases) {
        TextFile f(Write(text));
        EXPECT_EQ(All_Lines(f), expected) << Quote_For_Message(text);
    }
}

TEST_F(LineReader, BytesReachTheTextOneToOne) {
    const std::string odd("x\n\xE9\xFF\x01\x00 z\tq\n", 10);
    TextFile f(Write(odd));
    f.Skip_Line();
    EXPECT_EQ(f.Read_Line(), std::string("\xE9\xFF\x01\x00 z\tq", 8));
}

TEST_F(LineReader, MissingOrUnreadableFileIsFileNotFound) {
    for (const std::string& path : {dir_ + "/none.dat", dir_, std::string()}) {
        try {
            TextFile f(path);
            ADD_FAILURE() << "opened " << path;
        } catch (const LvError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::FileNotFound) << path;
        }
    }
}

TEST_F(LineReader, ReadingPastTheEndNamesTheLine) {
    TextFile f(Write("only line 1\nline 2"));
    f.Skip_Line();
    f.Read_Line();
    EXPECT_EQ(f.Line_Number(), 2);
    try {
        f.Read_Line();
        ADD_FAILURE();
    } catch (const LvError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::InputPastEnd);
        EXPECT_NE(e.context().find("line 3"), std::string::npos) << e.what();
    }
    TextFile empty(Write(""));
    EXPECT_THROW(empty.Skip_Line(), LvError);
}

}  // namespace
