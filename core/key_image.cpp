#include "core/key_image.hpp"

namespace corvane {

bool DecodeKeyImage(ImageReader& reader, KeyImage& key, std::string* error) {
    key = KeyImage();
    if (!reader.Decode(key.pixels, &key.comment)) {
        if (error) *error = reader.error();
        return false;
    }
    key.hasSeed = KeyParameters(key.comment, key.params);
    return true;
}

}  // namespace corvane
