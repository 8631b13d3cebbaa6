#pragma once

// How both readers name the place of a failure: the file, the line and the value.

#include <string>

#include "LvError.h"
#include "TextFile.h"

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
