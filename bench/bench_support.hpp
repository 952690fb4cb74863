#pragma once
#include <stdlib.h>

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

#include "core/image_decoder.hpp"

namespace corvane::bench {

// A W x H carrier cut from a real photo mirrored edge to edge. Mirroring
// keeps the camera's own texture, which resampling would smooth away.
inline PixelGrid MirroredPhoto(const std::string& name, int w, int h) {
    PixelGrid photo;
    if (!LoadGrid(std::string(CORVANE_PHOTOS_DIR) + "/" + name, photo)) throw std::runtime_error("cannot load " + name);
    PixelGrid out(w, h);
    for (int y = 0; y < h; ++y) {
        const int ty = y / photo.height, sy = (ty % 2) ? photo.height - 1 - y % photo.height : y % photo.height;
        for (int x = 0; x < w; ++x) {
            const int tx = x / photo.width, sx = (tx % 2) ? photo.width - 1 - x % photo.width : x % photo.width;
            out.at(x, y) = photo.at(sx, sy);
        }
    }
    return out;
}

// 2,000 characters of words drawn at random, so that the text compresses
// about as well as prose.
inline std::u16string Message2000() {
    const char16_t* words[] = {u"meet", u"the", u"caf\u00e9", u"at", u"noon", u"bring", u"key", u"river",
                               u"\u043f\u0440\u0438\u0432\u0435\u0442", u"north", u"gate", u"seven", u"quietly",
                               u"papers", u"train", u"\u2615", u"window", u"Tuesday", u"blue", u"door"};
    std::mt19937 gen(2000);
    std::u16string text;
    while (text.size() < 2000) {
        text += words[gen() % (sizeof words / sizeof words[0])];
        text += gen() % 9 == 0 ? u". " : u" ";
    }
    text.resize(2000);
    return text;
}

// A W x H key of random pixels, the same at every run.
inline PixelGrid RandomKey(int w, int h) {
    std::mt19937 gen(1600);
    PixelGrid key(w, h);
    for (auto& p : key.pixels) p = gen() & 0xFFFFFFu;
    return key;
}

// A new, empty folder below the temporary folder.
inline std::string MakeTempFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "corvane-bench-XXXXXX").string();
    return mkdtemp(tmpl.data());
}

}  // namespace corvane::bench
