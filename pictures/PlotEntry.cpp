// The plot library's one entry: its drawings behind a table of plain functions, which catch
// every failure and hand it back as a kind and a message.

#include <new>
#include <system_error>
#include <thread>

#include "HistoryPlot.h"
#include "ImageFile.h"
#include "LvError.h"
#include "PlotLibrary.h"
#include "PlotParts.h"
#include "SweepPlot.h"

namespace {

// The toolkit starts threads of its own and waits for them without end when one cannot be
// made (a capped address space): a thread that cannot be had is said before it starts.
void checkThreads() {
    try {
        std::thread([] {}).join();
    } catch (const std::system_error& e) {
        throw LvError(ErrorKind::OutOfMemory,
                      std::string("no thread can be started for the plot (") + e.what() + ")");
    }
}

template <class Data, class Draw>
bool drawPng(const Data& data, const char* program, std::string& bytes, int& kind,
             std::string& message, Draw drawing) {
    try {
        checkThreads();
        const PlotApplication plotting(program);
        const QByteArray png = Image_Bytes(drawing(data), "PNG");
        bytes.assign(png.constData(), std::size_t(png.size()));
        return true;
    } catch (const LvError& e) {
        kind = static_cast<int>(e.kind());
        message = e.context();
    } catch (const std::bad_alloc&) {
        kind = static_cast<int>(ErrorKind::OutOfMemory);
        message = "drawing the plot";
    } catch (const std::exception& e) {
        kind = static_cast<int>(ErrorKind::InvalidCall);
        message = std::string("drawing the plot: ") + e.what();
    }
    return false;
}

bool history(const HistoryPlotData& data, const char* program, std::string& bytes, int& kind,
             std::string& message) {
    return drawPng(data, program, bytes, kind, message, History_Plot);
}

bool sweep(const SweepPlotData& data, const char* program, std::string& bytes, int& kind,
           std::string& message) {
    return drawPng(data, program, bytes, kind, message, Sweep_Plot);
}

const PlotLibrary table{PlotLibraryVersion, history, sweep};

}  // namespace

extern "C" __attribute__((visibility("default"))) const PlotLibrary* Lv_Plot_Library() {
    return &table;
}
