#pragma once

#include <QByteArray>
#include <QImage>
#include <string>

// The chart as a Windows bitmap, made by Qt's BMP writer and marked 96 dots per inch (3780
// pixels a metre) whichever program drew it, so that the window and lv-run write the same
// bytes for the same chart.
QByteArray Bitmap_Bytes(const QImage& image);

// Writes the bitmap under exactly the name `path` (its bytes as given), whole or not at all.
// Throws LvError with the kind and the system's reason.
void Save_Bitmap(const QImage& image, const std::string& path);
