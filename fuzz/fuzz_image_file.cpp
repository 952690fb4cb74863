// Feeds arbitrary bytes to the image loader as a file would: the first byte
// picks the file's ending (and so the loader and the header check), the rest
// is the file. A file either loads into a grid of the size its bitmap says or
// is refused; it never crashes or hangs the program.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/mfree_image.hpp"

namespace {

const char* const kEndings[] = {".png", ".bmp", ".jp2", ".j2k", ".jxr", ".tif", ".webp", ".gif", ".jpg", ".psd"};

const std::string& ScratchStem() {
    static const std::string stem = [] {
        std::string tmpl = "/tmp/corvane-fuzz-image-XXXXXX";
        const int fd = mkstemp(tmpl.data());
        if (fd >= 0) close(fd);
        return tmpl;
    }();
    return stem;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const bool quiet = [] {
        corvane::SetImageDiagnosticSink([](const std::string&) {});
        return true;
    }();
    (void)quiet;
    const std::string path = ScratchStem() + kEndings[data[0] % (sizeof kEndings / sizeof kEndings[0])];
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);

    corvane::ImageHandle image = corvane::LoadImageByExtension(path);
    if (image) {
        const corvane::PixelGrid grid = corvane::ImageToGrid(image);
        if (grid.pixels.size() != static_cast<size_t>(grid.width) * static_cast<size_t>(grid.height)) std::abort();
        (void)corvane::ReadImageComment(image);
        corvane::ReleaseImage(image);
    }
    std::remove(path.c_str());
    return 0;
}
