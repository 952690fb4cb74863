#pragma once
// PNG files of pixel grids, compressed with libdeflate: several times faster
// than the image library's writer at its best compression, and smaller. The
// files carry what that writer put in them (the size, 72 pixels per inch,
// the "Comment" as an iTXt chunk of the same bytes), so keys and images
// written by either read the same everywhere.
#include <string_view>

#include "core/pixel_grid.hpp"
#include "core/safe_file.hpp"

namespace corvane {

enum class PngCompression {
    // Keys: random pixels do not compress, so they are stored as they are;
    // the file is no larger than a compressed one would be.
    Stored,
    // Photographs: each row filtered the way that leaves the smallest
    // differences, then deflated.
    Best,
};

// `comment` holds the comment's bytes (code page text); empty for none.
// False when a write failed (file.error() tells why) or memory ran out.
bool WritePng(const PixelGrid& grid, std::string_view comment, PngCompression compression, SafeFile& file);

}  // namespace corvane
