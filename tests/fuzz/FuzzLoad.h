#pragma once

// What both reader fuzzers share: the input goes to a file, a model gets a known pattern, the
// reader loads the file into it, and a failure must be a named error that changed nothing.

#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "LvError.h"
#include "Model.h"
#include "Random.h"

namespace fuzz {

[[noreturn]] inline void Defect(const char* what, const char* detail) {
    std::fprintf(stderr, "fuzz defect: %s: %s\n", what, detail);
    std::abort();
}

// The input as a file the readers open by its path: a file in memory, with no name on any
// disk, so that nothing is left behind however the fuzzer ends.
inline const std::string& Write_Scratch(const uint8_t* data, std::size_t size) {
    static const int fd = ::memfd_create("lv-fuzz-input", MFD_CLOEXEC);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (fd < 0) Defect("scratch file", "memfd_create failed");
    if (::ftruncate(fd, 0) != 0) Defect("scratch file", "ftruncate failed");
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, off_t(done));
        if (n <= 0) Defect("scratch file", "short write");
        done += std::size_t(n);
    }
    return path;
}

// What a reader may change: the model, and the row reader's split of its last line.
struct Loaded {
    Model model;
    std::array<int16_t, 101> SpacePos{};
};

inline void Fill(Loaded& into) {
    for (int i = 0; i < MaxSpecies; ++i) {
        SpeciesRec& s = into.model.Species.rows[i];
        for (int j = 0; j < MaxSpecies; ++j) s.a[j] = i * 0.5 - j;
        s.x = 0.125 * i;
        s.r = -1.0 - i;
        s.Color = 0x10203 * i;
    }
    into.model.Nanimals = 17;
    into.model.TotalTime = 42.5;
    into.model.dt = 0.125;
    for (int k = 0; k < 101; ++k) into.SpacePos[k] = static_cast<int16_t>(1000 + k);
}

inline bool Is_As_Filled(const Loaded& l) {
    for (int i = 0; i < MaxSpecies; ++i) {
        const SpeciesRec& s = l.model.Species.rows[i];
        for (int j = 0; j < MaxSpecies; ++j)
            if (s.a[j] != i * 0.5 - j) return false;
        if (s.x != 0.125 * i || s.r != -1.0 - i || s.Color != 0x10203 * i) return false;
    }
    for (int k = 0; k < 101; ++k)
        if (l.SpacePos[k] != 1000 + k) return false;
    return l.model.Nanimals == 17 && l.model.TotalTime == 42.5 && l.model.dt == 0.125;
}

// Loads `data` with `load(path, loaded, random)`; `checkSuccess(loaded)` tests what a
// complete load must leave.
template <class Load, class Check>
int Load_Input(const uint8_t* data, std::size_t size, Load load, Check checkSuccess) {
    static Mt19937Random fixed(1);  // colours must not depend on the clock
    const std::string& path = Write_Scratch(data, size);
    static Loaded loaded;
    Fill(loaded);
    try {
        load(path, loaded, fixed);
    } catch (const LvError& e) {
        switch (e.kind()) {
            case ErrorKind::InvalidCall:
            case ErrorKind::Overflow:
            case ErrorKind::SubscriptOutOfRange:
            case ErrorKind::TypeMismatch:
            case ErrorKind::InputPastEnd:
                break;
            default:
                Defect("error kind a file cannot cause", e.what());
        }
        if (!Is_As_Filled(loaded)) Defect("a failed load changed the model", e.what());
        return 0;
    } catch (const std::exception& e) {
        Defect("not one of the named errors", e.what());
    }
    checkSuccess(loaded.model);
    return 0;
}

}  // namespace fuzz
