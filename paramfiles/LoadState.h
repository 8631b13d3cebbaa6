#pragma once

// What both readers share: the copy a load fills, and how a failure names its place.

#include <array>
#include <cstdint>
#include <string>

#include "Globals.h"
#include "LvError.h"
#include "TextFile.h"

// Everything a reader may change. A load fills a copy and commits it only when the whole
// file has been read, so a failed load leaves the program's state as it was.
struct LoadState {
    SpeciesTable table;
    int16_t n = 0;
    double totalTime = 0;
    double dt = 0;
    std::array<int16_t, 101> spacePos{};

    static LoadState From_Globals() {
        return LoadState{::Species, ::Nanimals, ::TotalTime, ::dt, ::SpacePos};
    }
    void Commit() const {
        ::Species = table;
        ::Nanimals = n;
        ::TotalTime = totalTime;
        ::dt = dt;
        ::SpacePos = spacePos;
    }
};

// Where a failure happened: file, line, the piece of the line (if any), the offending text
// unless the failure quotes it itself, and the whole line when that text is empty.
[[noreturn]] inline void Fail_At(const LvError& e, const TextFile& file, const std::string& line,
                                 const std::string& piece, const std::string& text) {
    std::string where = file.Shown_Path() + ", line " + std::to_string(file.Line_Number());
    if (!piece.empty()) where += ", " + piece;
    const std::string quoted = Quote_For_Message(text);
    if (e.context().find(quoted) == std::string::npos) where += ", text " + quoted;
    if (text.empty() && !line.empty()) where += ", in the line " + Quote_For_Message(line);
    throw e.within(where);
}

// Runs `body` for one line; any failure in it is reported at that line. `shown` is the
// offending text, which `body` may narrow from the whole line to one value.
template <class Body>
void On_Line(const TextFile& file, const std::string& line, const std::string& piece,
             std::string& shown, Body body) {
    try {
        body();
    } catch (const LvError& e) {
        Fail_At(e, file, line, piece, shown);
    }
}
