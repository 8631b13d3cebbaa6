// lv-sweep against lv-run: every point of a sweep must be what `lv-run --json` prints for a
// file that holds the point's values (or for --random --seed S), to the last digit, failures
// included, whatever the threads, shards and lanes; and the command line behaves as lv-run's.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <QImage>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ProgramTest.h"
#include "SweepLanes.h"

namespace {

namespace fs = std::filesystem;
const std::string Examples = LV_EXAMPLES;

// The fields of one CSV record (no quoted line breaks in these tests' rows).
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> f(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            f.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            f.emplace_back();
        } else {
            f.back() += c;
        }
    }
    return f;
}

// The CSV's rows as maps from the header's names to the fields.
std::vector<std::map<std::string, std::string>> Rows(const std::string& csv) {
    std::vector<std::map<std::string, std::string>> rows;
    std::vector<std::string> header;
    std::size_t at = 0;
    while (at < csv.size()) {
        const std::size_t end = csv.find("\r\n", at);
        EXPECT_NE(end, std::string::npos) << "a line without CRLF";
        if (end == std::string::npos) break;
        const std::vector<std::string> f = Fields(csv.substr(at, end - at));
        at = end + 2;
        if (header.empty()) {
            header = f;
            continue;
        }
        EXPECT_EQ(f.size(), header.size());
        std::map<std::string, std::string> row;
        for (std::size_t i = 0; i < f.size() && i < header.size(); ++i) row[header[i]] = f[i];
        rows.push_back(row);
    }
    return rows;
}

// A JSON number of lv-run's output, as its text.
std::string JsonText(const std::string& json, const std::string& key) {
    const std::size_t at = json.find("\"" + key + "\": ");
    if (at == std::string::npos) return "(missing " + key + ")";
    const std::size_t from = at + key.size() + 4;
    return json.substr(from, json.find_first_of(",}]", from) - from);
}

std::vector<std::string> JsonArray(const std::string& json, const std::string& key) {
    std::vector<std::string> v;
    std::size_t at = json.find("\"" + key + "\": [");
    if (at == std::string::npos) return v;
    at += key.size() + 5;
    const std::size_t end = json.find(']', at);
    while (at < end) {
        const std::size_t comma = std::min(json.find(", ", at), end);
        v.push_back(json.substr(at, comma - at));
        at = comma + 2;
    }
    return v;
}

// The chaotic four-species system as a row-style file, with any value replaced by a text.
struct PFile {
    std::string n = "4", totalTime = "800", dt = "0.01";
    std::vector<std::string> r{"1", "0.72", "1.53", "1.27"}, x{"0.3", "0.4", "0.3", "0.5"};
    std::vector<std::vector<std::string>> a{{"1", "1.09", "1.52", "0"},
                                            {"0", "1", "0.44", "1.36"},
                                            {"2.33", "0", "1", "0.47"},
                                            {"1.21", "0.51", "0.35", "1"}};
    void Set(const std::string& name, const std::string& value) {
        if (name == "dt") dt = value;
        if (name == "TotalTime") totalTime = value;
        if (name[0] == 'r') r[std::size_t(name[2] - '0')] = value;
        if (name[0] == 'x') x[std::size_t(name[2] - '0')] = value;
        if (name[0] == 'a') a[std::size_t(name[2] - '0')][std::size_t(name[4] - '0')] = value;
    }
    std::string Text() const {
        auto line = [](const std::vector<std::string>& v) {
            std::string s;
            for (const std::string& e : v) s += e + " ";
            return s + "\n";
        };
        std::string t = "test system\n" + n + " " + totalTime + " " + dt + "\n" + line(r) + line(x);
        t += line(std::vector<std::string>(x.size(), "255"));
        for (const auto& row : a) t += line(row);
        return t;
    }
};

class LvSweep : public ProgramTest {
  protected:
    Result Sweep(const std::string& args) { return Run_Program(LV_SWEEP, args); }
    // lv-sweep with LV_SWEEP_LANES set to `lanes`.
    Result SweepIn(const std::string& lanes, const std::string& args) {
        ::setenv(LaneBuildVariable, lanes.c_str(), 1);
        const Result r = Sweep(args);
        ::unsetenv(LaneBuildVariable);
        return r;
    }
    // lv-sweep run every way this processor has (each lane build, and one point after the
    // other): the outputs must be the same to the byte. Returns the default way's.
    Result SweepEveryWay(const std::string& args) {
        const Result first = Sweep(args);
        for (const std::string& lanes : Lane_Build_Names()) {
            const Result r = SweepIn(lanes, args);
            EXPECT_EQ(r.status, first.status) << lanes << ": " << args;
            EXPECT_TRUE(r.out == first.out) << lanes << ": " << args;
            EXPECT_EQ(Untimed(r.err), Untimed(first.err)) << lanes << ": " << args;
        }
        return first;
    }
    // Standard error with the closing line's time taken out, which no two runs share.
    static std::string Untimed(const std::string& err) {
        const std::size_t in = err.find(" in "), s = err.find(" s: ");
        if (in == std::string::npos || s == std::string::npos || s < in) return err;
        return err.substr(0, in) + err.substr(s + 2);
    }
    Result LvRun(const std::string& args) { return Run_Program(LV_RUN, args); }
    // lv-sweep with a terminal for its output, which `script` gives it and copies out.
    Result OnTerminal(const std::string& args) {
        return Run_Program("/usr/bin/script",
                           "-qec \"'" + std::string(LV_SWEEP) + "' " + args + "\" /dev/null");
    }

    // Each row against lv-run on a file holding the row's values: the same texts for LE,
    // steps, t and x, or, for a failed point, lv-run's error message.
    void ExpectRowsAreLvRuns(const std::string& csv, const std::vector<std::string>& names,
                             const std::string& runArgs, const PFile& base = {}) {
        const auto rows = Rows(csv);
        ASSERT_FALSE(rows.empty());
        for (const auto& row : rows) {
            PFile file = base;
            for (const std::string& name : names) file.Set(name, row.at(name));
            std::string args = "--json " + runArgs + " ";
            if (!row.at("seed").empty()) args += "--random --seed " + row.at("seed") + " ";
            const Result r = LvRun(args + Write("point.p", file.Text()));
            const std::string what = "point " + row.at("point");
            if (row.at("status") == "ok") {
                ASSERT_EQ(r.status, 0) << what << ": " << r.err;
                EXPECT_EQ(row.at("message"), "") << what;
                EXPECT_EQ(row.at("LE"), JsonText(r.out, "LE")) << what;
                EXPECT_EQ(row.at("steps"), JsonText(r.out, "steps")) << what;
                EXPECT_EQ(row.at("t"), JsonText(r.out, "t")) << what;
                EXPECT_EQ(row.at("clamps"), JsonText(r.out, "clamps")) << what;
                if (row.count("dimension")) {
                    EXPECT_EQ(row.at("dimension"), JsonText(r.out, "dimension")) << what;
                    const std::vector<std::string> spectrum = JsonArray(r.out, "spectrum");
                    ASSERT_EQ(spectrum.size(), base.x.size()) << what;
                    for (std::size_t i = 0; i < spectrum.size(); ++i)
                        EXPECT_EQ(row.at("L" + std::to_string(i)), spectrum[i]) << what;
                }
                const std::vector<std::string> x = JsonArray(r.out, "x");
                ASSERT_EQ(x.size(), base.x.size()) << what;
                for (std::size_t i = 0; i < x.size(); ++i)
                    EXPECT_EQ(row.at("x" + std::to_string(i)), x[i]) << what << ", x" << i;
            } else {
                EXPECT_EQ(r.status, 1) << what;
                EXPECT_EQ("lv-run: " + row.at("message") + "\n", r.err) << what;
                EXPECT_EQ(row.at("message").rfind(row.at("status") + ": ", 0), 0u) << what;
                EXPECT_EQ(row.at("LE") + row.at("t") + row.at("x0"), "") << what;
                // The step the run failed in, as the message names it; none for a point
                // refused before its run.
                const std::string& message = row.at("message");
                const std::size_t step = message.find(" step ");
                EXPECT_EQ(
                    row.at("steps"),
                    step == std::string::npos
                        ? ""
                        : message.substr(step + 6, message.find_first_of(":,", step) - step - 6))
                    << what;
            }
        }
    }
};

const std::string Chaotic = Examples + "/chaotic-4.p";

TEST_F(LvSweep, GridPointsAreLvRunsOfFilesHoldingTheirValues) {
    const Result r =
        SweepEveryWay("--time 30 --vary 'r(1)=0.6:0.8:3' --vary 'a(0,1)=1:1.2:2' " + Chaotic);
    ASSERT_EQ(r.status, 0) << r.err;
    // No progress when standard error is not a terminal: only the closing line.
    EXPECT_EQ(Untimed(r.err), "lv-sweep: 6 points: all ok\n");
    const auto rows = Rows(r.out);
    ASSERT_EQ(rows.size(), 6u);
    // The shortest text of each value that reads back to it.
    EXPECT_EQ(rows[1].at("r(1)"), "0.6");
    EXPECT_EQ(rows[1].at("a(0,1)"), "1.2");
    EXPECT_EQ(rows[2].at("r(1)"), "0.7");
    EXPECT_EQ(r.out.substr(0, r.out.find("\r\n")),
              "point,r(1),\"a(0,1)\",seed,status,LE,steps,t,clamps,x0,x1,x2,x3,message,sweep");
    ExpectRowsAreLvRuns(r.out, {"r(1)", "a(0,1)"}, "--time 30");

    // Run settings too: a file holding dt or TotalTime.
    const Result settings =
        SweepEveryWay("--vary 'dt=0.01:0.03:3' --vary 'TotalTime=5:7.5:2' " + Chaotic);
    ASSERT_EQ(settings.status, 0) << settings.err;
    ExpectRowsAreLvRuns(settings.out, {"dt", "TotalTime"}, "");
}

TEST_F(LvSweep, SeedsAreLvRunsRandomPopulations) {
    const Result r =
        SweepEveryWay("--time 20 --seeds 4294967294:4294967295 --vary 'r(0)=0.9:1:2' " + Chaotic);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = Rows(r.out);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].at("seed"), "4294967294");
    EXPECT_EQ(rows[1].at("seed"), "4294967295");
    EXPECT_EQ(rows[1].at("r(0)"), "0.9");
    ExpectRowsAreLvRuns(r.out, {"r(0)"}, "--time 20");
    // A column-style file as well: its random colours draw from the same source.
    const Result dat = SweepEveryWay("--steps 300 --seeds 7:8 " + Examples + "/chaotic-4.dat");
    ASSERT_EQ(dat.status, 0) << dat.err;
    for (const auto& row : Rows(dat.out)) {
        const Result one = LvRun("--json --steps 300 --random --seed " + row.at("seed") + " " +
                                 Examples + "/chaotic-4.dat");
        EXPECT_EQ(row.at("LE"), JsonText(one.out, "LE"));
        EXPECT_EQ(row.at("x2"), JsonArray(one.out, "x").at(2));
    }
}

TEST_F(LvSweep, FailedPointsKeepLvRunsErrorAndTheSweepGoesOn) {
    // Species 0 never changes (r = 0): at x(0) = -1e9 it lies far below the chart, and the
    // chart's row check fails at the first column. At r(1) = 1e300 the run and its copy
    // meet in the first step (the logarithm of a distance of 0).
    PFile wild;
    wild.n = "2";
    wild.totalTime = "10";
    wild.r = {"0", "1"};
    wild.x = {"-1e9", "0.5"};
    wild.a = {{"0", "0"}, {"0", "1"}};
    const Result r = SweepEveryWay("--vary 'x(0)=-1e9:0.5:3' --vary 'r(1)=1:1e300:2' " +
                                   Write("wild.p", wild.Text()));
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = Rows(r.out);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0].at("status"), "Overflow");
    EXPECT_EQ(rows[0].at("message"),
              "Overflow: strip chart at step 31, column 0, value out of 16-bit range");
    EXPECT_EQ(rows[5].at("status"), "Invalid procedure call or argument");
    EXPECT_EQ(rows[4].at("status"), "ok");
    ExpectRowsAreLvRuns(r.out, {"x(0)", "r(1)"}, "", wild);

    // dt = 0 with a step limit: the chart's interval divides by it.
    const Result zero = SweepEveryWay("--steps 5 --vary 'dt=0:0.01:2' " + Chaotic);
    ASSERT_EQ(zero.status, 0) << zero.err;
    EXPECT_EQ(Rows(zero.out).at(0).at("status"), "Division by zero");
    ExpectRowsAreLvRuns(zero.out, {"dt"}, "--steps 5");

    // Without one, a run that could never end is refused, point by point, in lv-run's order
    // and words: the chart's interval of dt = 0 first, then the run's length.
    const Result endless = SweepEveryWay("--vary 'dt=0:0.5:2' --vary 'TotalTime=0:1:2' " + Chaotic);
    ASSERT_EQ(endless.status, 0) << endless.err;
    const auto e = Rows(endless.out);
    EXPECT_EQ(e[0].at("message"), "Division by zero: plot interval: window time / dt with dt = 0");
    EXPECT_EQ(e[1].at("message"), e[0].at("message"));
    EXPECT_EQ(e[2].at("message"),
              "Invalid procedure call or argument: the run time is 0, so the run is continuous: "
              "give --steps N");
    EXPECT_EQ(e[3].at("status"), "ok");
    EXPECT_EQ(e[3].at("steps"), "2");
    ExpectRowsAreLvRuns(endless.out, {"dt", "TotalTime"}, "");
}

TEST_F(LvSweep, ThreadsAndShardsChangeNoByteAndMergeChecksTheShards) {
    const std::string sweep = "--quiet --time 15 --vary 'a(2,0)=2:2.6:5' --seeds 1:3 " + Chaotic;
    ASSERT_EQ(Sweep("--threads 1 --csv " + dir + "/one.csv " + sweep).status, 0);
    ASSERT_EQ(Sweep("--threads 2 --csv " + dir + "/two.csv " + sweep).status, 0);
    ASSERT_EQ(Sweep("--threads 7 " + sweep).status, 0);
    const std::string whole = Slurp(dir + "/one.csv");
    EXPECT_EQ(Rows(whole).size(), 15u);
    EXPECT_TRUE(Slurp(dir + "/two.csv") == whole);
    EXPECT_TRUE(Slurp(dir + "/out") == whole);
    // Every way of running the points, on two threads: the same bytes. A way this processor
    // does not have is refused, naming the ones it has.
    for (const std::string& lanes : Lane_Build_Names()) {
        ASSERT_EQ(SweepIn(lanes, "--threads 2 --csv " + dir + "/lanes.csv " + sweep).status, 0);
        EXPECT_TRUE(Slurp(dir + "/lanes.csv") == whole) << lanes;
    }
    const Result unknown = SweepIn("neon/2", sweep);
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("lv-sweep: Invalid procedure call or argument: LV_SWEEP_LANES="
                               "\"neon/2\": no lanes of that name on this processor, which has "),
              std::string::npos)
        << unknown.err;

    std::string shards;
    for (int k = 0; k < 4; ++k) {
        const std::string name = dir + "/shard" + std::to_string(k) + ".csv";
        ASSERT_EQ(
            Sweep("--threads 2 --shard " + std::to_string(k) + "/4 --csv " + name + " " + sweep)
                .status,
            0);
        shards += " " + name;
    }
    const Result merged = Sweep("merge" + shards);
    ASSERT_EQ(merged.status, 0) << merged.err;
    EXPECT_TRUE(merged.out == whole);

    const Result missing =
        Sweep("merge " + dir + "/shard0.csv " + dir + "/shard2.csv " + dir + "/shard3.csv");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err,
              "lv-sweep merge: 4 of the sweep's 15 points are in no shard: 1, 5, 9, 13\n");
    const Result twice = Sweep("merge" + shards + " " + dir + "/shard1.csv");
    EXPECT_EQ(twice.status, 1);
    EXPECT_NE(twice.err.find("point 1 is given twice: \"" + dir + "/shard1.csv\", line 2 and "),
              std::string::npos)
        << twice.err;
    // Shard 1 run again as `sweepArgs` say, merged with the others in place of the first.
    auto mergedWithShard1From = [&](const std::string& name, const std::string& sweepArgs) {
        const std::string csv = dir + "/" + name + ".csv";
        EXPECT_EQ(Sweep("--shard 1/4 --csv " + csv + " " + sweepArgs).status, 0);
        return Sweep("merge " + dir + "/shard0.csv " + csv + " " + dir + "/shard2.csv " + dir +
                     "/shard3.csv");
    };
    // Another range of the same parameter, and the same range of another file.
    const Result other = mergedWithShard1From(
        "other", "--quiet --time 15 --vary 'a(2,0)=2:2.7:5' --seeds 1:3 " + Chaotic);
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.err.find(dir + "/other.csv\", line 2: another sweep"), std::string::npos)
        << other.err;
    PFile changed;
    changed.r[3] = "1.2700000000000002";  // the next double after 1.27
    const std::string changedFile = Write("changed.p", changed.Text());
    const std::string sameRange = "--quiet --time 15 --vary 'a(2,0)=2:2.6:5' --seeds 1:3 ";
    EXPECT_EQ(mergedWithShard1From("file", sameRange + changedFile).status, 1);
    // Read from a pipe or standard input, a file is known by what it holds: the changed one
    // is still another sweep, and the same one through standard input the same sweep.
    EXPECT_EQ(mergedWithShard1From("piped", sameRange + "<(cat " + changedFile + ")").status, 1);
    const Result fromStdin = mergedWithShard1From("stdin", sameRange + "- <" + Chaotic);
    EXPECT_EQ(fromStdin.status, 0) << fromStdin.err;
    EXPECT_TRUE(fromStdin.out == whole);
}

// The shards and the whole of one small sweep, in the scratch folder: s0.csv ... and whole.csv.
const std::string SmallSweep = "--quiet --time 5 --vary 'r(1)=0.6:0.8:5' --seeds 1:2 " + Chaotic;

TEST_F(LvSweep, MergeWritesItsFileWholeOrNotAtAllAndTakesOnlyItsOwnOptions) {
    ASSERT_EQ(Sweep("--csv " + dir + "/whole.csv " + SmallSweep).status, 0);
    const std::string whole = Slurp(dir + "/whole.csv");
    std::string s[3];
    for (int k = 0; k < 3; ++k) {
        s[k] = dir + "/s" + std::to_string(k) + ".csv";
        ASSERT_EQ(
            Sweep("--shard " + std::to_string(k) + "/3 --csv " + s[k] + " " + SmallSweep).status,
            0);
    }
    // The sweep column: the digest, the number of points and their definition.
    EXPECT_EQ(Rows(whole).at(3).at("sweep").substr(16), ":10:r(1)=0.6:0.8:5;seeds=1:2");
    const std::string all = " " + s[0] + " " + s[1] + " " + s[2];
    Result r = Sweep("merge -o " + dir + "/m.csv" + all);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(Slurp(dir + "/m.csv") == whole);
    // The file may be a shard: it is replaced once every shard has been read.
    const std::string c0 = Write("c0.csv", Slurp(s[0]));
    EXPECT_EQ(Sweep("merge " + c0 + " " + s[1] + " " + s[2] + " -o " + c0).status, 0);
    EXPECT_TRUE(Slurp(c0) == whole);
    // A merge that fails leaves the file as it was, and nothing beside it.
    const std::string kept = Write("kept.csv", "old");
    r = Sweep("merge -o " + kept + " " + s[0] + " " + s[1]);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Slurp(kept), "old");
    for (const auto& e : fs::directory_iterator(dir))
        EXPECT_EQ(e.path().filename().string().find(".lv-save"), std::string::npos);
    // Standard output that is a shard: the shell has emptied it already.
    const std::string c1 = Write("c1.csv", Slurp(s[1]));
    r = Run_Program(LV_SWEEP, "merge " + s[0] + " " + c1 + " " + s[2], 0, 60, ">" + c1);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "lv-sweep merge: standard output is the shard \"" + c1 +
                         "\" (a shell's > empties it before the merge begins): write the merged "
                         "CSV with -o FILE\n");
    // Standard input, once.
    r = Sweep("merge " + s[0] + " - " + s[2] + " <" + s[1]);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == whole);
    r = Sweep("merge - - <" + s[1]);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "lv-sweep: merge reads standard input (-) once (see lv-sweep --help)\n");
    // Its own help; the sweep's options are refused, not ignored.
    r = Sweep("merge --help");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: lv-sweep merge [-o FILE] SHARD...\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("  -o FILE "), std::string::npos);
    EXPECT_NE(Sweep("--help").out.find("lv-sweep merge [-o FILE] SHARD...\n"), std::string::npos);
    for (const std::string& given :
         {"--csv " + dir + "/m2.csv", std::string("--quiet --threads 2")}) {
        r = Sweep(given + " merge" + all);
        EXPECT_EQ(r.status, 2) << given;
        EXPECT_NE(r.err.find("cannot go with merge"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(fs::exists(dir + "/m2.csv"));
}

TEST_F(LvSweep, MergeReadsShardsAsTheyComeAndSaysWhatIsWrongWhere) {
    ASSERT_EQ(Sweep("--csv " + dir + "/whole.csv " + SmallSweep).status, 0);
    const std::string whole = Slurp(dir + "/whole.csv");
    std::string s[2];
    for (int k = 0; k < 2; ++k) {
        s[k] = dir + "/s" + std::to_string(k) + ".csv";
        ASSERT_EQ(
            Sweep("--shard " + std::to_string(k) + "/2 --csv " + s[k] + " " + SmallSweep).status,
            0);
    }
    // A spreadsheet's byte order mark and blank last line pass, and are not merged.
    const std::string saved = Write("saved.csv", "\xEF\xBB\xBF" + Slurp(s[1]) + "\r\n");
    Result r = Sweep("merge " + s[0] + " " + saved);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == whole);
    // A row holding another value than its point's, though the same double.
    std::string text = Slurp(s[1]);
    const std::size_t at = text.find("\r\n1,0.6,2,");
    ASSERT_NE(at, std::string::npos);
    text.replace(at + 4, 3, "0.59999999999999998");
    const std::string edited = Write("edited.csv", text);
    r = Sweep("merge " + s[0] + " " + edited);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "lv-sweep merge: \"" + edited +
                         "\", line 2: point 1 has r(1) \"0.59999999999999998\", where the sweep's "
                         "definition gives 0.6\n");
    // Names and fields reach the terminal escaped: a name cannot forge a line of the message.
    const std::string forged = dir + "/s1.csv\", line 2 and\nlv-sweep merge: \x1b[2J.csv";
    fs::copy_file(s[1], forged);
    r = Sweep("merge " + s[0] + " '" + forged + "' " + s[1]);
    EXPECT_EQ(r.err,
              "lv-sweep merge: point 1 is given twice: \"" + dir +
                  "/s1.csv\\\", line 2 and\\x0Alv-sweep merge: \\x1B[2J.csv\", line 2 and \"" +
                  s[1] + "\", line 2\n");
    // Read failures by their kind and file, names escaped; endless or huge records stop at
    // the readers' bound, in little memory, and are not echoed.
    const std::string huge = Write("huge.csv", Slurp(s[0]) + "8," + std::string(5 << 20, '9'));
    const std::pair<std::string, std::string> failures[] = {
        {dir, "Permission denied: reading \"" + dir + "\" (Is a directory)"},
        {"$'" + dir + "/no\\nx.csv'",
         "File not found: reading \"" + dir + "/no\\x0Ax.csv\" (No such file or directory)"},
        {"/dev/zero",
         "Overflow: \"/dev/zero\", line 1: the record is longer than 32767 characters"},
        {s[1] + " " + huge,
         "Overflow: \"" + huge + "\", line 7: the record is longer than 32767 characters"},
    };
    for (const auto& [args, said] : failures) {
        r = Run_Program(LV_SWEEP, "merge " + args, 256, 60);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_EQ(r.err, "lv-sweep merge: " + said + "\n") << args;
        if (AddressSpaceCanBeLimited) {
            EXPECT_LT(r.maxRssKb, 50 * 1024) << args;
        }
    }
}

TEST_F(LvSweep, CommandLineAsLvRunsWithItsExitStatuses) {
    struct Case {
        std::string args;
        int status;
        std::string inErr;
    };
    const std::string endless = Write("endless.p", "c\n0 0 0.1\n\n\n\n");
    const Case cases[] = {
        {"--steps 0 " + Chaotic, 2, "--steps needs a whole number from 1 to 9223372036854775807"},
        {"--steps 9223372036854775808 " + Chaotic, 2, "--steps"},
        {"--style q " + Chaotic, 2, "--style is dat or p, not \"q\""},
        {"--continuous " + Chaotic, 2, "--continuous needs --steps N"},
        {"--continuous --time 5 --steps 3 " + Chaotic, 2, "exclude each other"},
        {"--bogus " + Chaotic, 2, "--bogus"},
        {"--time", 2, "--time"},
        {"--vary 'q(1)=1:2:3' " + Chaotic, 2, "--vary \"q(1)\": expected r(k)"},
        {"--vary 'TotalTime=1:2:2' --time 5 " + Chaotic, 2, "leave out --time"},
        {"--seeds 1:3 --vary 'x(0)=0:1:2' " + Chaotic, 2, "cannot go with it"},
        {"--threads 0 " + Chaotic, 2, "--threads"},
        // What the user typed reaches the terminal escaped, from the option parser too.
        {"--threads $'\\e[31mRED' " + Chaotic, 2, "\\x1B[31mRED"},
        {"--quiet=$'\\e[' " + Chaotic, 2, "\\x1B["},
        {"--shard 2/2 " + Chaotic, 2, "0 <= K < N"},
        {"--plot p.png " + Chaotic, 2, "--plot needs --vary or --seeds"},
        {"", 2, "no parameter FILE given"},
        {"merge", 2, "merge needs the shards' CSV files"},
        {dir + "/missing.p", 1, "lv-sweep: File not found"},
        {"--time soon " + Chaotic, 1, "lv-sweep: Type mismatch: --time"},
        {"--window-time 40000 " + Chaotic, 1, "lv-sweep: Overflow: --window-time \"40000\""},
        {"--vary 'r(7)=1:2:2' " + Chaotic, 1, "lv-sweep: --vary r(7): the file's rows are 0 to 3"},
        {"--seeds 1:2 " + endless, 1,
         "lv-sweep: Invalid procedure call or argument: the run time is 0, so the run is "
         "continuous: give --steps N"},
        {"--vary 'r(0)=1:2:2' --time 1e20 " + Examples + "/chaotic-4.dat", 1,
         "lv-sweep: Invalid procedure call or argument: the run would never end: the time step "
         "0.01 is too small for t to reach the run time 1e+20"},
        {"--csv " + dir + "/none/x.csv --steps 3 " + Chaotic, 1,
         "lv-sweep: Path not found: writing \"" + dir + "/none/x.csv\""},
    };
    for (const Case& c : cases) {
        const Result r = Sweep(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
        EXPECT_NE(r.err.find(c.inErr), std::string::npos) << c.args << ": " << r.err;
        // A bad command line is said in one line that points to the help.
        EXPECT_EQ(r.err.ends_with(" (see lv-sweep --help)\n"), c.status == 2) << c.args;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << c.args;
        EXPECT_EQ(r.err.find('\x1B'), std::string::npos) << c.args;
    }
    // Any step limit up to 2^63 - 1 runs; the run ends at the run time first.
    const Result most = Sweep("--steps 9223372036854775807 --time 0.05 --style p " + Chaotic);
    EXPECT_EQ(most.status, 0) << most.err;
    EXPECT_EQ(Rows(most.out).at(0).at("steps"), "5");
    const Result help = Sweep("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--vary NAME=FROM:TO:COUNT"), std::string::npos);
    // Help that cannot be written is a failure, as lv-run's is.
    for (const char* args : {"--help", "merge --help"}) {
        const Result full = Run_Program(LV_SWEEP, args, 0, 120, ">/dev/full");
        EXPECT_EQ(full.status, 1) << args;
        EXPECT_NE(full.err.find("writing the help to standard output (No space left on device)"),
                  std::string::npos)
            << full.err;
    }
    // A CSV that cannot be written leaves the one that was there.
    Write("kept.csv", "old");
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    const Result denied = Sweep("--steps 3 --csv " + dir + "/kept.csv " + Chaotic);
    fs::permissions(dir, fs::perms::owner_all);
    if (geteuid() != 0) {
        EXPECT_EQ(denied.status, 1);
        EXPECT_EQ(Slurp(dir + "/kept.csv"), "old");
    }
}

TEST_F(LvSweep, ProgressOnlyOnATerminal) {
    const std::string sweep = "--seeds 1:400 --csv " + dir + "/p.csv " + Chaotic;
    const Result shown = OnTerminal(sweep);
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.out.find("400 of 400 points, "), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find(" points/s, 0:00 left"), std::string::npos) << shown.out;
    const Result quiet = OnTerminal("--quiet " + sweep);
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(Untimed(Sweep(sweep).err), "lv-sweep: 400 points: all ok\n");
}

TEST_F(LvSweep, PlotsArePicturesOfTheirKind) {
    struct Case {
        std::string args;
        QSize size;
    };
    const Case cases[] = {
        {"--vary 'r(1)=0.6:0.8:4'", {960, 620}},
        {"--vary 'r(1)=0.6:0.8:3' --vary 'a(0,1)=1.3:1:4'", {960, 760}},
        {"--seeds 1:12", {960, 620}},
        {"--vary 'r(1)=0.6:0.8:3' --vary 'a(0,1)=1.3:1:4'", {960, 760}},
    };
    for (const Case& c : cases) {
        const std::string png = dir + "/plot.png";
        fs::remove(png);
        const Result r = Sweep("--quiet --time 30 --plot " + png + " " + c.args + " " + Chaotic);
        ASSERT_EQ(r.status, 0) << c.args << ": " << r.err;
        EXPECT_EQ(r.err, "") << c.args << ": the toolkit said something";
        EXPECT_EQ(Slurp(png).substr(0, 8), "\x89PNG\r\n\x1a\n") << c.args;
        const QImage image(QString::fromStdString(png), "PNG");
        EXPECT_EQ(image.size(), c.size) << c.args;
    }
    // The map's colour bar runs from blue through white to red.
    const QImage map(QString::fromStdString(dir + "/plot.png"));
    bool blue = false, red = false;
    for (int y = 0; y < map.height(); ++y) {
        for (int x = 0; x < map.width(); ++x) {
            const QRgb p = map.pixel(x, y);
            blue = blue || (qBlue(p) > 160 && qRed(p) < 50);
            red = red || (qRed(p) > 160 && qBlue(p) < 50);
        }
    }
    EXPECT_TRUE(blue && red);
    EXPECT_EQ(Sweep("--time 30 --plot " + dir + "/none/p.png --seeds 1:2 " + Chaotic).status, 1);

    // The format the file's name asks for, in any case; PNG for any other name.
    for (const Case& c : cases) {
        for (const auto& [name, start] : std::vector<std::pair<std::string, std::string>>{
                 {"plot.svg", "<?xml"}, {"plot.PDF", "%PDF-"}, {"plot.tif", "\x89PNG"}}) {
            const Result r = Sweep("--quiet --time 30 --plot " + dir + "/" + name + " " + c.args +
                                   " " + Chaotic);
            ASSERT_EQ(r.status, 0) << c.args << ": " << r.err;
            const std::string bytes = Slurp(dir + "/" + name);
            EXPECT_EQ(bytes.substr(0, start.size()), start) << name << " " << c.args;
        }
        EXPECT_NE(Slurp(dir + "/plot.svg").find("<svg"), std::string::npos) << c.args;
    }

    // A plot costs what the points that ran cost: one point of a sweep of 100,000,000 (it
    // took 1 GB for the values of the whole axis), and ten of a grid of 100,000 x 100,000.
    if (AddressSpaceCanBeLimited) {
        for (const std::string& sweep :
             {std::string("--vary 'r(1)=0.5:1:100000000' --shard 0/100000000"),
              std::string("--vary 'r(1)=0.5:1:100000' --vary 'a(0,1)=0.9:1.3:100000' "
                          "--shard 7/1000000000")}) {
            const Result r =
                Run_Program(LV_SWEEP,
                            "--quiet --threads 1 --time 10 --csv " + dir + "/shard.csv --plot " +
                                dir + "/shard.png " + sweep + " " + Chaotic,
                            300, 60);
            EXPECT_EQ(r.status, 0) << sweep << ": " << r.err;
            EXPECT_FALSE(QImage(QString::fromStdString(dir + "/shard.png")).isNull()) << sweep;
        }
    }

    // In an address space too small for the toolkit, its threads or its drawing, the plot
    // fails as Out of memory; it never hangs waiting for a thread that could not start, and
    // never crashes on an allocation that failed inside the toolkit.
    if (AddressSpaceCanBeLimited) {
        for (std::size_t mb = 60; mb <= 300; mb += 20) {
            const std::string png = dir + "/capped.png";
            fs::remove(png);
            const Result r = Run_Program(LV_SWEEP,
                                         "--quiet --threads 1 --time 10 --csv /dev/null --plot " +
                                             png + " --vary 'r(1)=0.6:0.8:4' " + Chaotic,
                                         mb, 30);
            if (r.status == 0)
                EXPECT_TRUE(fs::exists(png)) << mb << " MB";
            else
                EXPECT_EQ(r.err.rfind("lv-sweep: Out of memory: ", 0), 0u)
                    << mb << " MB, status " << r.status << ": " << r.err;
        }
    }
}

// The new files a run of SaveFile left in the folder.
std::vector<std::string> strayFiles(const std::string& dir) {
    std::vector<std::string> stray;
    for (const auto& f : fs::directory_iterator(dir))
        if (f.path().filename().string().rfind(".lv-save-", 0) == 0)
            stray.push_back(f.path().filename());
    return stray;
}

// A stop signal keeps the points finished, the first of the sweep, beside the CSV, which stays
// as it was; --resume takes them up and writes the bytes an uninterrupted sweep writes.
TEST_F(LvSweep, AStopSignalKeepsTheFinishedPointsAndResumeWritesTheWholeSweep) {
    const std::string args = "--time 20000 --seeds 1:60 --csv " + dir + "/out.csv " + Chaotic;
    const Result whole =
        Sweep("--quiet --time 20000 --seeds 1:60 --csv " + dir + "/whole.csv " + Chaotic);
    ASSERT_EQ(whole.status, 0) << whole.err;
    const std::string expected = Slurp(dir + "/whole.csv");
    // One point at a time, some 50 ms each: the signal comes with a few of them done.
    Write("out.csv", "the CSV of an earlier sweep");
    ::setenv(LaneBuildVariable, "single", 1);
    const pid_t sweep = Start_Program(LV_SWEEP, "--threads 1 " + args);
    ::unsetenv(LaneBuildVariable);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    ::kill(sweep, SIGTERM);
    const Result stopped = Finish_Program(sweep);
    EXPECT_EQ(stopped.status, 128 + SIGTERM) << stopped.err;
    EXPECT_NE(stopped.err.find("lv-sweep: stopped by SIGTERM after "), std::string::npos)
        << stopped.err;
    EXPECT_EQ(Slurp(dir + "/out.csv"), "the CSV of an earlier sweep");
    EXPECT_EQ(strayFiles(dir), std::vector<std::string>{});
    const std::string partial = Slurp(dir + "/out.csv.partial");
    const auto rows = Rows(partial);
    EXPECT_GE(rows.size(), 1u);
    EXPECT_LT(rows.size(), 60u);
    EXPECT_EQ(expected.compare(0, partial.size(), partial), 0) << "not the sweep's first rows";

    const Result resumed = Sweep("--resume " + args);
    EXPECT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_TRUE(Slurp(dir + "/out.csv") == expected);
    EXPECT_FALSE(fs::exists(dir + "/out.csv.partial"));
    EXPECT_NE(resumed.err.find("60 points (" + std::to_string(rows.size()) + " of them resumed)"),
              std::string::npos)
        << resumed.err;

    // Every stop signal, and a second one at once, leave no new file and the CSV as it was.
    for (int signal : {SIGINT, SIGHUP}) {
        fs::remove(dir + "/out.csv.partial");
        const pid_t again = Start_Program(LV_SWEEP, args);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::kill(again, signal);
        ::kill(again, signal);
        EXPECT_EQ(Finish_Program(again).status, 128 + signal);
        EXPECT_TRUE(Slurp(dir + "/out.csv") == expected);
        EXPECT_EQ(strayFiles(dir), std::vector<std::string>{});
    }
}

// --resume takes up only the start of this very sweep's CSV.
TEST_F(LvSweep, ResumeRefusesAPartialOfAnotherSweepOrOnePointOutOfTurn) {
    const std::string args = "--time 5 --seeds 1:6 --csv " + dir + "/out.csv " + Chaotic;
    ASSERT_EQ(Sweep("--quiet " + args).status, 0);
    const std::string whole = Slurp(dir + "/out.csv");
    const std::size_t third = whole.find("\r\n3,");
    ASSERT_NE(third, std::string::npos);
    const std::string firstThree = whole.substr(0, third + 2);
    struct Case {
        std::string partial, err;
    };
    std::string skipped = firstThree;
    skipped.replace(skipped.find("\r\n1,") + 2, 1, "4");
    const Case cases[] = {
        {firstThree.substr(0, firstThree.size() - 2),
         ", line 4: the last line has no line end: the file was cut short"},
        {skipped, ", line 3: not the row of point 1 of this sweep, which comes next (\"4\")"},
        {"point,seed,status\r\n", ", line 1: not the CSV of this sweep (its header is another)"},
    };
    for (const Case& c : cases) {
        Write("out.csv.partial", c.partial);
        Write("out.csv", "kept");
        const Result r = Sweep("--resume " + args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "lv-sweep: --resume: \"" + dir + "/out.csv.partial\"" + c.err + "\n");
        EXPECT_EQ(Slurp(dir + "/out.csv"), "kept");
    }
    // The start of this sweep is taken up, and the rest run.
    Write("out.csv.partial", firstThree);
    const Result r = Sweep("--resume " + args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Slurp(dir + "/out.csv") == whole);
    EXPECT_EQ(Sweep("--resume " + std::string(Chaotic)).status, 2) << "--resume without --csv";
}

// The closing line: how many points, how long, and how many of each outcome.
TEST_F(LvSweep, AClosingLineCountsThePointsByOutcome) {
    const Result ok = Sweep("--time 1 --vary 'r(1)=0.5:1:4' --csv " + dir + "/a.csv " + Chaotic);
    ASSERT_EQ(ok.status, 0);
    EXPECT_EQ(ok.err.rfind("lv-sweep: 4 points in ", 0), 0u) << ok.err;
    EXPECT_NE(ok.err.find(" s: all ok\n"), std::string::npos) << ok.err;
    // Every point fails: still a sweep that ran, and the line says so.
    const Result failed =
        Sweep("--time 1 --vary 'r(2)=1e300:1e301:3' --csv " + dir + "/b.csv " + Chaotic);
    EXPECT_EQ(failed.status, 0);
    EXPECT_NE(failed.err.find(" s: 0 ok, 3 failed (Overflow 3)\n"), std::string::npos)
        << failed.err;
    EXPECT_EQ(Sweep("--quiet --time 1 --csv " + dir + "/c.csv " + Chaotic).err, "");
}

// The analyses of every point are lv-run's for the point's file: the spectrum, the tangent
// vector's exponent, a transient left out; the maxima go to their own CSV, a row a maximum.
TEST_F(LvSweep, AnalysesArePointByPointLvRunsToo) {
    const std::string sweep = "--time 200 --discard 50 --vary 'r(1)=0.6,0.9,1.2' ";
    const Result spectrum = Sweep("--quiet --spectrum " + sweep + Chaotic);
    ASSERT_EQ(spectrum.status, 0) << spectrum.err;
    EXPECT_EQ(spectrum.out.substr(0, spectrum.out.find("\r\n")),
              "point,r(1),seed,status,LE,L0,L1,L2,L3,dimension,steps,t,clamps,x0,x1,x2,x3,message,"
              "sweep");
    ExpectRowsAreLvRuns(spectrum.out, {"r(1)"}, "--time 200 --discard 50 --spectrum");
    const Result tangent = Sweep("--quiet --method tangent " + sweep + Chaotic);
    ASSERT_EQ(tangent.status, 0) << tangent.err;
    ExpectRowsAreLvRuns(tangent.out, {"r(1)"}, "--time 200 --discard 50 --method tangent");
    // The identity names the analyses: shards with and without them never merge.
    EXPECT_NE(Rows(tangent.out).at(0).at("sweep"), Rows(spectrum.out).at(0).at("sweep"));

    const std::string maxima = dir + "/maxima.csv";
    const Result withMaxima =
        Sweep("--quiet --maxima 0 --maxima-csv " + maxima + " " + sweep + Chaotic);
    ASSERT_EQ(withMaxima.status, 0) << withMaxima.err;
    const std::string text = Slurp(maxima);
    EXPECT_EQ(text.substr(0, text.find("\r\n")), "point,r(1),seed,value");
    const auto rows = Rows(text);
    ASSERT_GT(rows.size(), 10u);
    std::map<std::string, int> byPoint;
    for (const auto& row : rows) {
        ++byPoint[row.at("point") + "," + row.at("r(1)")];
        const double value = std::stod(row.at("value"));
        EXPECT_GT(value, 0);
        EXPECT_LT(value, 1);
    }
    EXPECT_EQ(byPoint.size(), 3u);  // every point has maxima after its transient
    EXPECT_EQ(Sweep("--maxima-csv " + maxima + " " + sweep + Chaotic).status, 2);
    EXPECT_EQ(Sweep("--maxima 7 --maxima-csv " + maxima + " " + sweep + Chaotic).status, 1);
    EXPECT_EQ(Sweep("--time 200 --discard 500 --vary 'r(1)=1,2' " + Chaotic).status, 1);
}

// With --maxima on one axis the plot is the orbit diagram, every maximum against its run's
// value; and the plots of a resumed sweep are those of the sweep run whole: the exponents,
// clamps and maxima of the points taken from the partial files count as those of the
// points run.
TEST_F(LvSweep, OrbitDiagramsAndResumedPlotsDrawEveryPoint) {
    // a(0,0) of -2 and 0.5 send x(0) to the clamp; 1 and 3 do not.
    const std::string sweep = "--quiet --time 200 --discard 50 --vary 'a(0,0)=-2,1,0.5,3' --csv " +
                              dir + "/out.csv --plot " + dir + "/plot.svg ";
    const std::string maximaFiles = "--maxima 0 --maxima-csv " + dir + "/maxima.csv ";
    std::map<std::string, std::string> wholeFiles;
    for (const std::string& args : {sweep + Chaotic, sweep + maximaFiles + Chaotic}) {
        const bool orbit = args.find("--maxima") != std::string::npos;
        const Result whole = Sweep(args);
        ASSERT_EQ(whole.status, 0) << whole.err;
        const std::string csv = Slurp(dir + "/out.csv"), plot = Slurp(dir + "/plot.svg");
        const std::string maxima = orbit ? Slurp(dir + "/maxima.csv") : "";
        if (!orbit) {
            int clamped = 0;
            for (const auto& row : Rows(csv)) clamped += row.at("clamps") != "0";
            ASSERT_EQ(clamped, 2);
            EXPECT_NE(plot.find("2 clamped"), std::string::npos);
        } else {
            const auto maximumRows = Rows(maxima);
            std::set<std::string> runs;
            for (const auto& row : maximumRows) runs.insert(row.at("point"));
            ASSERT_GT(maximumRows.size(), 3u);
            EXPECT_NE(plot.find(std::to_string(maximumRows.size()) + " maxima of " +
                                std::to_string(runs.size()) + " runs"),
                      std::string::npos);
        }

        // Interrupted after the first two points, one clamped and one not.
        const std::size_t third = csv.find("\r\n2,");
        ASSERT_NE(third, std::string::npos);
        Write("out.csv.partial", csv.substr(0, third + 2));
        std::string firstTwo;
        for (std::size_t at = 0; at < maxima.size();) {
            const std::size_t end = maxima.find("\r\n", at) + 2;
            const std::string line = maxima.substr(at, end - at);
            if (at == 0 || line.rfind("0,", 0) == 0 || line.rfind("1,", 0) == 0) firstTwo += line;
            at = end;
        }
        if (orbit) Write("maxima.csv.partial", firstTwo);
        for (const char* name : {"out.csv", "maxima.csv", "plot.svg"}) fs::remove(dir + "/" + name);
        const Result resumed = Sweep("--resume " + args);
        ASSERT_EQ(resumed.status, 0) << resumed.err;
        EXPECT_TRUE(Slurp(dir + "/out.csv") == csv) << args;
        if (orbit) EXPECT_TRUE(Slurp(dir + "/maxima.csv") == maxima);
        EXPECT_TRUE(Slurp(dir + "/plot.svg") == plot) << args;
        wholeFiles[orbit ? "orbit" : "LE"] = plot;
    }
    EXPECT_NE(wholeFiles["orbit"], wholeFiles["LE"]);

    // The maxima go to a file or to the orbit diagram of one axis; a resumed diagram needs
    // the partial file that keeps them.
    const std::string plot = " --plot " + dir + "/o.png ";
    for (const std::string& bad :
         {"--maxima 0" + plot + "--vary 'r(0)=1,2' --vary 'r(1)=1,2'",
          "--maxima 0" + plot + "--seeds 1:3",
          "--maxima 0 --resume --csv " + dir + "/out.csv" + plot + "--vary 'r(0)=1,2'"}) {
        const Result r = Sweep(bad + " " + Chaotic);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find("--maxima"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir + "/o.png"));
}

}  // namespace
