#pragma once
// A W x H image of 24-bit colours, red in bits 0-7, green 8-15, blue 16-23,
// bits 24-31 zero, addressed (x, y) from the top-left.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvane {

struct PixelGrid {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // row-major: index y * width + x

    PixelGrid() = default;
    PixelGrid(int w, int h, uint32_t fill = 0)
        : width(w), height(h), pixels(static_cast<size_t>(w) * static_cast<size_t>(h), fill) {}

    bool empty() const { return width <= 0 || height <= 0; }
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    uint32_t& at(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    bool operator==(const PixelGrid&) const = default;
};

constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }
constexpr uint32_t RedOf(uint32_t c) { return c & 0xFF; }
constexpr uint32_t GreenOf(uint32_t c) { return (c >> 8) & 0xFF; }
constexpr uint32_t BlueOf(uint32_t c) { return (c >> 16) & 0xFF; }

}  // namespace corvane
