#pragma once

// What the tests of the command-line programs share: a scratch folder, a program run with
// its exit status, its two outputs and its memory, and files written there.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

struct Result {
    int status;  // the exit status, or -1 when it was killed
    std::string out, err;
    long maxRssKb = 0;  // the most memory it (or anything it started) held at once
};

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer reserves terabytes of address space up front: no limit on it can hold.
constexpr bool AddressSpaceCanBeLimited = false;
#else
constexpr bool AddressSpaceCanBeLimited = true;
#endif

inline std::string Slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/lv-program-XXXXXX";
        dir = mkdtemp(tmpl);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // `program` with `args` as bash reads them (so <(...) works), standard output redirected
    // by `out` (default: a file in the scratch folder). With `memoryMb`, its address space is
    // limited to that. Killed after `seconds` if it hangs.
    Result Run_Program(const std::string& program, const std::string& args,
                       std::size_t memoryMb = 0, unsigned seconds = 120,
                       const std::string& out = "") {
        return Finish_Program(Start_Program(program, args, memoryMb, seconds, out));
    }

    // The same, started and left running, for the test to act on it (a signal) meanwhile.
    pid_t Start_Program(const std::string& program, const std::string& args,
                        std::size_t memoryMb = 0, unsigned seconds = 120,
                        const std::string& out = "") {
        const std::string cmd = "exec '" + program + "' " + args + " " +
                                (out.empty() ? ">" + dir + "/out" : out) + " 2>" + dir + "/err";
        ::unlink((dir + "/out").c_str());
        const pid_t child = ::fork();
        if (child == 0) {
            if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(126);
            if (memoryMb > 0 && AddressSpaceCanBeLimited) {
                const rlimit limit{memoryMb << 20, memoryMb << 20};
                ::setrlimit(RLIMIT_AS, &limit);
            }
            ::alarm(seconds);
            ::execl("/bin/bash", "bash", "-c", cmd.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return child;
    }

    // Waits for a program started by Start_Program.
    Result Finish_Program(pid_t child) {
        int raw = 0;
        rusage usage{};
        ::wait4(child, &raw, 0, &usage);
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(dir + "/out"), Slurp(dir + "/err"),
                usage.ru_maxrss};
    }
    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(dir + "/" + name, std::ios::binary) << text;
        return dir + "/" + name;
    }

    std::string dir;
    std::string cwd;  // where the program starts, when not here
};
