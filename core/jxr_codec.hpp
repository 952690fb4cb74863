#pragma once
// JPEG XR files through jxrlib: the image library on this platform cannot
// read or write them.
#include <FreeImage.h>

#include <string>

namespace corvane {

// Reads the size from the header without decoding pixels.
bool ReadJxrSize(const std::string& path, int& width, int& height);
// A new 24-bit bitmap, or nullptr. Refuses images over the pixel limit or of
// zero size before decoding.
FIBITMAP* LoadJxrFile(const std::string& path);
// Lossless; the bitmap may be 24 or 32 bits per pixel (the fourth byte is not stored).
bool SaveJxrFile(FIBITMAP* bitmap, const std::string& path);

}  // namespace corvane
