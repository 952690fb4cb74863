#pragma once
// Saving an image file whole or not at all: it is written under a temporary
// name in the target folder and renamed into place, so a failed or
// interrupted save never leaves a damaged file, and an existing file is
// never replaced unless the caller asks for it.
#include <string>

#include "core/mfree_image.hpp"

namespace corvane {

enum class SaveStatus { Saved, AlreadyExists, Failed };

struct SaveOptions {
    std::u16string comment;  // written as the "Comment" metadata when not empty
    bool overwrite = false;
    unsigned mode = 0644;  // permissions of the new file
};

SaveStatus SaveGridFile(const PixelGrid& grid, OutputKind kind, const std::string& path,
                        const SaveOptions& options = {});

}  // namespace corvane
