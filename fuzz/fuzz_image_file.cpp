// Feeds arbitrary bytes to the image loader as a file would: the first byte
// picks the file's ending (and so the decoder and its header check), the
// rest is the file. A file either loads into a grid of the size it claims or
// is refused with a reason; whatever the decoder process does, this process
// never crashes or hangs.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/image_decoder.hpp"

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
    const std::string path = ScratchStem() + kEndings[data[0] % (sizeof kEndings / sizeof kEndings[0])];
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);

    corvane::ImageReader reader;
    if (reader.Open(path, corvane::LoadRuleForPath(path))) {
        corvane::PixelGrid grid;
        std::u16string comment;
        if (reader.Decode(grid, &comment)) {
            if (grid.empty() || grid.pixels.size() != static_cast<size_t>(grid.width) * static_cast<size_t>(grid.height))
                std::abort();
        } else if (reader.error().empty()) {
            std::abort();
        }
    } else if (reader.error().empty()) {
        std::abort();
    }
    std::remove(path.c_str());
    return 0;
}
