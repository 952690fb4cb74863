#pragma once
// Decoding an image file's bytes in this process. The image libraries are
// not safe on damaged files, so only the decoder process (core/decoder/)
// calls these; everything else loads through ImageReader.
#include <cstddef>
#include <cstdint>

#include "core/mfree_image.hpp"

namespace corvane {

// The image size from the file's header, without decoding pixels. The
// bytes may be changed in place (header fix-ups for the library).
bool ProbeImageSize(uint8_t* data, size_t size, FREE_IMAGE_FORMAT fif, int flags, uint64_t& width, uint64_t& height);

// The whole image; nullptr when the bytes do not decode. Call after
// ProbeImageSize on the same bytes.
ImageHandle DecodeImageData(uint8_t* data, size_t size, FREE_IMAGE_FORMAT fif, int flags);

// The image library reads only the short info header of BMP files: longer
// ones are rewritten as short ones in place. False for an uncompressed file
// whose pixels cannot all be in it.
bool NormaliseBmpHeader(uint8_t* data, size_t size);

// The most pixels a file of `fileSize` bytes in this format may claim.
// Real photographs, however small their file, stay far below the bound of
// their format; a few-kilobyte file claiming a huge image would cost seconds
// and gigabytes to decode for nothing. Any file may claim a flat 16 MP.
uint64_t PixelBudget(FREE_IMAGE_FORMAT fif, uint64_t fileSize);
inline constexpr uint64_t kFreePixels = uint64_t{16} << 20;

// The scans of a progressive JPEG file (0 for a sequential one). Each scan
// costs a pass over every block of the image; encoders write about ten.
uint32_t JpegScanCount(const uint8_t* data, size_t size);
inline constexpr uint32_t kMaxJpegScans = 100;

// The CPU time a decode of `pixels` may take: half a minute plus two seconds
// a megapixel (a healthy one takes a tenth of that).
inline uint64_t DecoderCpuSeconds(uint64_t pixels) { return 30 + 2 * pixels / 1000000; }

// True when width x height is within the pixel limit and both are at least 1.
bool ImageSizeAllowed(uint64_t width, uint64_t height);

}  // namespace corvane
