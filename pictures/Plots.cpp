#include "Plots.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

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
        const char* why = ::dlerror();
        throw LvError(ErrorKind::FileNotFound, "the plot library " + Quote_For_Message(path, 200) +
                                                   " cannot be loaded (" +
                                                   (why ? why : "no reason given") + ")");
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

template <class Data, class Draw>
std::string draw(const Data& data, const char* program, Draw drawing) {
    std::string bytes, message;
    int kind = 0;
    if (!drawing(data, program, bytes, kind, message))
        throw LvError(static_cast<ErrorKind>(kind), message);
    return bytes;
}

}  // namespace

std::string History_Plot_Png(const HistoryPlotData& data, const char* program) {
    return draw(data, program, library().history);
}

std::string Sweep_Plot_Png(const SweepPlotData& data, const char* program) {
    return draw(data, program, library().sweep);
}
