// Our own header readers, in this process: the JPEG 2000 box walk, the GIF
// frame scan, the BMP header rewrite and the JPEG marker walk. They run in the decoder process
// before any library sees the file, so they must hold on any bytes. The
// first byte picks the reader.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/image_decode.hpp"
#include "core/mfree_image.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::vector<uint8_t> file(data + 1, data + size);
    // An empty vector has no storage: give the readers a valid pointer.
    file.reserve(1);
    uint64_t w = 0, h = 0;
    switch (data[0] % 4) {
        case 0:
            corvane::ProbeImageSize(file.data(), file.size(), FIF_JP2, 0, w, h);
            break;
        case 1:
            corvane::ProbeImageSize(file.data(), file.size(), FIF_J2K, 0, w, h);
            break;
        case 2:
            corvane::ProbeImageSize(file.data(), file.size(), FIF_GIF, 0, w, h);
            break;
        default:
            corvane::ProbeImageSize(file.data(), file.size(), FIF_JPEG, 0, w, h);
            corvane::JpegScanCount(file.data(), file.size());
            corvane::NormaliseBmpHeader(file.data(), file.size());
            break;
    }
    return 0;
}
