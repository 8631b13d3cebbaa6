#pragma once

#include <QByteArray>

#include "PlotData.h"
#include "PlotParts.h"

// A figure as the bytes of a file in `format`, the same picture in each: PNG from an image of
// its pixels, SVG and PDF from Qt's own generator and writer, with the text and lines as
// such, at the figure's size (a PDF page of that many pixels at the image's resolution).
// Throws LvError (Out of memory) when the image or the file cannot be made in memory.
QByteArray Figure_Bytes(const PlotFigure& figure, PlotFormat format);
