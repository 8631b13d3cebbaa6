#include "Globals.h"

Model ProgramModel;
RunControl ProgramRun;
int16_t PlotColumn = 0;
double LE = 0;
std::array<int16_t, 101> SpacePos{};

namespace {
Mt19937Random clockSeeded;
RandomSource* source = &clockSeeded;
}  // namespace

RandomSource& Random_Source() {
    return *source;
}

void Set_Random_Source(RandomSource* s) {
    source = s ? s : &clockSeeded;
}
