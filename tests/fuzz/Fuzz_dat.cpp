#include "FuzzLoad.h"
#include "ParamFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    return fuzz::Load_Input(data, size, Load_Dat_File, [] {
        if (TotalTime != 800 || dt != 0.01) fuzz::Defect("column style", "run settings not fixed");
        if (Nanimals > MaxSpecies) fuzz::Defect("column style", "more than 51 species loaded");
        // Rows the count does not reach keep the pattern.
        for (int i = Nanimals < 0 ? 0 : Nanimals; i < MaxSpecies; ++i)
            if (Species.rows[i].x != 0.125 * i)
                fuzz::Defect("column style", "row beyond N changed");
    });
}
