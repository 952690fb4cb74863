#include "core/mfree_image.hpp"

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "core/code_page.hpp"
#include "core/image_file.hpp"
#include "core/jxr_codec.hpp"
#include "core/number_format.hpp"

namespace corvane {
namespace {

std::mutex g_diagMutex;
std::function<void(const std::string&)> g_sink;
std::string g_lastDiagnostic;

void Diagnose(const std::string& text) {
    std::function<void(const std::string&)> sink;
    {
        std::lock_guard<std::mutex> lock(g_diagMutex);
        g_lastDiagnostic = text;
        sink = g_sink;
    }
    if (sink) sink(text);
}

void FreeImageMessage(FREE_IMAGE_FORMAT fif, const char* message) {
    const char* name = fif == FIF_UNKNOWN ? nullptr : FreeImage_GetFormatFromFIF(fif);
    Diagnose(std::string(name ? name : "image") + ": " + (message ? message : ""));
}

void TiffMessage(const char* module, const char* fmt, va_list ap) {
    char buf[512];
    std::vsnprintf(buf, sizeof buf, fmt ? fmt : "", ap);
    Diagnose(std::string("TIFF") + (module ? std::string(" ") + module : std::string()) + ": " + buf);
}

bool EndsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

}  // namespace

void InitialiseImageLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        FreeImage_Initialise(FALSE);
        FreeImage_SetOutputMessage(FreeImageMessage);
        TIFFSetWarningHandler(TiffMessage);
        TIFFSetErrorHandler(TiffMessage);
    });
}

void SetImageDiagnosticSink(std::function<void(const std::string&)> sink) {
    std::lock_guard<std::mutex> lock(g_diagMutex);
    g_sink = std::move(sink);
}

std::string LastImageDiagnostic() {
    std::lock_guard<std::mutex> lock(g_diagMutex);
    return g_lastDiagnostic;
}

const SaveFormat& SaveFormatOf(OutputKind kind) {
    static const SaveFormat kTable[] = {
        {OutputKind::Key, FIF_PNG, PNG_Z_DEFAULT_COMPRESSION, ".png"},
        {OutputKind::Png, FIF_PNG, PNG_Z_BEST_COMPRESSION, ".png"},
        {OutputKind::Bmp, FIF_BMP, BMP_SAVE_RLE, ".bmp"},
        {OutputKind::Jp2, FIF_JP2, 1, ".jp2"},
        {OutputKind::Jxr, FIF_JXR, JXR_LOSSLESS, ".jxr"},
        {OutputKind::J2k, FIF_J2K, 1, ".j2k"},
        {OutputKind::Tif, FIF_TIFF, TIFF_LZW, ".tif"},
        {OutputKind::Webp, FIF_WEBP, WEBP_LOSSLESS, ".webp"},
    };
    return kTable[static_cast<int>(kind)];
}

bool OutputKindFromName(std::string_view name, OutputKind& kind) {
    if (!name.empty() && name.front() == '.') name.remove_prefix(1);
    std::string lower(name);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static const std::pair<const char*, OutputKind> kNames[] = {
        {"png", OutputKind::Png}, {"bmp", OutputKind::Bmp}, {"jp2", OutputKind::Jp2}, {"jxr", OutputKind::Jxr},
        {"j2k", OutputKind::J2k}, {"tif", OutputKind::Tif}, {"tiff", OutputKind::Tif}, {"webp", OutputKind::Webp},
    };
    for (const auto& [n, k] : kNames)
        if (lower == n) {
            kind = k;
            return true;
        }
    return false;
}

LoadRule LoadRuleForPath(std::string_view path) {
    const std::string_view last = path.size() >= 4 ? path.substr(path.size() - 4) : path;
    static const struct {
        const char* lower;
        const char* upper;
        LoadRule rule;
    } kTable[] = {
        {".png", ".PNG", {ImageFormat::Png, 0}},  {".bmp", ".BMP", {ImageFormat::Bmp, 0}},
        {".jpg", ".JPG", {ImageFormat::Jpeg, JPEG_ACCURATE}}, {".jp2", ".JP2", {ImageFormat::Jp2, 0}},
        {".jxr", ".JXR", {ImageFormat::Jxr, 0}},  {".j2k", ".J2K", {ImageFormat::J2k, 0}},
        {".tif", ".TIF", {ImageFormat::Tiff, 0}}, {"tiff", "TIFF", {ImageFormat::Tiff, 0}},
        {"webp", "WEBP", {ImageFormat::Webp, 0}}, {".gif", ".GIF", {ImageFormat::Gif, 0}},
        {".psd", ".PSD", {ImageFormat::Psd, 0}},
    };
    for (const auto& row : kTable)
        if (last == row.lower || last == row.upper) return row.rule;
    return LoadRule{ImageFormat::Raw, RAW_DISPLAY};
}

bool EncryptedLoadRuleForPath(std::string_view path, LoadRule& rule) {
    static const struct {
        const char* lower;
        const char* upper;
        ImageFormat format;
    } kTable[] = {
        {".png", ".PNG", ImageFormat::Png}, {".bmp", ".BMP", ImageFormat::Bmp}, {".jp2", ".JP2", ImageFormat::Jp2},
        {".jxr", ".JXR", ImageFormat::Jxr}, {".j2k", ".J2K", ImageFormat::J2k}, {".tif", ".TIF", ImageFormat::Tiff},
        {"webp", "WEBP", ImageFormat::Webp},
    };
    for (const auto& row : kTable)
        if (EndsWith(path, row.lower) || EndsWith(path, row.upper)) {
            rule = LoadRule{row.format, 0};
            return true;
        }
    return false;
}

bool AnalysisLoadRuleForPath(std::string_view path, LoadRule& rule) {
    for (const char* ending : {".png", ".PNG", ".bmp", ".BMP", ".jpg", ".JPG"})
        if (EndsWith(path, ending)) {
            rule = LoadRuleForPath(path);
            return true;
        }
    return false;
}

FREE_IMAGE_FORMAT FifOf(ImageFormat format) {
    switch (format) {
        case ImageFormat::Png: return FIF_PNG;
        case ImageFormat::Bmp: return FIF_BMP;
        case ImageFormat::Jpeg: return FIF_JPEG;
        case ImageFormat::Jp2: return FIF_JP2;
        case ImageFormat::Jxr: return FIF_JXR;
        case ImageFormat::J2k: return FIF_J2K;
        case ImageFormat::Tiff: return FIF_TIFF;
        case ImageFormat::Webp: return FIF_WEBP;
        case ImageFormat::Gif: return FIF_GIF;
        case ImageFormat::Psd: return FIF_PSD;
        case ImageFormat::Raw: return FIF_RAW;
    }
    return FIF_UNKNOWN;
}

LoadRule LoadRuleForOutput(OutputKind kind) {
    switch (kind) {
        case OutputKind::Key:
        case OutputKind::Png: return {ImageFormat::Png, 0};
        case OutputKind::Bmp: return {ImageFormat::Bmp, 0};
        case OutputKind::Jp2: return {ImageFormat::Jp2, 0};
        case OutputKind::Jxr: return {ImageFormat::Jxr, 0};
        case OutputKind::J2k: return {ImageFormat::J2k, 0};
        case OutputKind::Tif: return {ImageFormat::Tiff, 0};
        case OutputKind::Webp: return {ImageFormat::Webp, 0};
    }
    return {};
}

const char* OutputEnding(OutputKind kind) { return SaveFormatOf(kind).ending; }

std::string FormatName(LoadRule rule) {
    switch (rule.format) {
        case ImageFormat::Png: return "PNG";
        case ImageFormat::Bmp: return "BMP";
        case ImageFormat::Jpeg: return "JPEG";
        case ImageFormat::Jp2:
        case ImageFormat::J2k: return "JPEG 2000";
        case ImageFormat::Jxr: return "JPEG XR";
        case ImageFormat::Tiff: return "TIFF";
        case ImageFormat::Webp: return "WebP";
        case ImageFormat::Gif: return "GIF";
        case ImageFormat::Psd: return "PSD";
        case ImageFormat::Raw: return "camera raw";
    }
    return "image";
}

void ReleaseImage(ImageHandle& handle) {
    if (handle) FreeImage_Unload(handle);
    handle = nullptr;
}

std::string ReadImageCommentBytes(ImageHandle handle) {
    if (!handle) return {};
    FITAG* tag = nullptr;
    if (!FreeImage_GetMetadata(FIMD_COMMENTS, handle, "Comment", &tag) || !tag) return {};
    const char* value = static_cast<const char*>(FreeImage_GetTagValue(tag));
    if (!value) return {};
    const size_t len = FreeImage_GetTagLength(tag);
    return std::string(value, strnlen(value, len));
}

std::u16string ReadImageComment(ImageHandle handle) { return AnsiToText(ReadImageCommentBytes(handle)); }

bool WriteImageComment(ImageHandle handle, std::u16string_view text) {
    if (!handle) return false;
    if (text.empty()) {
        FreeImage_SetMetadata(FIMD_COMMENTS, handle, nullptr, nullptr);
        return true;
    }
    FITAG* tag = FreeImage_CreateTag();
    if (!tag) return false;
    const std::string bytes = TextToAnsi(text);
    FreeImage_SetTagKey(tag, "Comment");
    FreeImage_SetTagID(tag, 0);
    FreeImage_SetTagType(tag, FIDT_ASCII);
    FreeImage_SetTagCount(tag, static_cast<DWORD>(bytes.size()));
    FreeImage_SetTagLength(tag, static_cast<DWORD>(bytes.size()));
    FreeImage_SetTagValue(tag, bytes.data());
    FreeImage_SetMetadata(FIMD_COMMENTS, handle, "Comment", tag);
    FreeImage_DeleteTag(tag);
    FITAG* back = nullptr;
    return FreeImage_GetMetadata(FIMD_COMMENTS, handle, "Comment", &back) && back;
}

ImageHandle RescaleImage(ImageHandle handle, int width, int height, bool releaseSource, FREE_IMAGE_FILTER filter,
                         bool force) {
    if (!handle) return handle;
    const int W = static_cast<int>(FreeImage_GetWidth(handle));
    const int H = static_cast<int>(FreeImage_GetHeight(handle));
    int nw = 0, nh = 0;
    if (width >= 1 && height < 1) {
        if (width == W && !force) return handle;
        nw = width;
        nh = static_cast<int>(Nearest(width / (static_cast<double>(W) / H)));
    } else if (width < 1 && height >= 1) {
        if (height == H && !force) return handle;
        nw = static_cast<int>(Nearest(static_cast<double>(W) / H * height));
        nh = height;
    } else if (width >= 1 && height >= 1) {
        if (!force && width == W && height == H) return handle;
        nw = width;
        nh = height;
    } else {
        return handle;
    }
    if (nw < 1 || nh < 1) return handle;
    ImageHandle scaled = FreeImage_Rescale(handle, nw, nh, filter);
    if (!scaled) return handle;
    if (releaseSource) FreeImage_Unload(handle);
    return scaled;
}

ImageHandle PreviewImage(ImageHandle handle, int n) {
    if (!handle) return nullptr;
    const bool wide = FreeImage_GetWidth(handle) >= FreeImage_GetHeight(handle);
    return wide ? RescaleImage(handle, n, 0, false, FILTER_BOX, true) : RescaleImage(handle, 0, n, false, FILTER_BOX, true);
}

PixelGrid PreviewGrid(const PixelGrid& grid, int n) {
    UniqueImage source(GridToImage(grid));
    if (!source) return {};
    ImageHandle preview = PreviewImage(source.get(), n);
    if (preview == source.get()) return grid;
    UniqueImage owned(preview);
    return ImageToGrid(owned.get());
}

PixelGrid RescaleGrid(const PixelGrid& grid, int width, int height, ResizeFilter filter) {
    UniqueImage source(GridToImage(grid));
    if (!source) return {};
    ImageHandle scaled = RescaleImage(source.get(), width, height, false,
                                      filter == ResizeFilter::Box ? FILTER_BOX : FILTER_BILINEAR, false);
    if (scaled == source.get()) return grid;
    UniqueImage owned(scaled);
    return ImageToGrid(owned.get());
}

ImageHandle TwentyFourBit(ImageHandle handle, UniqueImage& converted) {
    if (!handle || !FreeImage_HasPixels(handle)) return nullptr;
    const unsigned bpp = FreeImage_GetBPP(handle);
    if (FreeImage_GetImageType(handle) == FIT_BITMAP && (bpp == 24 || bpp == 32)) return handle;
    ImageHandle c = FreeImage_ConvertTo24Bits(handle);
    if (!c) {
        UniqueImage standard(FreeImage_ConvertToStandardType(handle, TRUE));
        if (standard) c = FreeImage_ConvertTo24Bits(standard.get());
    }
    converted.reset(c);
    return c;
}

void RowsToPixels(ImageHandle source, int top, int count, uint32_t* out) {
    const size_t w = FreeImage_GetWidth(source);
    const int h = static_cast<int>(FreeImage_GetHeight(source));
    const unsigned step = FreeImage_GetBPP(source) / 8;
    for (int y = top; y < top + count; ++y) {
        const BYTE* line = FreeImage_GetScanLine(source, h - 1 - y);
        uint32_t* row = out + static_cast<size_t>(y - top) * w;
        for (size_t x = 0; x < w; ++x, line += step)
            row[x] = Rgb(line[FI_RGBA_RED], line[FI_RGBA_GREEN], line[FI_RGBA_BLUE]);
    }
}

bool ImageToPixels(ImageHandle handle, uint32_t* out) {
    UniqueImage converted;
    ImageHandle src = TwentyFourBit(handle, converted);
    if (!src) return false;
    RowsToPixels(src, 0, static_cast<int>(FreeImage_GetHeight(src)), out);
    return true;
}

PixelGrid ImageToGrid(ImageHandle handle) {
    if (!handle || !FreeImage_HasPixels(handle)) return {};
    PixelGrid grid(static_cast<int>(FreeImage_GetWidth(handle)), static_cast<int>(FreeImage_GetHeight(handle)));
    if (!ImageToPixels(handle, grid.pixels.data())) return {};
    return grid;
}

ImageHandle GridToImage(const PixelGrid& grid, int bitsPerPixel) {
    if (grid.empty() || (bitsPerPixel != 24 && bitsPerPixel != 32)) return nullptr;
    InitialiseImageLibrary();
    ImageHandle dib = FreeImage_Allocate(grid.width, grid.height, bitsPerPixel, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK,
                                         FI_RGBA_BLUE_MASK);
    if (!dib) return nullptr;
    const unsigned step = static_cast<unsigned>(bitsPerPixel) / 8;
    for (int y = 0; y < grid.height; ++y) {
        BYTE* line = FreeImage_GetScanLine(dib, grid.height - 1 - y);
        const uint32_t* in = &grid.pixels[static_cast<size_t>(y) * grid.width];
        for (int x = 0; x < grid.width; ++x, line += step) {
            line[FI_RGBA_RED] = static_cast<BYTE>(RedOf(in[x]));
            line[FI_RGBA_GREEN] = static_cast<BYTE>(GreenOf(in[x]));
            line[FI_RGBA_BLUE] = static_cast<BYTE>(BlueOf(in[x]));
            if (step == 4) line[FI_RGBA_ALPHA] = 0;
        }
    }
    return dib;
}

namespace {

// The image library's writers ignore failed writes, and its JPEG 2000
// writer retries a short one forever. So every write is reported done: a
// failure sticks in the SafeFile (later writes cost nothing) and fails the
// save once the codec returns.
unsigned DLL_CALLCONV FileWrite(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    static_cast<SafeFile*>(handle)->Write(buffer, size_t{size} * count);
    return count;
}
unsigned DLL_CALLCONV FileRead(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    if (size == 0) return 0;
    return static_cast<unsigned>(static_cast<SafeFile*>(handle)->Read(buffer, size_t{size} * count) / size);
}
int DLL_CALLCONV FileSeek(fi_handle handle, long offset, int origin) {
    SafeFile& file = *static_cast<SafeFile*>(handle);
    int64_t base = 0;
    if (origin == SEEK_CUR) base = static_cast<int64_t>(file.Tell());
    else if (origin == SEEK_END) base = static_cast<int64_t>(file.Size());
    else if (origin != SEEK_SET) return -1;
    const int64_t target = base + offset;
    return target >= 0 && file.Seek(static_cast<uint64_t>(target)) ? 0 : -1;
}
long DLL_CALLCONV FileTell(fi_handle handle) { return static_cast<long>(static_cast<SafeFile*>(handle)->Tell()); }

}  // namespace

bool WriteImage(ImageHandle handle, OutputKind kind, SafeFile& file) {
    if (!handle) return false;
    InitialiseImageLibrary();
    const SaveFormat& f = SaveFormatOf(kind);
    if (kind == OutputKind::Jxr) return WriteJxr(handle, file) && !file.failed();
    FreeImageIO io{FileRead, FileWrite, FileSeek, FileTell};
    return FreeImage_SaveToHandle(f.fif, handle, &io, &file, f.flags) != 0 && !file.failed();
}


}  // namespace corvane
