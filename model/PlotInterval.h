#pragma once

#include <cstdint>

// Steps between two chart columns, less one: floor(windowTime / dt / chartWidth), the two
// divisions left to right in double precision, stored as a 16-bit count. So one sweep of
// the chart spans about windowTime of model time. dt = 0 is a division by zero, a quotient
// outside -32768..32767 an overflow.
int16_t Plot_Interval(int16_t windowTime, double dt, float chartWidth);
