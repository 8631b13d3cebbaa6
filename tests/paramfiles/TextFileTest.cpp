#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <optional>
#include <thread>

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

// The kind a failure to open `path` has, or nothing when it opened.
std::optional<ErrorKind> Open_Failure(const std::string& path, std::string* message = nullptr) {
    try {
        TextFile f(path);
    } catch (const LvError& e) {
        if (message) *message = e.what();
        return e.kind();
    }
    return std::nullopt;
}

TEST_F(LineReader, OpeningFailuresNameTheirKindTheFileAndTheSystemsReason) {
    const std::string file = Write("x");
    const std::pair<std::string, ErrorKind> cases[] = {
        {dir_ + "/none.dat", ErrorKind::FileNotFound},
        {std::string(), ErrorKind::FileNotFound},
        {dir_ + "/no/such/folder.p", ErrorKind::PathNotFound},
        {file + "/below.p", ErrorKind::PathNotFound},  // a file where a folder should be
        {dir_, ErrorKind::PermissionDenied},           // a folder is no file to read
    };
    for (const auto& [path, kind] : cases) {
        std::string message;
        EXPECT_EQ(Open_Failure(path, &message), kind) << path;
        EXPECT_NE(message.find("reading " + Quote_For_Message(path, 200) + " ("), std::string::npos)
            << message;
    }
    std::string message;
    Open_Failure(dir_ + "/none.dat", &message);
    EXPECT_EQ(message,
              "File not found: reading \"" + dir_ + "/none.dat\" (No such file or directory)");
    Open_Failure(dir_, &message);
    EXPECT_EQ(message, "Permission denied: reading \"" + dir_ + "\" (Is a directory)");
}

TEST_F(LineReader, AFileThatMayNotBeReadIsPermissionDenied) {
    const std::string path = Write("c\n1 2 3\n");
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);
    // In a child, which as root first takes the rights of nobody, so that the file's
    // permissions count as they do for a user.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(100);
        const std::optional<ErrorKind> kind = Open_Failure(path);
        ::_exit(kind ? 10 + int(*kind) : 99);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 10 + int(ErrorKind::PermissionDenied));
}

TEST_F(LineReader, AFailingReadIsADeviceErrorAtItsLine) {
    // Reading this process's memory from address 0 fails with EIO: the system's own example
    // of a read that fails after the open succeeded.
    TextFile f("/proc/self/mem");
    try {
        f.Skip_Line();
        ADD_FAILURE() << "read /proc/self/mem";
    } catch (const LvError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::DeviceIoError);
        EXPECT_STREQ(e.what(),
                     "Device I/O error: reading \"/proc/self/mem\", line 1 (Input/output error)");
    }
}

TEST_F(LineReader, ALineFailsAtItsCharacter32768AndTheRestIsNeverRead) {
    const std::string longest(32767, 'x');
    TextFile f(Write(longest + "\n" + longest + "\r\n" + longest + "y\nnext\n"));
    f.Skip_Line();
    EXPECT_EQ(f.Read_Line(), longest);
    try {
        f.Read_Line();
        ADD_FAILURE() << "a line of 32768 characters read";
    } catch (const LvError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Overflow);
        EXPECT_NE(std::string(e.what()).find(", line 3: the line is longer than 32767"),
                  std::string::npos)
            << e.what();
    }
    TextFile first(Write(longest + "y\n"));  // line 1 too, though it is skipped unread
    EXPECT_THROW(first.Skip_Line(), LvError);

    // From a pipe that would go on with a megabyte: the reader stops taking it soon after
    // character 32768 (what it has buffered), and the writer finds the pipe closed.
    std::signal(SIGPIPE, SIG_IGN);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    std::size_t written = 0;
    std::thread writer([&] {
        const std::string chunk(4096, 'z');
        while (written < (1u << 20)) {
            const ssize_t n = ::write(ends[1], chunk.data(), chunk.size());
            if (n <= 0) break;
            written += std::size_t(n);
        }
        ::close(ends[1]);
    });
    {
        TextFile piped("/proc/self/fd/" + std::to_string(ends[0]));
        ::close(ends[0]);
        try {
            piped.Skip_Line();
            ADD_FAILURE() << "an endless line 1 read";
        } catch (const LvError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Overflow) << e.what();
        }
    }
    writer.join();
    EXPECT_LT(written, 256u * 1024) << "bytes the reader took from the pipe";
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
