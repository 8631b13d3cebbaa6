#include "BitmapFile.h"

#include <cstdint>
#include <new>

#include "LvError.h"
#include "SaveFile.h"

namespace {

constexpr uint32_t DotsPerMetreAt96Dpi = 3780;  // 96 / 0.0254, rounded
constexpr uint32_t FileHeader = 14, InfoHeader = 40;

void put16(std::string& out, std::size_t at, uint32_t v) {
    out[at] = char(v & 0xff);
    out[at + 1] = char((v >> 8) & 0xff);
}
void put32(std::string& out, std::size_t at, uint32_t v) {
    put16(out, at, v & 0xffff);
    put16(out, at + 2, v >> 16);
}

// The header, then each row from the bottom up, to `put`.
template <class Put>
void writeBitmap(const PixelSurface& picture, Put put) {
    const uint64_t rowBytes = (uint64_t(picture.width) * 3 + 3) / 4 * 4;
    const uint64_t pixelBytes = rowBytes * uint64_t(picture.height);
    const uint64_t total = FileHeader + InfoHeader + pixelBytes;
    if (total > UINT32_MAX)
        throw LvError(ErrorKind::Overflow, "a bitmap of " + std::to_string(total) +
                                               " bytes, more than its header can hold");
    std::string header(FileHeader + InfoHeader, '\0');
    header[0] = 'B';
    header[1] = 'M';
    put32(header, 2, uint32_t(total));
    put32(header, 10, FileHeader + InfoHeader);
    put32(header, 14, InfoHeader);
    put32(header, 18, uint32_t(picture.width));
    put32(header, 22, uint32_t(picture.height));  // positive: the rows go from the bottom up
    put16(header, 26, 1);                         // one plane
    put16(header, 28, 24);                        // blue, green, red
    put32(header, 34, uint32_t(pixelBytes));
    put32(header, 38, DotsPerMetreAt96Dpi);
    put32(header, 42, DotsPerMetreAt96Dpi);
    put(header, total);
    std::string row(std::size_t(rowBytes), '\0');
    for (int y = picture.height - 1; y >= 0; --y) {
        std::size_t p = 0;
        for (int x = 0; x < picture.width; ++x) {
            const uint32_t c = picture.At(x, y);
            row[p++] = char(c & 0xff);
            row[p++] = char((c >> 8) & 0xff);
            row[p++] = char((c >> 16) & 0xff);
        }
        put(row, total);
    }
}

}  // namespace

std::string Bitmap_Bytes(const PixelSurface& picture) {
    std::string out;
    writeBitmap(picture, [&out](const std::string& bytes, uint64_t total) {
        try {
            if (out.empty()) out.reserve(std::size_t(total));
            out += bytes;
        } catch (const std::bad_alloc&) {
            throw LvError(ErrorKind::OutOfMemory,
                          "making the bitmap (" + std::to_string(total) + " bytes)");
        }
    });
    return out;
}

void Write_Bitmap(const PixelSurface& picture, SaveFile& file) {
    writeBitmap(picture, [&file](const std::string& bytes, uint64_t) { file.Write(bytes); });
}

void Save_Bitmap(const PixelSurface& picture, const std::string& path) {
    SaveFile file(path);
    Write_Bitmap(picture, file);
    file.Commit();
}
