#include "core/image_file.hpp"

#include <unistd.h>

#include "core/bmp_writer.hpp"
#include "core/code_page.hpp"
#include "core/image_decoder.hpp"
#include "core/mfree_image.hpp"
#include "core/png_writer.hpp"

namespace corvane {
namespace {

bool ReadsBack(SafeFile& file, OutputKind kind, const PixelGrid& grid, const std::u16string& comment) {
    const int fd = file.OpenForReading();
    if (fd < 0) return false;
    ImageReader reader;
    PixelGrid back;
    std::u16string backComment;
    const bool decoded = reader.OpenDescriptor(fd, LoadRuleForOutput(kind)) && reader.Decode(back, &backComment);
    close(fd);
    return decoded && back == grid && (comment.empty() || backComment == comment);
}

}  // namespace

SaveStatus SaveGridFile(const PixelGrid& grid, OutputKind kind, const std::string& path, const SaveOptions& options,
                        std::string* reason) {
    auto failed = [&](const std::string& why) {
        if (reason) *reason = why;
        return SaveStatus::Failed;
    };
    SafeFile file;
    if (!file.Create(path, options.access)) return failed(file.error());
    if (kind == OutputKind::Key || kind == OutputKind::Png) {
        const PngCompression compression = kind == OutputKind::Key ? PngCompression::Stored : PngCompression::Best;
        if (!WritePng(grid, TextToAnsi(options.comment), compression, file))
            return failed(file.failed() ? file.error() : "not enough memory for the image");
    } else if (kind == OutputKind::Bmp) {
        if (!WriteBmp(grid, file)) return failed(file.failed() ? file.error() : "the image is too large for BMP");
    } else {
        UniqueImage dib(GridToImage(grid, 24));
        if (!dib) return failed("not enough memory for the image");
        if (!options.comment.empty() && !WriteImageComment(dib.get(), options.comment))
            return failed("the comment cannot be written");
        if (!WriteImage(dib.get(), kind, file))
            return failed(file.failed() ? file.error() : "the image library could not encode the image");
    }
    if (options.verify && !ReadsBack(file, kind, grid, options.comment)) return failed(kSavedImageDoesNotReadBack);
    const SaveStatus status = file.Commit(options.overwrite);
    if (status == SaveStatus::Failed) return failed(file.error());
    if (status == SaveStatus::AlreadyExists && reason) *reason = "the file exists";
    return status;
}

bool SaveGrid(const PixelGrid& grid, OutputKind kind, const std::string& path, std::u16string_view comment) {
    SaveOptions options;
    options.comment.assign(comment);
    options.overwrite = true;
    return SaveGridFile(grid, kind, path, options) == SaveStatus::Saved;
}

}  // namespace corvane
