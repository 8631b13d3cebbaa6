#pragma once

#include <cstdint>

// Random light plot colours (each channel 105 to 254) for rows 0 to Nanimals - 1.
void Random_Colors(const int16_t& Nanimals);

// Random initial populations, 0.01 <= x < 1, for rows 0 to Nanimals - 1.
void Random_Populations(const int16_t& Nanimals);
