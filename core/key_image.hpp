#pragma once
// A key image as the encryptor and the decryptor take it: the pixels, the
// comment and what the comment gives (delimiters and seed).
#include <string>

#include "core/hidden_message.hpp"
#include "core/image_decoder.hpp"
#include "core/pixel_grid.hpp"

namespace corvane {

struct KeyImage {
    PixelGrid pixels;
    std::u16string comment;
    KeyParams params;
    bool hasSeed = false;  // the comment has the six characters a seed needs
};

// Decodes the key the reader has open (keys are read as PNG, kKeyLoadRule).
// False with the decoder's reason when it cannot be decoded; a key whose
// comment gives no seed decodes all the same (hasSeed false).
bool DecodeKeyImage(ImageReader& reader, KeyImage& key, std::string* error = nullptr);
// Opens the key image at `path` and decodes it, all at once; on failure
// the key is empty and `error` says why.
bool LoadKeyImage(const std::string& path, KeyImage& key, std::string* error = nullptr);

}  // namespace corvane
