#pragma once

// What both reader fuzzers share: the input goes to a file, the globals get a known pattern,
// the reader loads the file, and a failure must be a named error that changed nothing.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Globals.h"
#include "LvError.h"
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

inline void Fill_Globals() {
    for (int i = 0; i < MaxSpecies; ++i) {
        SpeciesRec& s = Species.rows[i];
        for (int j = 0; j < MaxSpecies; ++j) s.a[j] = i * 0.5 - j;
        s.x = 0.125 * i;
        s.r = -1.0 - i;
        s.Color = 0x10203 * i;
    }
    Nanimals = 17;
    TotalTime = 42.5;
    dt = 0.125;
    for (int k = 0; k < 101; ++k) SpacePos[k] = static_cast<int16_t>(1000 + k);
}

inline bool Globals_Are_As_Filled() {
    for (int i = 0; i < MaxSpecies; ++i) {
        const SpeciesRec& s = Species.rows[i];
        for (int j = 0; j < MaxSpecies; ++j)
            if (s.a[j] != i * 0.5 - j) return false;
        if (s.x != 0.125 * i || s.r != -1.0 - i || s.Color != 0x10203 * i) return false;
    }
    for (int k = 0; k < 101; ++k)
        if (SpacePos[k] != 1000 + k) return false;
    return Nanimals == 17 && TotalTime == 42.5 && dt == 0.125;
}

// Loads `data` with `load`; `checkSuccess` tests what a complete load must leave.
template <class Load, class Check>
int Load_Input(const uint8_t* data, std::size_t size, Load load, Check checkSuccess) {
    static Mt19937Random fixed(1);  // colours must not depend on the clock
    Set_Random_Source(&fixed);
    const std::string& path = Write_Scratch(data, size);
    Fill_Globals();
    try {
        load(path);
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
        if (!Globals_Are_As_Filled()) Defect("a failed load changed the globals", e.what());
        return 0;
    } catch (const std::exception& e) {
        Defect("not one of the named errors", e.what());
    }
    checkSuccess();
    return 0;
}

}  // namespace fuzz
