#include "Initialisers.h"

#include <cmath>

namespace {
int32_t channel(float u) {
    return static_cast<int32_t>(std::floor(double(u) * 150.0) + 105.0);
}
}  // namespace

void Random_Colors(SpeciesTable& Species, const int16_t& Nanimals, RandomSource& random) {
    random.Reseed(Timer_Seconds());
    for (int i = 0; i < Nanimals; ++i) {
        // The row is addressed between the second and third draw, so a count above 51 fails
        // at row 51 with two of its draws made.
        const int32_t red = channel(random.Next());
        const int32_t green = channel(random.Next());
        SpeciesRec& row = Species(i);
        const int32_t blue = channel(random.Next());
        row.Color = red + 256 * green + 65536 * blue;
    }
}

void Random_Populations(SpeciesTable& Species, const int16_t& Nanimals, RandomSource& random) {
    random.Reseed(Timer_Seconds());
    for (int i = 0; i < Nanimals; ++i) {
        const float u = random.Next();
        Species(i).x = double(u) * 0.99 + 0.01;
    }
}
