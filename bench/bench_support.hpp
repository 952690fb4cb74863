#pragma once
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

}  // namespace corvane::bench
