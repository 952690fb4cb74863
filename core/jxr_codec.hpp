#pragma once
// JPEG XR files through jxrlib: the image library on this platform cannot
// read or write them.
#include <FreeImage.h>

#include <cstddef>
#include <cstdint>

#include "core/safe_file.hpp"

namespace corvane {

// Decoding runs only inside the image decoder process: jxrlib is not safe on
// damaged files. Both take the whole file, which they may change in place.
// The size from the header, without decoding pixels.
bool ReadJxrSize(uint8_t* data, size_t size, int& width, int& height);
// A new 24-bit bitmap, or nullptr. Refuses images over the pixel limit or of
// zero size before decoding.
FIBITMAP* DecodeJxr(uint8_t* data, size_t size);
// Lossless; the bitmap may be 24 or 32 bits per pixel (the fourth byte is not stored).
bool WriteJxr(FIBITMAP* bitmap, SafeFile& file);

}  // namespace corvane
