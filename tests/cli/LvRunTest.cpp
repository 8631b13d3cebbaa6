// lv-run against the core called directly: the same file, run the same way, must give the
// same exponent, populations and chart, bit for bit.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BitmapFile.h"
#include "Convert.h"
#include "Globals.h"
#include "Initialisers.h"
#include "ModelRun.h"
#include "ParamFiles.h"
#include "ProgramTest.h"
#include "Random.h"
#include "RunHistory.h"
#include "StripChart.h"
#include "Subs.h"

namespace {

namespace fs = std::filesystem;
const std::string Examples = LV_EXAMPLES;

// The core's side of a run: the chart into an image, a step count, a stop after N steps.
class DirectView : public ModelWindow {
  public:
    DirectView(QImage& image, long stopAfter)
        : chart(PixelSurface{reinterpret_cast<uint32_t*>(image.bits()), image.width(),
                             image.height(), image.bytesPerLine() / 4}),
          stopAfter(stopAfter) {}
    void Clear_Picture() override { chart.Clear(); }
    void Graph_Populations(const int16_t& n) override {
        chart.Graph_Populations(Species, n, PlotColumn);
    }
    void Set_Info_Caption(const std::string& c) override {
        chart.Render();
        caption = c;
    }
    void Do_Events() override {
        if (++steps == stopAfter) StopRequested = -1;
    }
    StripChart chart;
    long stopAfter;
    long steps = 0;
    std::string caption;
};

struct Direct {
    double le;
    long steps;
    std::vector<double> x;
    std::string caption;
    QImage image{700, 250, QImage::Format_RGB32};
};

Direct Run_Direct(const std::string& file, std::optional<double> time = {}, long steps = 0,
                  int16_t plotInterval = 30, std::optional<uint32_t> randomSeed = {}) {
    if (file.ends_with(".dat"))
        Load_Dat_File(file);
    else
        Load_P_File(file);
    if (time) TotalTime = *time;
    Mt19937Random seeded(randomSeed.value_or(0));
    if (randomSeed) {
        Set_Random_Source(&seeded);
        Random_Populations(Nanimals);
        Set_Random_Source(nullptr);
    }
    StopRequested = 0;
    Direct d;
    DirectView view(d.image, steps);
    Run_Model(view, Nanimals, plotInterval, TotalTime);
    d.le = LE;
    d.steps = view.steps;
    d.caption = view.caption;
    for (int i = 0; i < Nanimals; ++i) d.x.push_back(Species(i).x);
    return d;
}

double Number(const std::string& json, const std::string& key) {
    const std::size_t at = json.find("\"" + key + "\": ");
    EXPECT_NE(at, std::string::npos) << key << " missing in " << json;
    return at == std::string::npos ? NAN : std::strtod(json.c_str() + at + key.size() + 4, nullptr);
}

std::vector<double> Array(const std::string& json, const std::string& key) {
    std::vector<double> v;
    std::size_t at = json.find("\"" + key + "\": [");
    if (at == std::string::npos) return v;
    const char* p = json.c_str() + at + key.size() + 5;
    while (*p != ']') {
        char* end;
        v.push_back(std::strtod(p, &end));
        p = end;
        while (*p == ',' || *p == ' ') ++p;
    }
    return v;
}

class LvRun : public ProgramTest {
  protected:
    // lv-run; see Run_Program.
    Result Run(const std::string& args, std::size_t memoryMb = 0, unsigned seconds = 120,
               const std::string& out = "") {
        return Run_Program(LV_RUN, args, memoryMb, seconds, out);
    }
};

TEST_F(LvRun, ShippedFilesGiveWhatTheCoreGives) {
    for (const char* name : {"chaotic-4.p", "chaotic-4.dat", "oscillating-4.p", "stable-2.dat"}) {
        const std::string file = Examples + "/" + name;
        const Result r = Run("--json " + file);
        ASSERT_EQ(r.status, 0) << name << ": " << r.err;
        const Direct d = Run_Direct(file);
        EXPECT_EQ(Number(r.out, "LE"), d.le) << name;
        EXPECT_EQ(Number(r.out, "steps"), d.steps) << name;
        EXPECT_EQ(Number(r.out, "N"), Nanimals) << name;
        EXPECT_EQ(Number(r.out, "TotalTime"), TotalTime) << name;
        EXPECT_EQ(Number(r.out, "dt"), dt) << name;
        EXPECT_EQ(Number(r.out, "PlotInterval"), 30) << name;
        EXPECT_EQ(Array(r.out, "x"), d.x) << name;
        EXPECT_GE(Number(r.out, "t"), TotalTime) << name;

        const Result plain = Run(file);
        EXPECT_EQ(plain.out, d.caption.substr(0, d.caption.find('\r')) + "\n");
    }
}

TEST_F(LvRun, RunTimeStepsAndRandomPopulationsActAsTheWindowsChoices) {
    const std::string file = Examples + "/chaotic-4.p";
    Result r = Run("--json --continuous --steps 1234 " + file);
    ASSERT_EQ(r.status, 0) << r.err;
    Direct d = Run_Direct(file, -1.0, 1234);
    EXPECT_EQ(Number(r.out, "steps"), 1234);
    EXPECT_EQ(Number(r.out, "TotalTime"), -1);
    EXPECT_EQ(Number(r.out, "LE"), d.le);

    r = Run("--json --time 7.5 " + file);
    d = Run_Direct(file, 7.5);
    EXPECT_EQ(Number(r.out, "steps"), d.steps);
    EXPECT_EQ(Array(r.out, "x"), d.x);

    r = Run("--json --random --seed 99 --steps 500 " + file);
    d = Run_Direct(file, {}, 500, 30, 99u);
    EXPECT_EQ(Number(r.out, "LE"), d.le);
    EXPECT_EQ(Array(r.out, "x"), d.x);
    EXPECT_EQ(Run("--json --random --seed 99 --steps 500 " + file).out, r.out);
}

TEST_F(LvRun, PlotIntervalComesFromWindowTimeStepAndWidth) {
    const std::string file = Examples + "/chaotic-4.dat";  // dt 0.01
    const std::pair<std::string, int> cases[] = {
        {"", 30},
        {"--width 800", 26},
        {"--width 640", 32},
        {"--window-time 1", 0},
        {"--window-time 210.5", 30},
        {"--window-time 211.5 --width 10", 2120},
    };
    for (const auto& [args, expected] : cases) {
        const Result r = Run("--json --steps 2 " + args + " " + file);
        EXPECT_EQ(Number(r.out, "PlotInterval"), expected) << args << r.err;
    }
}

TEST_F(LvRun, ImageIsTheSharedChartAsABitmapAndOnlyAfterASuccessfulRun) {
    const std::string file = Examples + "/chaotic-4.p";
    const std::string image = dir + "/chart.picture";  // no extension added
    ASSERT_EQ(Run("--image " + image + " " + file).status, 0);
    const Direct d = Run_Direct(file);
    EXPECT_EQ(Slurp(image).substr(0, 2), "BM");
    EXPECT_EQ(QImage(QString::fromStdString(image), "BMP").convertToFormat(QImage::Format_RGB32),
              d.image);
    // The file is the shared writer's bitmap of that picture, marked 96 dots per inch.
    QImage direct = d.image;
    EXPECT_TRUE(Slurp(image) ==
                Bitmap_Bytes({reinterpret_cast<uint32_t*>(direct.bits()), direct.width(),
                              direct.height(), direct.bytesPerLine() / 4}));

    ASSERT_EQ(Run("--width 123 --height 45 --steps 10 --image " + image + " " + file).status, 0);
    const QImage small(QString::fromStdString(image), "BMP");
    EXPECT_EQ(small.width(), 123);
    EXPECT_EQ(small.height(), 45);

    const std::string failed = dir + "/failed.bmp";
    EXPECT_EQ(Run("--window-time x --image " + failed + " " + file).status, 1);
    // A population of -1e9 lies far below the chart: its row overflows at the first column.
    const std::string wild =
        Write("wild.p", "c\n2 10 0.01\n0 1 \n-1e9 0.5 \n255 255 \n0 0 \n0 1 \n");
    const Result r = Run("--image " + failed + " " + wild);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("lv-run: Overflow: strip chart at step 31, column 0, "), std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(failed));

    // An image that cannot be written says why, and the picture that was there stays.
    const Result nowhere = Run("--image " + dir + "/none/chart.bmp " + file);
    EXPECT_EQ(nowhere.status, 1);
    EXPECT_NE(nowhere.err.find("lv-run: Path not found: writing \"" + dir +
                               "/none/chart.bmp\" (No such file or directory)"),
              std::string::npos)
        << nowhere.err;
    const std::string kept = Slurp(image);
    EXPECT_EQ(Run("--image " + image + " " + wild).status, 1);
    EXPECT_TRUE(Slurp(image) == kept);
}

// The rows of a CSV file, each split at its commas; every line ends CRLF, as the sweeps' do.
std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(!line.empty() && line.back() == '\r') << "a line without CRLF: " << line;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, ',');) cells.push_back(cell);
        rows.push_back(cells);
    }
    return rows;
}

TEST_F(LvRun, HistoryHasARowAtEveryColumnWithTheExponentSoFar) {
    const std::string file = Examples + "/chaotic-4.p";
    const std::string history = dir + "/history.csv", image = dir + "/chart.bmp";
    // 100 steps, a column every 31: rows for steps 31, 62 and 93, then the last step, 100.
    const Result r = Run("--steps 100 --json --image " + image + " --history " + history +
                         " --time 800 " + file);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(image));
    const auto rows = CsvRows(Slurp(history));
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"step", "t", "LE", "x0", "x1", "x2", "x3"}));
    const std::vector<std::string> steps = {"31", "62", "93", "100"};
    for (std::size_t k = 0; k < steps.size(); ++k) {
        ASSERT_EQ(rows[k + 1].size(), 7u);
        EXPECT_EQ(rows[k + 1][0], steps[k]);
        // The exponent so far and the populations at a step are exactly what a run that
        // ends at that step gives: the same sum over the same steps.
        const Result upTo = Run("--json --time 800 --steps " + steps[k] + " " + file);
        EXPECT_EQ(rows[k + 1][1], Format_Shortest(Number(upTo.out, "t"))) << steps[k];
        EXPECT_EQ(rows[k + 1][2], Format_Shortest(Number(upTo.out, "LE"))) << steps[k];
        const std::vector<double> x = Array(upTo.out, "x");
        for (int i = 0; i < 4; ++i) EXPECT_EQ(rows[k + 1][3 + i], Format_Shortest(x[i]));
    }
    // The last row is the run's own result, to the bit.
    EXPECT_EQ(rows[4][2], Format_Shortest(Number(r.out, "LE")));

    // A run whose last step draws a column has no row twice; the plot is drawn.
    const std::string plot = dir + "/le.png";
    ASSERT_EQ(
        Run("--steps 93 --history " + history + " --history-plot " + plot + " " + file).status, 0);
    EXPECT_EQ(CsvRows(Slurp(history)).size(), 4u);
    const QImage picture(QString::fromStdString(plot), "PNG");
    EXPECT_EQ(picture.size(), QSize(960, 560));
    EXPECT_EQ(picture.pixel(5, 5), qRgb(255, 255, 255));
    // The format the name asks for, in any case; PNG for any other.
    for (const auto& [name, start] : std::vector<std::pair<std::string, std::string>>{
             {"le.svg", "<?xml"}, {"le.Svg", "<?xml"}, {"le.PDF", "%PDF-"}, {"le", "\x89PNG"}}) {
        ASSERT_EQ(Run("--steps 93 --history-plot " + dir + "/" + name + " " + file).status, 0);
        EXPECT_EQ(Slurp(dir + "/" + name).substr(0, start.size()), start) << name;
    }
    // On a logarithmic time axis: the axis says so, the run's exponent is the same.
    const Result logTime =
        Run("--steps 93 --history-log-time --history-plot " + dir + "/log.svg " + file);
    ASSERT_EQ(logTime.status, 0) << logTime.err;
    EXPECT_EQ(logTime.out, Run("--steps 93 " + file).out);
    EXPECT_NE(Slurp(dir + "/log.svg").find("logarithmic"), std::string::npos);
    EXPECT_EQ(Run("--history-log-time " + file).status, 2);
}

// The attractor from two or three populations after the transient, a long run thinned to
// points spread over all of it.
TEST_F(LvRun, PhasePlotDrawsTheAttractorAfterTheTransient) {
    const std::string file = Examples + "/chaotic-4.p";
    const std::string svg = dir + "/phase.svg";
    const Result r = Run("--time 300 --discard 100 --phase 2,0 --phase-plot " + svg + " " + file);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Run("--time 300 --discard 100 " + file).out);
    std::string text = Slurp(svg);
    EXPECT_NE(text.find("x(0) against x(2)"), std::string::npos);
    // Of the 30001 steps, those from step 10000 on, whose running sum of dt ends past 100,
    // as the exponent's mean counts them.
    EXPECT_NE(text.find("(20002 steps after t = 100)"), std::string::npos);
    const Result thinned =
        Run("--time 5000 --discard 500 --phase 0,1,3 --phase-plot " + svg + " " + file);
    ASSERT_EQ(thinned.status, 0) << thinned.err;
    text = Slurp(svg);
    EXPECT_NE(text.find("coloured by x(3)"), std::string::npos);
    EXPECT_NE(text.find("of the 450000 steps after t = 500"), std::string::npos);
    // The whole title is drawn, on two lines: Qt cuts a line wider than the chart short.
    EXPECT_EQ(text.find("..."), std::string::npos);

    // Rows the file has, two or three and different, and only with the plot.
    const std::string png = dir + "/phase.png";
    for (const std::string& bad :
         {"--phase 0", "--phase 0,1,2,3", "--phase 1,1", "--phase 0,x", "--phase 0,51"})
        EXPECT_EQ(Run(bad + " --phase-plot " + png + " " + file).status, 2) << bad;
    const Result beyond = Run("--phase 0,4 --phase-plot " + png + " " + file);
    EXPECT_EQ(beyond.status, 1);
    EXPECT_EQ(beyond.err, "lv-run: --phase 4: the file's rows are 0 to 3\n");
    EXPECT_EQ(Run("--phase 0,1 " + file).status, 2);
    EXPECT_FALSE(fs::exists(png));
}

TEST(RunHistory, APlotOfALongRunKeepsAFewThousandPointsFromStartToEnd) {
    for (long long rows : {10LL, 8191LL, 8192LL, 100000LL}) {
        RunHistory history(std::nullopt, 0);
        for (long long i = 1; i <= rows; ++i) history.Row(i, double(i), 1.0 / double(i), {});
        history.Last_Step(rows, double(rows), 1.0 / double(rows), {});
        const std::vector<double>& t = history.Times();
        ASSERT_EQ(t.size(), history.Exponents().size());
        EXPECT_LE(t.size(), 8193u) << rows;
        EXPECT_GE(t.size(), std::min<std::size_t>(std::size_t(rows), 4096u)) << rows;
        EXPECT_EQ(t.front(), 1.0);
        EXPECT_EQ(t.back(), double(rows)) << "the plot ends on the last step";
        EXPECT_TRUE(std::is_sorted(t.begin(), t.end()));
        EXPECT_TRUE(std::adjacent_find(t.begin(), t.end()) == t.end()) << "a point twice";
        for (std::size_t k = 0; k < t.size(); ++k) EXPECT_EQ(history.Exponents()[k], 1.0 / t[k]);
    }
}

TEST_F(LvRun, HistoryIsWrittenUpToTheFailureAndWhereItIsAsked) {
    const std::string file = Examples + "/chaotic-4.p";
    // A history that cannot be written fails before the run: no image.
    const Result nowhere =
        Run("--image " + dir + "/chart.bmp --history " + dir + "/none/h.csv " + file);
    EXPECT_EQ(nowhere.status, 1);
    EXPECT_EQ(nowhere.err.rfind("lv-run: Path not found: writing \"", 0), 0u) << nowhere.err;
    EXPECT_FALSE(fs::exists(dir + "/chart.bmp"));
    // A run that fails has its rows up to the failure: exactly when a history is wanted.
    // Species 0 starts below 0 and falls without bound: it overflows in step 124, after the
    // columns of steps 31, 62 and 93.
    const std::string history = Write("h.csv", "the old history\n");
    const std::string falls =
        Write("falls.p", "c\n2 10 0.01\n1 0.5 \n-0.5 0.3 \n255 65280 \n1 0 \n0 1 \n");
    const Result failed = Run("--history " + history + " " + falls);
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.err,
              "lv-run: Overflow: model run, step 124: a population or a sum left "
              "the range of a double\n");
    const auto rows = CsvRows(Slurp(history));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[3][0], "93");
    EXPECT_EQ(Run("--history ''  " + file).status, 2);

    // Standard output takes the history alone; every N-th column only, and the last step.
    const Result out = Run("--history - --history-every 1000 " + file);
    EXPECT_EQ(out.status, 0) << out.err;
    const auto outRows = CsvRows(out.out);
    ASSERT_EQ(outRows.size(), 4u) << out.out;  // columns 1000 and 2000 of 2580, and step 80001
    EXPECT_EQ(outRows[1][0], std::to_string(1000 * 31));
    EXPECT_EQ(outRows[3][0], "80001");
    EXPECT_FALSE(fs::exists(dir + "/-"));
    EXPECT_EQ(Run("--history - --json " + file).status, 2);
    EXPECT_EQ(Run("--history-every 0 " + file).status, 2);
}

// A stop signal ends a run at once: no new file of it is left, and what was there stays.
// The text of one JSON value of lv-run's output: a number, a list or an object.
std::string JsonValue(const std::string& json, const std::string& key) {
    const std::size_t at = json.find("\"" + key + "\": ");
    if (at == std::string::npos) return "(missing " + key + ")";
    const std::size_t from = at + key.size() + 4;
    std::size_t end = from;
    int depth = 0;
    for (; end < json.size(); ++end) {
        const char c = json[end];
        if (c == '[' || c == '{') ++depth;
        if (c == ']' || c == '}') {
            if (depth == 0) break;
            --depth;
        }
        if (c == ',' && depth == 0) break;
    }
    return json.substr(from, end - from);
}

// The analyses beside the run: what each option adds, and that the design's exponent stays.
TEST_F(LvRun, AnalysesAddTheirLinesAndFieldsAndLeaveTheExponentAlone) {
    const std::string file = Examples + "/chaotic-4.p";
    const Result plain = Run("--json --time 300 " + file);
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(JsonValue(plain.out, "clamps"), "0");
    // A discard of 0 changes no bit of any output.
    EXPECT_EQ(Run("--json --time 300 --discard 0 " + file).out, plain.out);
    // The spectrum's largest exponent is the tangent vector's, to the bit, once the run is
    // long enough for the first vector to lead (the spectrum is sorted); the run itself
    // (populations, steps) is the twin's.
    const Result spectrum = Run("--json --spectrum --time 1000 --discard 50 " + file);
    const Result tangent = Run("--json --method tangent --time 1000 --discard 50 " + file);
    ASSERT_EQ(spectrum.status, 0) << spectrum.err;
    ASSERT_EQ(tangent.status, 0) << tangent.err;
    const std::vector<double> exponents = Array(spectrum.out, "spectrum");
    ASSERT_EQ(exponents.size(), 4u) << spectrum.out;
    EXPECT_TRUE(std::is_sorted(exponents.rbegin(), exponents.rend()));
    EXPECT_EQ(Number(tangent.out, "LE"), exponents[0]);
    EXPECT_EQ(JsonValue(tangent.out, "method"), "\"tangent\"");
    EXPECT_EQ(Array(spectrum.out, "x"), Array(Run("--json --time 1000 " + file).out, "x"));
    EXPECT_GT(Number(spectrum.out, "dimension"), 2);
    EXPECT_LT(Number(spectrum.out, "dimension"), 3);
    const Result text = Run("--spectrum --time 300 --discard 50 " + file);
    EXPECT_NE(text.out.find("\nSpectrum = "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("\nDimension = 2."), std::string::npos) << text.out;

    // The equilibrium of a stable system, and a singular matrix said as such, not a failure.
    const Result stable = Run("--json --equilibrium --time 10 " + Examples + "/stable-3.p");
    ASSERT_EQ(stable.status, 0) << stable.err;
    const std::string eq = JsonValue(stable.out, "equilibrium");
    EXPECT_NE(eq.find("\"feasible\": true"), std::string::npos) << eq;
    EXPECT_NE(eq.find("\"stable\": true"), std::string::npos) << eq;
    EXPECT_NE(eq.find("\"kind\": \"stable node\""), std::string::npos) << eq;
    const std::string twins =
        Write("twins.p", "c\n2 10 0.01\n1 1 \n0.3 0.4 \n255 255 \n1 1 \n1 1 \n");
    const Result singular = Run("--equilibrium --time 1 " + twins);
    EXPECT_EQ(singular.status, 0) << singular.err;
    EXPECT_NE(singular.out.find("Equilibrium = none: the interaction matrix is singular"),
              std::string::npos)
        << singular.out;

    // Populations that hit the clamp: counted, and said beside the exponent.
    const std::string clamping = Write("clamping.p",
                                       "c\n3 10 0.01\n3 0.8 1.2 \n0.9 0.2 0.3 \n1 1 1 \n"
                                       "0.5 0.3 0.2 \n0.25 1 0.35 \n0.3 0.2 1 \n");
    const Result clamped = Run("--json " + clamping);
    ASSERT_EQ(clamped.status, 0) << clamped.err;
    EXPECT_GT(Number(clamped.out, "clamps"), 0);
    EXPECT_NE(Run(clamping).out.find("\nClamped "), std::string::npos);

    // What the options take.
    EXPECT_EQ(Run("--method both " + file).status, 2);
    EXPECT_EQ(Run("--discard -1 " + file).status, 2);
    const Result beyond = Run("--discard 800 " + file);
    EXPECT_EQ(beyond.status, 1);
    EXPECT_EQ(beyond.err,
              "lv-run: Invalid procedure call or argument: --discard 800 leaves no "
              "step of a run of 800 units of model time to count\n");
}

TEST_F(LvRun, AStopSignalEndsTheRunAndLeavesNoFileOfIt) {
    const std::string file = Examples + "/chaotic-4.p";
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        Write("h.csv", "the old history");
        const pid_t run = Start_Program(LV_RUN, "--continuous --steps 4000000000 --history " + dir +
                                                    "/h.csv --image " + dir + "/c.bmp " + file);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::kill(run, signal);
        const Result r = Finish_Program(run);
        EXPECT_EQ(r.status, 128 + signal);
        EXPECT_EQ(Slurp(dir + "/h.csv"), "the old history");
        EXPECT_FALSE(fs::exists(dir + "/c.bmp"));
        for (const auto& f : fs::directory_iterator(dir))
            EXPECT_NE(f.path().filename().string().rfind(".lv-save-", 0), 0u) << f.path();
    }
}

TEST_F(LvRun, FailuresSayWhatAndWhereWithTheirExitStatus) {
    struct Case {
        std::string args;
        int status;
        std::string inErr;
    };
    const std::string good = Examples + "/stable-3.p";
    const std::string bad = Write("bad.p", "c\n2 800 0.01\n1 one \n");
    const std::string zeroDt = Write("zero.p", "c\n0 10 0\n\n\n\n");
    const std::string endless = Write("endless.p", "c\n0 0 0.1\n\n\n\n");
    const Case cases[] = {
        {dir + "/missing.p", 1, "lv-run: File not found"},
        {bad, 1, "lv-run: Type mismatch: \"" + bad + "\", line 3, 2nd value (index 1)"},
        {zeroDt, 1, "lv-run: Division by zero"},
        {endless, 1, "--steps"},
        {"--window-time 40000 " + good, 1, "lv-run: Overflow"},
        {"--time soon " + good, 1, "lv-run: Type mismatch: --time"},
        {"--bogus " + good, 2, "unknown option \"--bogus\""},
        {"--style q " + good, 2, "--style"},
        {"--continuous " + good, 2, "--steps"},
        {"--steps 0 " + good, 2, "--steps"},
        {"", 2, "no parameter FILE"},
    };
    for (const Case& c : cases) {
        const Result r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
        EXPECT_NE(r.err.find(c.inErr), std::string::npos) << c.args << ": " << r.err;
        EXPECT_EQ(r.out, "") << c.args;
        // A bad command line is said in one line that points to the help.
        if (c.status == 2) {
            EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
            EXPECT_TRUE(r.err.ends_with(" (see lv-run --help)\n")) << r.err;
        }
    }
    // The style follows the extension unless told: a row-style file named .DAT needs --style.
    const std::string upper = Write("rows.DAT", Slurp(good));
    EXPECT_EQ(Run(upper).status, 1);
    EXPECT_EQ(Run("--style p " + upper).status, 0);
    const Result help = Run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--window-time"), std::string::npos);
}

// ---- hostile input and failing systems ----

TEST_F(LvRun, EndlessOrHugeLinesFailAtCharacter32768InLittleMemory) {
    const std::string good = Slurp(Examples + "/chaotic-4.p");
    const std::string huge = dir + "/huge.p";
    {
        std::ofstream f(huge, std::ios::binary);
        f << "a comment\n";
        const std::string block(1 << 20, '7');
        for (int k = 0; k < 100; ++k) f << block;  // a line of 100 MB
    }
    std::string glued = good;
    while (glued.back() == '\n' || glued.back() == '\r') glued.pop_back();
    glued = Write("glued.p", glued + std::string(200000, 'j'));  // junk on the last needed line
    const std::pair<std::string, std::string> cases[] = {
        {"/dev/zero", "\"/dev/zero\", line 1: the line is longer than 32767 characters"},
        {"<(printf 'c\\n'; cat /dev/zero)", ", line 2: the line is longer than 32767"},
        {"- < <(printf 'c\\n2 5 0.01\\n'; yes 1 | tr -d '\\n')", "standard input, line 3: "},
        {huge, ", line 2: the line is longer than 32767"},
        {glued, ", line 9: the line is longer than 32767"},
    };
    for (const auto& [args, inErr] : cases) {
        const Result r = Run(args, 256, 60);
        EXPECT_EQ(r.status, 1) << args << ": " << r.err;
        EXPECT_EQ(r.err.rfind("lv-run: Overflow: ", 0), 0u) << args << ": " << r.err;
        EXPECT_NE(r.err.find(inErr), std::string::npos) << args << ": " << r.err;
        if (AddressSpaceCanBeLimited) {
            EXPECT_LT(r.maxRssKb, 50 * 1024) << args;
        }
    }
}

TEST_F(LvRun, PipesAndStandardInputAreReadAsFiles) {
    const std::string file = Examples + "/chaotic-4.p";
    const std::string expected = Run("--json --steps 300 " + file).out;
    ASSERT_NE(expected, "");
    EXPECT_EQ(Run("--json --steps 300 - < " + file).out, expected);
    EXPECT_EQ(Run("--json --steps 300 <(cat " + file + ")").out, expected);
    EXPECT_EQ(Run("--json --steps 300 - < <(cat " + file + ")").out, expected);
    const std::string dat = Examples + "/stable-2.dat";
    EXPECT_EQ(Run("--json --seed 5 --style dat - < " + dat).out, Run("--json --seed 5 " + dat).out);
    // Standard input is called so in a message.
    EXPECT_EQ(Run("- <<< $'c\\n2 800 0.01\\n1 one \\n'").err,
              "lv-run: Type mismatch: standard input, line 3, 2nd value (index 1), not a number: "
              "\"one\"\n");
    // A named pipe: lv-run waits for its writer, as any reader of a pipe does.
    const std::string fifo = dir + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << Slurp(file); });
    EXPECT_EQ(Run("--json --steps 300 " + fifo).out, expected);
    writer.join();
}

TEST_F(LvRun, EveryFailureOfALoadRunOrWriteStartsWithItsKind) {
    const std::string file = Examples + "/chaotic-4.p";
    const std::string locked = Write("locked.p", Slurp(file));
    ::chmod(locked.c_str(), 0);
    ::chmod(dir.c_str(), 0755);
    // Root reads any file: the locked one is tried with the rights of nobody.
    const bool root = ::geteuid() == 0;
    const std::string asUser = root ? "--reuid=65534 --regid=65534 --clear-groups " : "";
    struct Case {
        std::string args, err;
        std::size_t memoryMb = 0;
    };
    std::vector<Case> cases = {
        {dir + "/none.p",
         "lv-run: File not found: reading \"" + dir + "/none.p\" (No such file or directory)\n"},
        {dir + "/none/x.p",
         "lv-run: Path not found: reading \"" + dir + "/none/x.p\" (No such file or directory)\n"},
        {dir, "lv-run: Permission denied: reading \"" + dir + "\" (Is a directory)\n"},
        {"/proc/self/mem",
         "lv-run: Device I/O error: reading \"/proc/self/mem\", line 1 (Input/output error)\n"},
        {"--image " + dir + "/none/c.bmp " + file,
         "lv-run: Path not found: writing \"" + dir +
             "/none/c.bmp\" (No such file or directory)\n"},
    };
    if (AddressSpaceCanBeLimited)
        cases.push_back({"--width 32766 --height 32766 --image " + dir + "/big.bmp " + file,
                         "lv-run: Out of memory: a chart of 32766 x 32766 pixels needs 4095 MB\n",
                         1024});
    for (const Case& c : cases) {
        const Result r = Run(c.args, c.memoryMb);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(r.err, c.err) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
    }
    // A history plot in an address space too small for the toolkit, its threads or its
    // drawing fails as Out of memory: never a hang waiting for a thread that could not
    // start, never a crash on an allocation that failed inside the toolkit.
    if (AddressSpaceCanBeLimited) {
        for (std::size_t mb = 60; mb <= 200; mb += 10) {
            for (const char* format : {"png", "pdf"}) {
                const std::string plot = dir + "/capped." + format;
                ::unlink(plot.c_str());
                const Result r = Run("--history-plot " + plot + " " + file, mb, 30);
                if (r.status == 0)
                    EXPECT_TRUE(fs::exists(plot)) << mb << " MB";
                else
                    EXPECT_EQ(r.err.rfind("lv-run: Out of memory: ", 0), 0u)
                        << mb << " MB " << format << ", status " << r.status << ": " << r.err;
            }
        }
    }
    // A chart nobody asked to see costs nothing: its row rule alone runs.
    if (AddressSpaceCanBeLimited) {
        const Result r = Run("--width 32766 --height 32766 --steps 10 --json " + file, 64, 10);
        EXPECT_EQ(r.status, 0) << r.err;
    }
    if (root && std::system("setpriv --reuid=65534 --regid=65534 --clear-groups true") != 0) {
        GTEST_SKIP()
            << "setpriv cannot take the rights of nobody here: no unreadable file for root";
    }
    const std::string cmd =
        "exec setpriv " + asUser + "'" + LV_RUN + "' " + locked + " 2>" + dir + "/err";
    EXPECT_NE(std::system(cmd.c_str()), 0);
    EXPECT_EQ(Slurp(dir + "/err"),
              "lv-run: Permission denied: reading \"" + locked + "\" (Permission denied)\n");
}

TEST_F(LvRun, RunsThatCouldNeverEndAreRefusedBeforeTheFirstStep) {
    const std::string file = Examples + "/chaotic-4.p";  // dt 0.01
    const std::string image = dir + "/never.bmp";
    struct Case {
        std::string args, inErr;
    };
    const Case refused[] = {
        // t + 0.01 == t from 2^47 = 140737488355328 on.
        {"--time 1e20 " + file, "(t + dt == t from 140737488355328 on)"},
        {"--time 140737488355329 " + file, "to reach the run time 140737488355329 (t + dt"},
        {Write("back.p", "c\n0 10 -0.01\n\n\n\n"), "the time step is -0.01, so t never"},
        {"--window-time 0 " + Write("tiny.p", "c\n0 1 1e-300\n\n\n\n"), "is too small for t"},
    };
    for (const Case& c : refused) {
        const Result r = Run("--image " + image + " " + c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_EQ(
            r.err.rfind("lv-run: Invalid procedure call or argument: the run would never end: ", 0),
            0u)
            << r.err;
        EXPECT_NE(r.err.find(c.inErr), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("give --steps N"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists(image)) << "a step was made: " << c.args;
    }
    // With --steps they run, up to the largest 64-bit count.
    Result r = Run("--json --time 1e20 --steps 100 " + file);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Number(r.out, "steps"), 100);
    r = Run("--json --time 1 --steps 9223372036854775807 " + file);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Number(r.out, "steps"), 100);
    EXPECT_EQ(Run("--steps 9223372036854775808 " + file).status, 2);
}

TEST_F(LvRun, AResultThatCannotBeWrittenIsAnError) {
    const std::string file = Examples + "/stable-3.p";
    for (const std::string& args : {file, "--json " + file, std::string("--help")}) {
        Result r = Run(args, 0, 120, ">/dev/full");
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_EQ(r.err,
                  "lv-run: Device I/O error: writing the result to standard output (No space left "
                  "on device)\n")
            << args;
        r = Run(args, 0, 120, ">&-");
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_EQ(r.err,
                  "lv-run: Device I/O error: writing the result to standard output (Bad file "
                  "descriptor)\n")
            << args;
    }
    // With standard output closed, the image still gets the whole chart and nothing else.
    const std::string image = dir + "/chart.bmp";
    EXPECT_EQ(Run("--image " + image + " " + file, 0, 120, ">&-").status, 1);
    EXPECT_EQ(QImage(QString::fromStdString(image), "BMP").size(), QSize(700, 250));
}

TEST_F(LvRun, NamesAreShownEscapedAndUsedByTheirBytes) {
    const std::string file = Examples + "/chaotic-4.p";
    // Control characters in a name or an option never reach the terminal raw.
    Result r = Run("$'" + dir + "/\\e[2J\\nx.p'");
    EXPECT_EQ(r.err, "lv-run: File not found: reading \"" + dir +
                         "/\\x1B[2J\\x0Ax.p\" (No such file or directory)\n");
    r = Run("$'--\\e]0;title\\a' " + file);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "lv-run: unknown option \"--\\x1B]0;title\\x07\" (see lv-run --help)\n");
    // The option parser's own messages too.
    r = Run("$'--width=\\e[31mRED' " + file);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.find('\x1B'), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\\x1B[31mRED"), std::string::npos) << r.err;
    r = Run("$'--json=\\e[' " + file);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.find('\x1B'), std::string::npos) << r.err;
    // After --, what looks like an option is a file name; a second one is one FILE too many.
    Write("-dash.p", Slurp(file));
    cwd = dir;
    r = Run("-- -dash.p --json");
    EXPECT_EQ(r.err, "lv-run: only one FILE, not also \"--json\" (see lv-run --help)\n");
    EXPECT_EQ(Run("--json -- -dash.p").status, 0);
    cwd.clear();
    // An image name that is no UTF-8 is written under exactly its bytes.
    fs::create_directory(dir + "/images");
    r = Run("--steps 50 --image $'" + dir + "/images/\\xff\\xfe.bmp' " + file);
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir + "/images"))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"\xff\xfe.bmp"});
    // "--" ends the options: a file may start with "-".
    fs::copy_file(file, dir + "/-x.p");
    cwd = dir;
    r = Run("--steps 10 -- -x.p");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Run("--steps 10 " + file).out);
    r = Run("--steps 10 -x.p");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown option \"-x.p\""), std::string::npos) << r.err;
}

TEST_F(LvRun, TheChartMayBeAsLargeAsARunCanDraw) {
    const std::string file = Examples + "/chaotic-4.p";
    // More than 32767 columns, one per step, wrapping at the widest chart.
    Result r = Run("--width 32766 --height 8 --window-time 1 --steps 70000 --image " + dir +
                   "/wide.bmp " + file);
    EXPECT_EQ(r.status, 0) << r.err;
    r = Run("--width 4 --height 32766 --window-time 1 --steps 20 " + file);
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char* side : {"--width", "--height"}) {
        r = Run(std::string(side) + " 32767 --steps 5 " + file);
        EXPECT_EQ(r.status, 2) << side;
        EXPECT_NE(r.err.find("from 1 to 32766"), std::string::npos) << r.err;
    }
}

// A disk that is full: a small tmpfs of its own (mounting one needs root, as CI has).
class LvRunFullDisk : public LvRun {
  protected:
    void SetUp() override {
        LvRun::SetUp();
        disk = dir + "/disk";
        fs::create_directory(disk);
        if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=1m") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno)
                         << "): run as root to test a full disk";
        mounted = true;
    }
    void TearDown() override {
        if (mounted) ::umount2(disk.c_str(), MNT_DETACH);
        LvRun::TearDown();
    }
    std::string disk;
    bool mounted = false;
};

TEST_F(LvRunFullDisk, AFailedImageWriteLeavesTheOldImageWhole) {
    const std::string file = Examples + "/chaotic-4.p";
    const std::string image = disk + "/chart.bmp";
    ASSERT_EQ(Run("--steps 100 --image " + image + " " + file).status, 0);
    const std::string old = Slurp(image);
    ASSERT_GT(old.size(), 500000u);
    // Fill what is left of the disk.
    {
        std::ofstream filler(disk + "/filler", std::ios::binary);
        const std::string block(4096, 'f');
        while (filler.write(block.data(), block.size())) {
        }
    }
    const Result r = Run("--image " + image + " " + file);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "lv-run: Device I/O error: writing \"" + image + "\" (No space left on device)\n");
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(Slurp(image) == old);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(disk))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"chart.bmp", "filler"}));
}

}  // namespace
