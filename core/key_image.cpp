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

bool LoadKeyImage(const std::string& path, KeyImage& key, std::string* error) {
    ImageReader reader;
    if (reader.Open(path, kKeyLoadRule) && DecodeKeyImage(reader, key, error)) return true;
    // Nothing of a key that failed half-way is kept.
    key = KeyImage();
    if (error && error->empty()) *error = reader.error();
    return false;
}

}  // namespace corvane
