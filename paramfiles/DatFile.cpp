#include <string>

#include "Convert.h"
#include "Initialisers.h"
#include "LineContext.h"
#include "LvError.h"
#include "ParamFiles.h"
#include "TextFile.h"

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

void Load_Dat_File(const std::string& path, Model& model, RandomSource& random) {
    Model s = model;
    s.TotalTime = 800;
    s.dt = 0.01;

    TextFile file(path);
    file.Skip_Line();

    const std::string line = file.Read_Line();
    std::string shown = line;
    On_Line(file, line, "species count", shown, [&] {
        std::string value = line;
        Strip_Ends(value);
        shown = value;
        s.Nanimals = Text_To_Int16(value);
    });
    const int16_t N = s.Nanimals;

    // One wrapped value per line: read, strip, check the row, convert, store. The row is
    // checked before the conversion, so a count above 51 fails at the population of row 51
    // whatever that line holds.
    auto readValue = [&](int row, auto store) {
        const std::string raw = file.Read_Line();
        std::string shownValue = raw;
        On_Line(file, raw, "", shownValue, [&] {
            std::string value = raw;
            Strip_Ends(value);
            shownValue = value;
            SpeciesRec& rec = s.Species(row);
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

    Random_Colors(s.Species, N, random);
    model = s;
}
