#include "decrypt/encrypted_image.hpp"

namespace corvane {

bool StartEncryptedImage(ImageReader& reader, const std::string& path, std::string& error) {
    LoadRule rule{};
    if (!EncryptedLoadRuleForPath(path, rule)) {
        error = std::string("an encrypted image ends in ") + kEncryptedEndings;
        return false;
    }
    if (!reader.Start(path, rule)) {
        error = reader.error();
        return false;
    }
    return true;
}

}  // namespace corvane
