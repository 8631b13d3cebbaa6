#include "BitmapFile.h"

#include <QBuffer>
#include <QImageWriter>

#include "LvError.h"
#include "SaveFile.h"

namespace {
constexpr int DotsPerMetreAt96Dpi = 3780;  // 96 / 0.0254, rounded
}

QByteArray Bitmap_Bytes(const QImage& image) {
    QImage marked = image;
    marked.setDotsPerMeterX(DotsPerMetreAt96Dpi);
    marked.setDotsPerMeterY(DotsPerMetreAt96Dpi);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "BMP");
    // Into memory, this fails only when the image or its copy cannot be had.
    if ((marked.isNull() && !image.isNull()) || !writer.write(marked))
        throw LvError(ErrorKind::OutOfMemory,
                      "making the bitmap (" + writer.errorString().toStdString() + ")");
    return bytes;
}

void Save_Bitmap(const QImage& image, const std::string& path) {
    const QByteArray bytes = Bitmap_Bytes(image);
    Save_File(path, std::string_view(bytes.constData(), std::size_t(bytes.size())));
}
