#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "Model.h"
#include "Random.h"

// The readers fill a model: each overwrites only what its file holds, so that the rest of the
// table keeps what an earlier file or run left in it. A load is whole or nothing: one that
// fails throws LvError (file, line, value) and leaves the model as it was. A line of more than
// 32,767 characters is an overflow (TextFile).

// Column style (".dat"): one wrapped number per line. Sets TotalTime = 800, dt = 0.01, fills
// Nanimals and rows 0 to N-1 (x, r, a), then draws random colours from `random`.
void Load_Dat_File(const std::string& path, Model& model, RandomSource& random);

// Row style (".p"): count, run time and time step on line 2, then rates, populations,
// colours and the matrix rows, each value followed by one space. `SpacePos` is the split of
// the line read last, as Find_Spaces leaves it (committed with the model); the first form
// keeps it to itself.
void Load_P_File(const std::string& path, Model& model);
void Load_P_File(const std::string& path, Model& model, std::array<int16_t, 101>& SpacePos);

// Drops the first and the last character of a wrapped value, whatever they are. A text of
// fewer than 2 characters is an invalid argument; one longer than 32767 an overflow.
void Strip_Ends(std::string& text);

// Splits a row-style line: positions[0] = 0, positions[1..s] the 1-based positions of its s
// spaces, positions[s + 1] = 0; later entries keep what they held. 100 spaces or more are
// "Subscript out of range"; a space at position 32767 or beyond an overflow, since the
// position after it would not fit in 16 bits.
void Find_Spaces(const std::string& line, std::array<int16_t, 101>& positions);

// Value k (from 0) of the line split last: the text between space k and space k + 1, where
// the start of the line counts as space 0. A value with no space after it is an invalid
// argument; an empty value comes back empty (and fails its conversion). A value after a
// space at position 32767 is an overflow.
std::string Take_Value(const std::string& line, const std::array<int16_t, 101>& positions, int k);
