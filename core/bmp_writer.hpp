#pragma once
// BMP files of pixel grids: 32 bits per pixel, bottom row first, written
// straight from the grid as the image library wrote them (the same bytes),
// without a second copy of the image in memory.
#include "core/pixel_grid.hpp"
#include "core/safe_file.hpp"

namespace corvane {

// False when a write failed (file.error() tells why).
bool WriteBmp(const PixelGrid& grid, SafeFile& file);

}  // namespace corvane
