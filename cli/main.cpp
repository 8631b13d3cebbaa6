// lv-run: loads a parameter file, runs the competition model without a window and prints
// the Lyapunov exponent (or everything as JSON), optionally saving the strip chart.

#include <fcntl.h>
#include <unistd.h>

#include <QImage>
#include <QString>
#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <limits>
#include <new>
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
#include "RunLength.h"
#include "SaveFile.h"
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

// A run lv-run will not start: it could only end by --steps.
void Check_The_Run_Ends(const Options& o) {
    if (o.steps) return;
    if (const std::optional<std::string> why = Endless_Run(TotalTime, dt)) throw UsageError{*why};
}

// Standard output as the result's one way out: a write that fails (a full disk, a closed
// stream) is an error, never a result lost without a word.
void Write_Result(const std::string& text, bool outputClosed) {
    const int err = outputClosed ? EBADF : Write_All(STDOUT_FILENO, text);
    if (err) throw File_Error(err, "writing the result to standard output");
}

int Run(const Options& o, bool outputClosed) {
    std::optional<Mt19937Random> seeded;
    if (o.seed) {
        seeded.emplace(*o.seed);
        Set_Random_Source(&*seeded);
    }

    const std::string file = o.file == "-" ? "/dev/stdin" : o.file;
    if (*o.datStyle)
        Load_Dat_File(file);
    else
        Load_P_File(file);

    StopRequested = 0;
    if (o.continuous) TotalTime = -1;
    if (o.time) {
        try {
            TotalTime = Text_To_Double(*o.time);
        } catch (const LvError& e) {
            throw e.within("--time");
        }
    }
    int16_t windowTime;
    try {
        windowTime = Text_To_Int16(o.windowTime);
    } catch (const LvError& e) {
        throw e.within("--window-time " + Quote_For_Message(o.windowTime));
    }
    const int16_t plotInterval = Plot_Interval(windowTime, dt, float(o.width));
    Check_The_Run_Ends(o);

    QImage image(o.width, o.height, QImage::Format_RGB32);
    if (image.isNull())
        throw LvError(ErrorKind::OutOfMemory,
                      "a chart of " + std::to_string(o.width) + " x " + std::to_string(o.height) +
                          " pixels needs " +
                          std::to_string(int64_t(o.width) * o.height * 4 / (1024 * 1024)) + " MB");
    HeadlessView view(image, o.steps);
    if (o.random) Random_Populations(Nanimals);

    Run_Model(view, Nanimals, plotInterval, TotalTime);

    if (o.image) Save_Bitmap(image, *o.image);

    std::string out;
    if (o.json) {
        out = "{\"LE\": " + Json_Number(LE) + ", \"steps\": " + std::to_string(view.Steps()) +
              ", \"t\": " + Json_Number(view.Time()) + ", \"N\": " + std::to_string(Nanimals) +
              ", \"TotalTime\": " + Json_Number(TotalTime) + ", \"dt\": " + Json_Number(dt) +
              ", \"PlotInterval\": " + std::to_string(plotInterval) + ", \"x\": [";
        for (int i = 0; i < Nanimals; ++i) {
            if (i > 0) out += ", ";
            out += Json_Number(Species(i).x);
        }
        out += "]}\n";
    } else {
        const std::string& c = view.Caption();
        out = c.substr(0, c.find_first_of("\r\n")) + "\n";
    }
    Write_Result(out, outputClosed);
    return 0;
}

// A standard stream that was closed leaves its number free, and the next file opened (the
// parameter file, the image) would take it and receive what is meant for the stream. Each
// closed one gets /dev/null instead; says whether standard output was closed.
bool Fill_Closed_Standard_Streams() {
    bool outputClosed = false;
    for (;;) {
        const int fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        if (fd < 0) break;
        if (fd > STDERR_FILENO) {
            ::close(fd);
            break;
        }
        ::fcntl(fd, F_SETFD, 0);  // a stream stays open for any program started from here
        if (fd == STDOUT_FILENO) outputClosed = true;
    }
    return outputClosed;
}

}  // namespace

int main(int argc, char** argv) {
    const bool outputClosed = Fill_Closed_Standard_Streams();
    std::setlocale(LC_ALL, "");
    Options o;
    try {
        o = Parse_Options(argc, argv);
    } catch (const UsageError& e) {
        std::cerr << "lv-run: " << e.message << "\n\n" << Usage;
        return 2;
    }
    try {
        if (o.help) {
            Write_Result(Usage, outputClosed);
            return 0;
        }
        return Run(o, outputClosed);
    } catch (const UsageError& e) {
        std::cerr << "lv-run: " << e.message << "\n";
    } catch (const std::exception& e) {
        std::cerr << "lv-run: " << Failure_Text(e) << "\n";
    }
    return 1;
}
