#include "FuzzLoad.h"
#include "ParamFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    return fuzz::Load_Input(data, size, Load_P_File, [] {
        if (Nanimals > MaxSpecies) fuzz::Defect("row style", "more than 51 species loaded");
        for (int i = Nanimals < 0 ? 0 : Nanimals; i < MaxSpecies; ++i)
            if (Species.rows[i].r != -1.0 - i || Species.rows[i].Color != 0x10203 * i)
                fuzz::Defect("row style", "row beyond N changed");
    });
}
