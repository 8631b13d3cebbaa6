#include "FuzzLoad.h"
#include "ParamFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    auto load = [](const std::string& path, fuzz::Loaded& l, RandomSource&) {
        Load_P_File(path, l.model, l.SpacePos);
    };
    return fuzz::Load_Input(data, size, load, [](const Model& m) {
        if (m.Nanimals > MaxSpecies) fuzz::Defect("row style", "more than 51 species loaded");
        for (int i = m.Nanimals < 0 ? 0 : m.Nanimals; i < MaxSpecies; ++i)
            if (m.Species.rows[i].r != -1.0 - i || m.Species.rows[i].Color != 0x10203 * i)
                fuzz::Defect("row style", "row beyond N changed");
    });
}
