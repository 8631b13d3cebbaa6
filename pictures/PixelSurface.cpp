#include "PixelSurface.h"

#include <new>
#include <string>

#include "LvError.h"

ChartImage::ChartImage(int width, int height) : width_(width), height_(height) {
    try {
        pixels_.resize(std::size_t(width) * std::size_t(height));
    } catch (const std::bad_alloc&) {
        throw LvError(ErrorKind::OutOfMemory,
                      "a chart of " + std::to_string(width) + " x " + std::to_string(height) +
                          " pixels needs " +
                          std::to_string(int64_t(width) * height * 4 / (1024 * 1024)) + " MB");
    }
}
