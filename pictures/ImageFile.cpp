#include "ImageFile.h"

#include <QBuffer>
#include <QImageWriter>

#include "LvError.h"
#include "SaveFile.h"

QByteArray Image_Bytes(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    // Into memory, this fails only when the image or its copy cannot be had.
    if (!writer.write(image))
        throw LvError(ErrorKind::OutOfMemory, std::string("making the ") + format + " image (" +
                                                  writer.errorString().toStdString() + ")");
    return bytes;
}

void Save_Png(const QImage& image, const std::string& path) {
    const QByteArray bytes = Image_Bytes(image, "PNG");
    Save_File(path, std::string_view(bytes.constData(), std::size_t(bytes.size())));
}
