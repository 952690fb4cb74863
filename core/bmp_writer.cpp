#include "core/bmp_writer.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

namespace corvane {
namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

}  // namespace

bool WriteBmp(const PixelGrid& grid, SafeFile& file) {
    if (grid.empty()) return false;
    const uint64_t pixelBytes = 4ull * static_cast<uint64_t>(grid.width) * static_cast<uint64_t>(grid.height);
    if (54 + pixelBytes > UINT32_MAX) return false;
    std::vector<uint8_t> header;
    header.reserve(54);
    header.push_back('B');
    header.push_back('M');
    Put32(header, static_cast<uint32_t>(54 + pixelBytes));  // file size
    Put32(header, 0);                                      // reserved
    Put32(header, 54);                                     // offset of the pixels
    Put32(header, 40);                                     // info header size
    Put32(header, static_cast<uint32_t>(grid.width));
    Put32(header, static_cast<uint32_t>(grid.height));     // positive: bottom row first
    Put16(header, 1);                                      // planes
    Put16(header, 32);                                     // bits per pixel
    Put32(header, 0);                                      // no compression
    Put32(header, 0);                                      // image size, left to the reader
    Put32(header, 2835);                                   // 72 pixels per inch
    Put32(header, 2835);
    Put32(header, 0);                                      // colours used
    Put32(header, 0);                                      // colours important
    if (!file.Write(header.data(), header.size())) return false;

    // Blue, green, red and a zero byte: the grid's value with red and blue
    // swapped, written as it lies in memory. A band of rows at a time.
    static_assert(std::endian::native == std::endian::little, "pixels are written as little-endian words");
    const size_t width = static_cast<size_t>(grid.width);
    const size_t band = std::max<size_t>(1, (size_t{1} << 18) / width);
    std::vector<uint32_t> rows(band * width);
    for (int y = grid.height - 1; y >= 0;) {
        size_t count = 0;
        for (; count < band && y >= 0; ++count, --y) {
            const uint32_t* in = grid.pixels.data() + static_cast<size_t>(y) * width;
            uint32_t* out = rows.data() + count * width;
            for (size_t x = 0; x < width; ++x) {
                const uint32_t p = in[x];
                out[x] = ((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF);
            }
        }
        if (!file.Write(rows.data(), count * width * sizeof(uint32_t))) return false;
    }
    return !file.failed();
}

}  // namespace corvane
