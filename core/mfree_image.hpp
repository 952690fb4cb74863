#pragma once
// Inside core only: the image library's bitmaps, their "Comment" metadata,
// rescaling and exact conversions between bitmaps and pixel grids, and the
// library's formats behind the system's own (core/image_formats.hpp).
#include <FreeImage.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/image_formats.hpp"
#include "core/pixel_grid.hpp"
#include "core/safe_file.hpp"

namespace corvane {

using ImageHandle = FIBITMAP*;

struct ImageReleaser {
    void operator()(FIBITMAP* h) const {
        if (h) FreeImage_Unload(h);
    }
};
using UniqueImage = std::unique_ptr<FIBITMAP, ImageReleaser>;

struct SaveFormat {
    OutputKind kind;
    FREE_IMAGE_FORMAT fif;
    int flags;
    const char* ending;  // with the dot: ".png"
};
const SaveFormat& SaveFormatOf(OutputKind kind);

// The library's format for one of ours.
FREE_IMAGE_FORMAT FifOf(ImageFormat format);

// Installs the handlers that keep the library's diagnostics off the terminal;
// called by every loader and saver, safe to call more than once.
void InitialiseImageLibrary();
// Where library diagnostics go (default: kept, see LastImageDiagnostic).
void SetImageDiagnosticSink(std::function<void(const std::string&)> sink);
std::string LastImageDiagnostic();

void ReleaseImage(ImageHandle& handle);

std::u16string ReadImageComment(ImageHandle handle);
// The comment's bytes as the file holds them (code page text).
std::string ReadImageCommentBytes(ImageHandle handle);
// Empty text removes every comment. True when a comment reads back.
bool WriteImageComment(ImageHandle handle, std::u16string_view text);

ImageHandle RescaleImage(ImageHandle handle, int width, int height, bool releaseSource,
                         FREE_IMAGE_FILTER filter, bool force);
// The preview rule: n on the longer side (the width when the image is at
// least as wide as high), box filter, the source kept.
ImageHandle PreviewImage(ImageHandle handle, int n);

// Encodes in the format of `kind` with its flags into an open file. BMP
// output is written at 32 bits per pixel, everything else at 24. False when
// the codec or any write failed (file.error() tells a failed write).
bool WriteImage(ImageHandle handle, OutputKind kind, SafeFile& file);

// Exact conversion of a bitmap of any depth or type to a 24-bit grid.
PixelGrid ImageToGrid(ImageHandle handle);
// The same into `out`, which holds width x height values.
bool ImageToPixels(ImageHandle handle, uint32_t* out);
// The bitmap itself when it is 24 or 32 bits per pixel, else a 24-bit copy
// held by `converted`; nullptr when it has no pixels or cannot be converted.
ImageHandle TwentyFourBit(ImageHandle handle, UniqueImage& converted);
// Rows top .. top + count - 1 (from the top) of such a bitmap as grid values.
void RowsToPixels(ImageHandle source, int top, int count, uint32_t* out);
// A new bitmap of the grid at 24 or 32 bits per pixel.
ImageHandle GridToImage(const PixelGrid& grid, int bitsPerPixel = 24);

// The picture a window shows of an image (its grid), releasing the image
// when asked; and the image of a shown picture, at the 32 bits per pixel of
// a true-colour surface.
inline PixelGrid MakePicture(ImageHandle handle, bool releaseSource) {
    PixelGrid grid = ImageToGrid(handle);
    if (releaseSource) ReleaseImage(handle);
    return grid;
}
inline ImageHandle PictureToImage(const PixelGrid& grid) { return GridToImage(grid, 32); }

}  // namespace corvane
