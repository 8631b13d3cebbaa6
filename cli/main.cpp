// lv-run: loads a parameter file, runs the competition model without a window and prints
// the Lyapunov exponent (or everything as JSON), optionally saving the strip chart.

#include <QImage>
#include <QString>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "BitmapFile.h"
#include "Convert.h"
#include "Globals.h"
#include "HeadlessView.h"
#include "Initialisers.h"
#include "LvError.h"
#include "ModelRun.h"
#include "ModelView.h"
#include "Options.h"
#include "ParamFiles.h"
#include "PlotInterval.h"
#include "Random.h"
#include "StripChart.h"

namespace {

// Shortest text that reads back to the same double needs at most 17 significant digits;
// always 17 here, with '.' whatever the locale says.
std::string Json_Number(double v) {
    if (!std::isfinite(v)) return "null";
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 17);
    return std::string(buf, res.ptr);
}

int Run(const Options& o) {
    std::optional<Mt19937Random> seeded;
    if (o.seed) {
        seeded.emplace(*o.seed);
        Set_Random_Source(&*seeded);
    }

    if (*o.datStyle)
        Load_Dat_File(o.file);
    else
        Load_P_File(o.file);

    StopRequested = 0;
    if (o.continuous) TotalTime = -1;
    if (o.time) {
        try {
            TotalTime = Text_To_Double(*o.time);
        } catch (const LvError& e) {
            throw e.within("--time");
        }
    }
    if (TotalTime <= 0 && !o.steps)
        throw UsageError{"the run time is " + Json_Number(TotalTime) +
                         ", so the run is continuous: give --steps N"};

    QImage image(o.width, o.height, QImage::Format_RGB32);
    HeadlessView view(image, o.steps);
    int16_t windowTime;
    try {
        windowTime = Text_To_Int16(o.windowTime);
    } catch (const LvError& e) {
        throw e.within("--window-time " + Quote_For_Message(o.windowTime));
    }
    const int16_t plotInterval = Plot_Interval(windowTime, dt, float(image.width()));
    if (o.random) Random_Populations(Nanimals);

    Run_Model(view, Nanimals, plotInterval, TotalTime);

    if (o.image) Save_Bitmap(image, *o.image);

    if (o.json) {
        std::string out =
            "{\"LE\": " + Json_Number(LE) + ", \"steps\": " + std::to_string(view.Steps()) +
            ", \"t\": " + Json_Number(view.Time()) + ", \"N\": " + std::to_string(Nanimals) +
            ", \"TotalTime\": " + Json_Number(TotalTime) + ", \"dt\": " + Json_Number(dt) +
            ", \"PlotInterval\": " + std::to_string(plotInterval) + ", \"x\": [";
        for (int i = 0; i < Nanimals; ++i) {
            if (i > 0) out += ", ";
            out += Json_Number(Species(i).x);
        }
        std::cout << out << "]}\n";
    } else {
        const std::string& c = view.Caption();
        std::cout << c.substr(0, c.find_first_of("\r\n")) << "\n";
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    Options o;
    try {
        o = Parse_Options(argc, argv);
    } catch (const UsageError& e) {
        std::cerr << "lv-run: " << e.message << "\n\n" << Usage;
        return 2;
    }
    if (o.help) {
        std::cout << Usage;
        return 0;
    }
    try {
        return Run(o);
    } catch (const LvError& e) {
        std::cerr << "lv-run: " << e.what() << "\n";
    } catch (const UsageError& e) {
        std::cerr << "lv-run: " << e.message << "\n";
    } catch (const std::exception& e) {
        std::cerr << "lv-run: " << e.what() << "\n";
    }
    return 1;
}
