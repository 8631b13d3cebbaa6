#include "Plots.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>

#include "LvError.h"
#include "PlotLibrary.h"

namespace {

// Beside the program that runs, wherever it was started from.
std::string libraryPath() {
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = n > 0 ? std::string(self, std::size_t(n)) : std::string();
    const std::size_t slash = dir.rfind('/');
    dir = slash == std::string::npos ? "." : dir.substr(0, slash);
    return dir + "/" + PlotLibraryFile;
}

const PlotLibrary& library() {
    static const PlotLibrary* loaded = nullptr;
    if (loaded) return *loaded;
    const std::string path = libraryPath();
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* error = ::dlerror();
        const std::string why = error ? error : "no reason given";
        // The toolkit's libraries are large: in a capped address space they do not fit.
        const bool memory = why.find("failed to map segment") != std::string::npos ||
                            why.find("allocate memory") != std::string::npos;
        throw LvError(
            memory ? ErrorKind::OutOfMemory : ErrorKind::FileNotFound,
            "the plot library " + Quote_For_Message(path, 200) + " cannot be loaded (" + why + ")");
    }
    using Entry = const PlotLibrary* (*)();
    const auto entry = reinterpret_cast<Entry>(::dlsym(handle, PlotLibraryEntry));
    const PlotLibrary* table = entry ? entry() : nullptr;
    if (table == nullptr || table->version != PlotLibraryVersion)
        throw LvError(ErrorKind::InvalidCall, "the plot library " + Quote_For_Message(path, 200) +
                                                  " is of another version than this program");
    loaded = table;  // kept loaded: the toolkit does not take being unloaded well
    return *loaded;
}

template <class Data>
std::string draw(const Data& data, PlotFormat format, const char* program,
                 PlotDrawing<Data> drawing) {
    std::string bytes, message;
    int kind = 0;
    if (!drawing(data, static_cast<int>(format), program, bytes, kind, message))
        throw LvError(static_cast<ErrorKind>(kind), message);
    return bytes;
}

}  // namespace

PlotFormat Plot_Format_For(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || path.find('/', dot) != std::string_view::npos)
        return PlotFormat::Png;
    std::string extension(path.substr(dot + 1));
    // ASCII only: the locale's case rules (a Turkish dotless i) have no say in a file type.
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    if (extension == "svg") return PlotFormat::Svg;
    if (extension == "pdf") return PlotFormat::Pdf;
    return PlotFormat::Png;
}

std::string History_Plot_File(const HistoryPlotData& data, PlotFormat format, const char* program) {
    return draw(data, format, program, library().history);
}

std::string Sweep_Plot_File(const SweepPlotData& data, PlotFormat format, const char* program) {
    return draw(data, format, program, library().sweep);
}

std::string Orbit_Plot_File(const OrbitPlotData& data, PlotFormat format, const char* program) {
    return draw(data, format, program, library().orbit);
}

std::string Attractor_Plot_File(const AttractorPlotData& data, PlotFormat format,
                                const char* program) {
    return draw(data, format, program, library().attractor);
}
