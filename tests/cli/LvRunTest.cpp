// lv-run against the core called directly: the same file, run the same way, must give the
// same exponent, populations and chart, bit for bit.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QImage>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "BitmapFile.h"
#include "Globals.h"
#include "Initialisers.h"
#include "ModelRun.h"
#include "ModelView.h"
#include "ParamFiles.h"
#include "Random.h"
#include "StripChart.h"

namespace {

namespace fs = std::filesystem;
const std::string Examples = LV_EXAMPLES;

struct Result {
    int status;
    std::string out, err;
};

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The core's side of a run: the chart into an image, a step count, a stop after N steps.
class DirectView : public ModelView {
  public:
    DirectView(QImage& image, long stopAfter) : chart(image), stopAfter(stopAfter) {}
    void Clear_Picture() override { chart.Clear(); }
    void Graph_Populations(const int16_t& n) override { chart.Graph_Populations(n); }
    void Set_Info_Caption(const std::string& c) override { caption = c; }
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

class LvRun : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/lv-run-XXXXXX";
        dir = mkdtemp(tmpl);
    }
    void TearDown() override { fs::remove_all(dir); }

    Result Run(const std::string& args) {
        const std::string cmd =
            std::string("'") + LV_RUN + "' " + args + " >" + dir + "/out 2>" + dir + "/err";
        const int raw = std::system(cmd.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(dir + "/out"), Slurp(dir + "/err")};
    }
    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(dir + "/" + name, std::ios::binary) << text;
        return dir + "/" + name;
    }
    std::string dir;
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
    const QByteArray bytes = Bitmap_Bytes(d.image);
    EXPECT_TRUE(Slurp(image) == std::string(bytes.constData(), std::size_t(bytes.size())));

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
        {bad, 1, "lv-run: Type mismatch: " + bad + ", line 3, value 1"},
        {zeroDt, 1, "lv-run: Division by zero"},
        {endless, 1, "--steps"},
        {"--window-time 40000 " + good, 1, "lv-run: Overflow"},
        {"--time soon " + good, 1, "lv-run: Type mismatch: --time"},
        {"--bogus " + good, 2, "unknown option --bogus"},
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
        if (c.status == 2) {
            EXPECT_NE(r.err.find("Usage: lv-run"), std::string::npos);
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

}  // namespace
