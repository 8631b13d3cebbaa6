#pragma once

#include <QByteArray>
#include <QImage>
#include <string>

// An image as the bytes of a file in `format` ("BMP", "PNG"), made in memory by Qt's writer.
// Throws LvError (Out of memory) when the image or its copy cannot be had.
QByteArray Image_Bytes(const QImage& image, const char* format);

// The image as a PNG file under exactly the name `path` (its bytes as given), written whole
// or not at all by the one writer of every file. Throws LvError with the kind and the
// system's reason.
void Save_Png(const QImage& image, const std::string& path);
