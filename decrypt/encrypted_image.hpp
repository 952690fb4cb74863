#pragma once
// Encrypted images as the decryptor takes them: only the seven output
// endings, each read as the format it names.
#include <string>

#include "core/image_decoder.hpp"

namespace corvane {

// The endings, for messages: ".png, .bmp, .jp2, .jxr, .j2k, .tif or .webp".
inline constexpr const char* kEncryptedEndings = ".png, .bmp, .jp2, .jxr, .j2k, .tif or .webp";

// Starts the reader on an encrypted image; false with a reason when the
// ending is not one of the seven or the file cannot be opened.
bool StartEncryptedImage(ImageReader& reader, const std::string& path, std::string& error);

}  // namespace corvane
