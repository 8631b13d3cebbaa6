#include <string>

#include "Convert.h"
#include "LineContext.h"
#include "LvError.h"
#include "ParamFiles.h"
#include "TextFile.h"

namespace {

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

// The position after a space, where the next search or value starts: one checked rule for
// the split and for taking a value, so a space at 32767 fails in both.
int16_t After_Space(int16_t position) {
    if (position == INT16_MAX)
        throw LvError(ErrorKind::Overflow,
                      "a space at position 32767: the position after it is beyond 32767");
    return static_cast<int16_t>(position + 1);
}

// The `length` characters from 1-based position `start`; a negative length is an invalid
// argument, a start past the end gives an empty text.
std::string Mid(const std::string& line, int start, int length, const char* missing) {
    if (length < 0) throw LvError(ErrorKind::InvalidCall, missing);
    const auto from = static_cast<std::size_t>(start - 1);
    if (from >= line.size()) return {};
    return line.substr(from, static_cast<std::size_t>(length));
}

// Value k of a line, counted from 0 as the table's rows and columns are, named so that
// nobody takes it for a count from 1 as the lines are: "3rd value (index 2)".
std::string Value_Name(int k) {
    const int n = k + 1;
    const char* suffix = "th";
    if (n % 100 < 11 || n % 100 > 13) {
        if (n % 10 == 1) suffix = "st";
        if (n % 10 == 2) suffix = "nd";
        if (n % 10 == 3) suffix = "rd";
    }
    return std::to_string(n) + suffix + " value (index " + std::to_string(k) + ")";
}

}  // namespace

void Find_Spaces(const std::string& line, std::array<int16_t, 101>& positions) {
    positions[0] = 0;
    for (long k = 1;; ++k) {
        if (k > 100)
            throw LvError(ErrorKind::SubscriptOutOfRange,
                          "SpacePos(101): a line may hold at most 99 spaces");
        const int16_t at = Space_Position(line, After_Space(positions[k - 1]));
        positions[k] = at;
        if (at == 0) return;
    }
}

std::string Take_Value(const std::string& line, const std::array<int16_t, 101>& positions, int k) {
    Check_Index(k, 101, "SpacePos");
    Check_Index(k + 1L, 101, "SpacePos");
    const int16_t start = After_Space(positions[k]);
    const int length = positions[k + 1] - positions[k] - 1;
    return Mid(line, start, length, "no space after the value");
}

void Load_P_File(const std::string& path, Model& model) {
    std::array<int16_t, 101> positions{};
    Load_P_File(path, model, positions);
}

void Load_P_File(const std::string& path, Model& model, std::array<int16_t, 101>& SpacePos) {
    Model s = model;
    std::array<int16_t, 101> spacePos = SpacePos;

    TextFile file(path);
    file.Skip_Line();

    // Line 2: count, run time and time step, split at its first two spaces.
    const std::string line = file.Read_Line();
    int16_t b = 0, d = 0;
    std::string shown = line;
    On_Line(file, line, "species count", shown, [&] {
        b = Space_Position(line, 1);
        shown = Mid(line, 1, b - 1, "no space after the species count");
        s.Nanimals = Text_To_Int16(shown);
    });
    shown = line;
    On_Line(file, line, "run time", shown, [&] {
        d = Space_Position(line, After_Space(b));
        shown = Mid(line, After_Space(b), d - b - 1, "no space after the run time");
        s.TotalTime = Text_To_Double(shown);
    });
    shown = line;
    On_Line(file, line, "time step", shown, [&] {
        const int16_t from = After_Space(d);
        shown = Mid(line, from, static_cast<int>(line.size()) - from + 1, "");
        s.dt = Text_To_Double(shown);
    });
    const int16_t N = s.Nanimals;

    // Value lines: split, then per value take the text, check the row, convert, store. The
    // row is checked after the text is taken, so a count above 51 fails at value 51 of
    // line 3 unless that value has no space after it.
    auto readValues = [&](auto store) {
        const std::string values = file.Read_Line();
        std::string shownValue = values;
        On_Line(file, values, "", shownValue, [&] { Find_Spaces(values, spacePos); });
        for (int k = 0; k < N; ++k) {
            shownValue = values;
            On_Line(file, values, Value_Name(k), shownValue, [&] {
                shownValue = Take_Value(values, spacePos, k);
                store(k, shownValue);
            });
        }
    };
    readValues([&](int i, const std::string& v) {
        SpeciesRec& rec = s.Species(i);
        rec.r = Text_To_Double(v);
    });
    readValues([&](int i, const std::string& v) {
        SpeciesRec& rec = s.Species(i);
        rec.x = Text_To_Double(v);
    });
    readValues([&](int i, const std::string& v) {
        SpeciesRec& rec = s.Species(i);
        rec.Color = Text_To_Int32(v);
    });
    for (int i = 0; i < N; ++i)
        readValues([&](int j, const std::string& v) {
            SpeciesRec& rec = s.Species(i);
            Check_Index(j, MaxSpecies, "a");
            rec.a[static_cast<std::size_t>(j)] = Text_To_Double(v);
        });

    model = s;
    SpacePos = spacePos;
}
