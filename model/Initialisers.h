#pragma once

#include <cstdint>

#include "Model.h"
#include "Random.h"

// Random light plot colours (each channel 105 to 254) for rows 0 to Nanimals - 1, from
// `random` reseeded from the timer first.
void Random_Colors(SpeciesTable& Species, const int16_t& Nanimals, RandomSource& random);

// Random initial populations, 0.01 <= x < 1, for rows 0 to Nanimals - 1, likewise.
void Random_Populations(SpeciesTable& Species, const int16_t& Nanimals, RandomSource& random);
