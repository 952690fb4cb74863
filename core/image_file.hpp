#pragma once
// Saving an image file whole or not at all (see SafeFile): a failed or
// interrupted save never leaves a damaged file, and an existing file is never
// replaced unless the caller asks for it.
#include <string>

#include "core/image_formats.hpp"
#include "core/safe_file.hpp"

namespace corvane {

struct SaveOptions {
    std::u16string comment;  // written as the "Comment" metadata when not empty
    bool overwrite = false;
    FileAccess access = FileAccess::Shared;
    // Decode what was written (in the decoder process) and compare it with
    // the grid before the file gets its name: for saves after which the
    // originals are destroyed.
    bool verify = false;
};

// The reason of a save whose written image does not decode to the grid.
inline constexpr const char* kSavedImageDoesNotReadBack = "Saved image does not read back";

// `reason` (when given) receives why a save failed: the system's reason for a
// failed write ("No space left on device"), or kSavedImageDoesNotReadBack.
SaveStatus SaveGridFile(const PixelGrid& grid, OutputKind kind, const std::string& path,
                        const SaveOptions& options = {}, std::string* reason = nullptr);

// Saves replacing an existing file (tests and tools); the programs save
// through SaveGridFile.
bool SaveGrid(const PixelGrid& grid, OutputKind kind, const std::string& path, std::u16string_view comment = {});

}  // namespace corvane
