#pragma once

#include <string>

// Column style (".dat"): one wrapped number per line. Sets TotalTime = 800, dt = 0.01, fills
// Nanimals and rows 0 to N-1 (x, r, a), then draws random colours. A load that fails throws
// LvError (file, line, value) and leaves every global as it was.
void Load_Dat_File(const std::string& path);

// Row style (".p"): count, run time and time step on line 2, then rates, populations,
// colours and the matrix rows, each value followed by one space. Same failure guarantee.
void Load_P_File(const std::string& path);
