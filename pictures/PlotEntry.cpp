// The plot library's one entry: its drawings behind a table of plain functions, which catch
// every failure and hand it back as a kind and a message.

#include <new>

#include "AttractorPlot.h"
#include "HistoryPlot.h"
#include "ImageFile.h"
#include "LvError.h"
#include "OrbitPlot.h"
#include "PlotLibrary.h"
#include "PlotParts.h"
#include "SweepPlot.h"

namespace {

// What a drawing takes beyond the toolkit's own: the line plot of a sweep copies and sorts
// its points a few times over, about 64 bytes of each; the other kinds draw from the data
// as it is, or from a fixed number of pixels.
std::size_t headroom(const SweepPlotData& d) {
    return Plot_Headroom + 64 * d.points.size();
}
template <class Data>
std::size_t headroom(const Data&) {
    return Plot_Headroom;
}

template <class Data, class Draw>
bool drawFile(const Data& data, int format, const char* program, std::string& bytes, int& kind,
              std::string& message, Draw drawing) {
    try {
        const PlotApplication plotting(program, headroom(data));
        const QByteArray file = Figure_Bytes(*drawing(data), static_cast<PlotFormat>(format));
        bytes.assign(file.constData(), std::size_t(file.size()));
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

template <class Data, auto Drawing>
bool entry(const Data& data, int format, const char* program, std::string& bytes, int& kind,
           std::string& message) {
    return drawFile(data, format, program, bytes, kind, message, Drawing);
}

const PlotLibrary table{PlotLibraryVersion, entry<HistoryPlotData, History_Plot>,
                        entry<SweepPlotData, Sweep_Plot>, entry<OrbitPlotData, Orbit_Plot>,
                        entry<AttractorPlotData, Attractor_Plot>};

}  // namespace

extern "C" __attribute__((visibility("default"))) const PlotLibrary* Lv_Plot_Library() {
    return &table;
}
