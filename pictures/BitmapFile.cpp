#include "BitmapFile.h"

#include "ImageFile.h"
#include "LvError.h"
#include "SaveFile.h"

namespace {
constexpr int DotsPerMetreAt96Dpi = 3780;  // 96 / 0.0254, rounded
}

QByteArray Bitmap_Bytes(const QImage& image) {
    QImage marked = image;
    marked.setDotsPerMeterX(DotsPerMetreAt96Dpi);
    marked.setDotsPerMeterY(DotsPerMetreAt96Dpi);
    if (marked.isNull() && !image.isNull())
        throw LvError(ErrorKind::OutOfMemory, "making the bitmap (no memory for its copy)");
    return Image_Bytes(marked, "BMP");
}

void Save_Bitmap(const QImage& image, const std::string& path) {
    const QByteArray bytes = Bitmap_Bytes(image);
    Save_File(path, std::string_view(bytes.constData(), std::size_t(bytes.size())));
}
