#include "ParamFiles.h"

#include <string_view>
#include <utility>

#include "Convert.h"
#include "Globals.h"
#include "Initialisers.h"
#include "LvError.h"
#include "TextFile.h"

namespace {

constexpr std::size_t MaxLineLength = 32767;  // string lengths and positions are 16-bit

// Everything a reader may change. A load fills a copy and commits it only when the whole
// file has been read, so a failed load leaves the program's state as it was.
struct Settings {
    SpeciesTable table;
    int16_t n = 0;
    double totalTime = 0;
    double dt = 0;
    std::array<int16_t, 101> spacePos{};

    static Settings From_Globals() {
        return Settings{::Species, ::Nanimals, ::TotalTime, ::dt, ::SpacePos};
    }
    void Commit() const {
        ::Species = table;
        ::Nanimals = n;
        ::TotalTime = totalTime;
        ::dt = dt;
        ::SpacePos = spacePos;
    }
};

// Where a failure happened: file, line, the piece of the line (if any) and its text.
[[noreturn]] void Fail_At(const LvError& e, const TextFile& file, const std::string& piece,
                          const std::string& text) {
    std::string where = file.Path() + ", line " + std::to_string(file.Line_Number());
    if (!piece.empty()) where += ", " + piece;
    throw e.within(where + ", text " + Quote_For_Message(text));
}

// Runs `body` for one line; any failure in it is reported at that line. `shown` is the
// offending text, which `body` may narrow from the whole line to one value.
template <class Body>
void On_Line(const TextFile& file, const std::string& piece, std::string& shown, Body body) {
    try {
        body();
    } catch (const LvError& e) {
        Fail_At(e, file, piece, shown);
    }
}

// 1-based position of the first space at or after position `from`, 0 if none: as a 16-bit
// position, so a space beyond 32767 is an overflow.
int16_t Space_Position(const std::string& line, int from) {
    const std::size_t found = line.find(' ', static_cast<std::size_t>(from - 1));
    if (found == std::string::npos) return 0;
    if (found + 1 > MaxLineLength)
        throw LvError(ErrorKind::Overflow,
                      "a space at position " + std::to_string(found + 1) + ", beyond 32767");
    return static_cast<int16_t>(found + 1);
}

// The `length` characters from 1-based position `start`; a negative length is an invalid
// argument, a start past the end gives an empty text.
std::string Mid(const std::string& line, int start, int length, const char* missing) {
    if (length < 0) throw LvError(ErrorKind::InvalidCall, missing);
    const auto from = static_cast<std::size_t>(start - 1);
    if (from >= line.size()) return {};
    return line.substr(from, static_cast<std::size_t>(length));
}

}  // namespace

void Strip_Ends(std::string& text) {
    if (text.size() > MaxLineLength)
        throw LvError(ErrorKind::Overflow, "a line of " + std::to_string(text.size()) +
                                               " characters, longer than 32767");
    const int16_t length = static_cast<int16_t>(text.size());
    const int16_t inner = static_cast<int16_t>(length - 2);
    if (inner < 0)
        throw LvError(ErrorKind::InvalidCall,
                      "a wrapped value needs a character on either side, the line has " +
                          std::to_string(length));
    text = text.substr(1, static_cast<std::size_t>(inner));
}

void Find_Spaces(const std::string& line, std::array<int16_t, 101>& positions) {
    positions[0] = 0;
    for (long k = 1;; ++k) {
        if (k > 100)
            throw LvError(ErrorKind::SubscriptOutOfRange,
                          "SpacePos(101): a line may hold at most 99 spaces");
        const int16_t at = Space_Position(line, positions[k - 1] + 1);
        positions[k] = at;
        if (at == 0) return;
    }
}

void Find_Spaces(const std::string& line) {
    Find_Spaces(line, SpacePos);
}

std::string Take_Value(const std::string& line, const std::array<int16_t, 101>& positions, int k) {
    Check_Index(k, 101, "SpacePos");
    Check_Index(k + 1L, 101, "SpacePos");
    const int16_t start = Checked_Add16(positions[k], 1);
    const int length = positions[k + 1] - positions[k] - 1;
    return Mid(line, start, length, "no space after the value");
}

void Load_Dat_File(const std::string& path) {
    Settings s = Settings::From_Globals();
    const Settings before = s;
    s.totalTime = 800;
    s.dt = 0.01;

    TextFile file(path);
    file.Skip_Line();

    std::string line = file.Read_Line();
    On_Line(file, "species count", line, [&] {
        std::string value = line;
        Strip_Ends(value);
        s.n = Text_To_Int16(value);
    });
    const int16_t N = s.n;

    // One wrapped value per line: read, strip, check the row, convert, store. The row is
    // checked before the conversion, so a count above 51 fails at the population of row 51
    // whatever that line holds.
    auto readValue = [&](int row, auto store) {
        std::string raw = file.Read_Line();
        On_Line(file, "", raw, [&] {
            std::string value = raw;
            Strip_Ends(value);
            SpeciesRec& rec = s.table(row);
            store(rec, Text_To_Double(value));
        });
    };
    for (int i = 0; i < N; ++i) readValue(i, [](SpeciesRec& r, double v) { r.x = v; });
    for (int i = 0; i < N; ++i) readValue(i, [](SpeciesRec& r, double v) { r.r = v; });
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j)
            readValue(i, [j](SpeciesRec& r, double v) {
                Check_Index(j, MaxSpecies, "a");
                r.a[static_cast<std::size_t>(j)] = v;
            });

    s.Commit();
    try {
        Random_Colors(N);
    } catch (...) {
        before.Commit();
        throw;
    }
}

void Load_P_File(const std::string& path) {
    Settings s = Settings::From_Globals();

    TextFile file(path);
    file.Skip_Line();

    // Line 2: count, run time and time step, split at its first two spaces.
    std::string line = file.Read_Line();
    int16_t b = 0, d = 0;
    std::string shown = line;
    On_Line(file, "species count", shown, [&] {
        b = Space_Position(line, 1);
        shown = Mid(line, 1, b - 1, "no space after the species count");
        s.n = Text_To_Int16(shown);
    });
    shown = line;
    On_Line(file, "run time", shown, [&] {
        d = Space_Position(line, Checked_Add16(b, 1));
        shown = Mid(line, Checked_Add16(b, 1), d - b - 1, "no space after the run time");
        s.totalTime = Text_To_Double(shown);
    });
    shown = line;
    On_Line(file, "time step", shown, [&] {
        const int16_t from = Checked_Add16(d, 1);
        shown = Mid(line, from, static_cast<int>(line.size()) - from + 1, "");
        s.dt = Text_To_Double(shown);
    });
    const int16_t N = s.n;

    // Value lines: split, then per value take the text, check the row, convert, store. The
    // row is checked after the text is taken, so a count above 51 fails at value 51 of
    // line 3 unless that value has no space after it.
    auto readValues = [&](auto store) {
        const std::string values = file.Read_Line();
        std::string shownValue = values;
        On_Line(file, "", shownValue, [&] { Find_Spaces(values, s.spacePos); });
        for (int k = 0; k < N; ++k) {
            shownValue = values;
            On_Line(file, "value " + std::to_string(k), shownValue, [&] {
                shownValue = Take_Value(values, s.spacePos, k);
                store(k, shownValue);
            });
        }
    };
    readValues([&](int i, const std::string& v) {
        SpeciesRec& rec = s.table(i);
        rec.r = Text_To_Double(v);
    });
    readValues([&](int i, const std::string& v) {
        SpeciesRec& rec = s.table(i);
        rec.x = Text_To_Double(v);
    });
    readValues([&](int i, const std::string& v) {
        SpeciesRec& rec = s.table(i);
        rec.Color = Text_To_Int32(v);
    });
    for (int i = 0; i < N; ++i)
        readValues([&](int j, const std::string& v) {
            SpeciesRec& rec = s.table(i);
            Check_Index(j, MaxSpecies, "a");
            rec.a[static_cast<std::size_t>(j)] = Text_To_Double(v);
        });

    s.Commit();
}
