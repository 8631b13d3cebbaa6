#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A 32-bit picture in memory, as the window's image holds it: rows from the top, each pixel
// 0xffRRGGBB, `stride` pixels from one row to the next. It only points at the pixels: the
// window's image owns them there, a ChartImage here.
struct PixelSurface {
    uint32_t* bits = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;

    uint32_t& At(int x, int y) const { return bits[y * stride + x]; }
};

// A picture of its own, for a chart drawn off screen. Throws LvError (Out of memory) when its
// pixels cannot be had.
class ChartImage {
  public:
    ChartImage(int width, int height);
    PixelSurface Surface() { return {pixels_.data(), width_, height_, width_}; }

  private:
    int width_, height_;
    std::vector<uint32_t> pixels_;
};
