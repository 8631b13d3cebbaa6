#include "FuzzLoad.h"
#include "ParamFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    auto load = [](const std::string& path, fuzz::Loaded& l, RandomSource& random) {
        Load_Dat_File(path, l.model, random);
    };
    return fuzz::Load_Input(data, size, load, [](const Model& m) {
        if (m.TotalTime != 800 || m.dt != 0.01)
            fuzz::Defect("column style", "run settings not fixed");
        if (m.Nanimals > MaxSpecies) fuzz::Defect("column style", "more than 51 species loaded");
        // Rows the count does not reach keep the pattern.
        for (int i = m.Nanimals < 0 ? 0 : m.Nanimals; i < MaxSpecies; ++i)
            if (m.Species.rows[i].x != 0.125 * i)
                fuzz::Defect("column style", "row beyond N changed");
    });
}
