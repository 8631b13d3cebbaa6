#pragma once

#include <string>

#include "PixelSurface.h"
#include "SaveFile.h"

// The chart as a Windows bitmap: 24 bits a pixel, rows from the bottom padded to four bytes,
// marked 96 dots per inch (3780 pixels a metre) whichever program drew it, so that the window
// and lv-run write the same bytes for the same chart. Throws LvError (Out of memory) when the
// bytes cannot be had.
std::string Bitmap_Bytes(const PixelSurface& picture);

// Writes the bitmap under exactly the name `path` (its bytes as given), whole or not at all.
// Throws LvError with the kind and the system's reason.
void Save_Bitmap(const PixelSurface& picture, const std::string& path);

// The bitmap into a file opened before (so that a name that cannot be written fails before
// any work), for the caller to commit.
void Write_Bitmap(const PixelSurface& picture, SaveFile& file);
