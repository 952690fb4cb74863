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

// True when width x height is within the pixel limit and both are at least 1.
bool ImageSizeAllowed(uint64_t width, uint64_t height);

}  // namespace corvane
