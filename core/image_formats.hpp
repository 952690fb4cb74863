#pragma once
// The image files the system reads and writes, in its own terms: which
// format a file name stands for, the output formats, the pixel limit, and
// the previews and rescaling the windows need. The image library itself
// stays inside core.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/pixel_grid.hpp"

namespace corvane {

// Images larger than this (width x height), or with a side below 1, are
// refused from their header before any pixel is decoded.
inline constexpr uint64_t kMaxImagePixels = 256ull * 1024ull * 1024ull;

enum class OutputKind { Key, Png, Bmp, Jp2, Jxr, J2k, Tif, Webp };
// The ending of an output format, with its dot: ".png".
const char* OutputEnding(OutputKind kind);
// "png", "bmp", "jp2", "jxr", "j2k", "tif", "webp" (also with a leading dot,
// and "tiff"); false for anything else.
bool OutputKindFromName(std::string_view name, OutputKind& kind);

enum class ImageFormat { Png, Bmp, Jpeg, Jp2, Jxr, J2k, Tiff, Webp, Gif, Psd, Raw };
struct LoadRule {
    ImageFormat format = ImageFormat::Png;
    int flags = 0;  // the decoder's options for the format (accurate JPEG, raw for display)
};
// The load table: the last four characters of the path, compared
// case-sensitively; every unlisted ending goes to the camera-raw loader.
LoadRule LoadRuleForPath(std::string_view path);
// The encrypted-image picker's table: the seven output endings, flags 0.
// False when the ending is not one of them.
bool EncryptedLoadRuleForPath(std::string_view path, LoadRule& rule);
// The analysis window's table: ".png", ".bmp" and ".jpg" (either case) as by
// LoadRuleForPath; false for any other ending.
bool AnalysisLoadRuleForPath(std::string_view path, LoadRule& rule);
// How a file saved in an output format is read back.
LoadRule LoadRuleForOutput(OutputKind kind);
// "PNG", "JPEG 2000", "camera raw", ... for messages.
std::string FormatName(LoadRule rule);

enum class ResizeFilter { Box, Bilinear };
// The preview rule: n on the longer side (the width when the image is at
// least as wide as high), box filter.
PixelGrid PreviewGrid(const PixelGrid& grid, int n);
// To w x h (one of them below 1: keeping the shape), the grid itself when
// nothing changes.
PixelGrid RescaleGrid(const PixelGrid& grid, int width, int height, ResizeFilter filter);

}  // namespace corvane
