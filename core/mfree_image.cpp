#include "core/mfree_image.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <vector>

#include "core/code_page.hpp"
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

// Little readers of the headers that the image library cannot read without
// decoding pixels.
bool ReadPrefix(const std::string& path, std::vector<uint8_t>& buf, size_t max) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    buf.resize(max);
    in.read(reinterpret_cast<char*>(buf.data()), static_cast<std::streamsize>(max));
    buf.resize(static_cast<size_t>(in.gcount()));
    return true;
}

uint32_t Be32(const uint8_t* p) { return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3]; }
uint32_t Le16(const uint8_t* p) { return uint32_t{p[0]} | (uint32_t{p[1]} << 8); }

bool J2kSize(const uint8_t* p, size_t n, uint64_t& w, uint64_t& h) {
    // SOC, then SIZ: Lsiz Rsiz Xsiz Ysiz XOsiz YOsiz.
    if (n < 4 + 2 + 2 + 16 || p[0] != 0xFF || p[1] != 0x4F || p[2] != 0xFF || p[3] != 0x51) return false;
    const uint32_t xs = Be32(p + 8), ys = Be32(p + 12), xo = Be32(p + 16), yo = Be32(p + 20);
    if (xo > xs || yo > ys) return false;
    w = xs - xo;
    h = ys - yo;
    return true;
}

// Reads up to buf.size() bytes at `offset`; buf keeps what was read.
bool ReadAt(std::ifstream& in, uint64_t offset, std::vector<uint8_t>& buf) {
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    if (!in) return false;
    in.read(reinterpret_cast<char*>(buf.data()), static_cast<std::streamsize>(buf.size()));
    buf.resize(static_cast<size_t>(in.gcount()));
    return true;
}

bool Jp2Size(const std::string& path, uint64_t& w, uint64_t& h) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return false;
    const uint64_t fileSize = static_cast<uint64_t>(in.tellg());
    // A bare codestream is read through its size segment.
    std::vector<uint8_t> b(32);
    if (!ReadAt(in, 0, b)) return false;
    if (J2kSize(b.data(), b.size(), w, h)) return true;
    // Walk the boxes, wherever they lie in the file: the header box holds the
    // image header with the size, else the codestream box gives it.
    uint64_t pos = 0;
    for (int boxes = 0; boxes < 4096 && pos + 8 <= fileSize; ++boxes) {
        b.assign(32, 0);
        if (!ReadAt(in, pos, b) || b.size() < 8) return false;
        uint64_t len = Be32(&b[0]);
        const uint32_t type = Be32(&b[4]);
        uint64_t headerLen = 8;
        if (len == 1) {
            if (b.size() < 16) return false;
            len = (uint64_t{Be32(&b[8])} << 32) | Be32(&b[12]);
            headerLen = 16;
        } else if (len == 0) {
            len = fileSize - pos;
        }
        if (len < headerLen) return false;
        if (type == 0x6A703268 /* jp2h */) {
            pos += headerLen;  // descend into the super box
            continue;
        }
        if (type == 0x69686472 /* ihdr */) {
            if (b.size() < 16) return false;
            h = Be32(&b[8]);
            w = Be32(&b[12]);
            return true;
        }
        if (type == 0x6A703263 /* jp2c */) {
            b.assign(32, 0);
            return ReadAt(in, pos + headerLen, b) && J2kSize(b.data(), b.size(), w, h);
        }
        if (len > fileSize - pos) return false;
        pos += len;
    }
    return false;
}

bool GifSize(const std::string& path, uint64_t& w, uint64_t& h) {
    std::vector<uint8_t> b;
    if (!ReadPrefix(path, b, 1 << 20)) return false;
    if (b.size() < 13 || std::memcmp(b.data(), "GIF", 3) != 0) return false;
    w = Le16(&b[6]);
    h = Le16(&b[8]);
    // The first frame may be larger than the logical screen.
    size_t pos = 13;
    if (b[10] & 0x80) pos += 3u * (1u << ((b[10] & 7) + 1));
    while (pos < b.size()) {
        if (b[pos] == 0x2C) {
            if (pos + 9 > b.size()) break;
            w = std::max<uint64_t>(w, Le16(&b[pos + 5]));
            h = std::max<uint64_t>(h, Le16(&b[pos + 7]));
            break;
        }
        if (b[pos] != 0x21 || pos + 2 > b.size()) break;
        pos += 2;
        while (pos < b.size() && b[pos] != 0) pos += 1u + b[pos];
        ++pos;
    }
    return true;
}

// The size of the image in the file, read without decoding its pixels.
bool ProbeSize(const std::string& path, LoadRule rule, uint64_t& w, uint64_t& h) {
    switch (rule.fif) {
        case FIF_JXR: {
            int iw = 0, ih = 0;
            if (!ReadJxrSize(path, iw, ih)) return false;
            w = static_cast<uint64_t>(std::max(iw, 0));
            h = static_cast<uint64_t>(std::max(ih, 0));
            return true;
        }
        case FIF_JP2:
            return Jp2Size(path, w, h);
        case FIF_J2K: {
            std::vector<uint8_t> b;
            return ReadPrefix(path, b, 64) && J2kSize(b.data(), b.size(), w, h);
        }
        case FIF_GIF:
            return GifSize(path, w, h);
        default:
            break;
    }
    if (!FreeImage_FIFSupportsNoPixels(rule.fif)) return false;
    FIBITMAP* header = FreeImage_Load(rule.fif, path.c_str(), rule.flags | FIF_LOAD_NOPIXELS);
    if (!header) return false;
    w = FreeImage_GetWidth(header);
    h = FreeImage_GetHeight(header);
    FreeImage_Unload(header);
    return true;
}

bool SizeAllowed(uint64_t w, uint64_t h) { return w >= 1 && h >= 1 && w * h <= kMaxImagePixels; }

bool IsRegularFile(const std::string& path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
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
        {".png", ".PNG", {FIF_PNG, 0}},  {".bmp", ".BMP", {FIF_BMP, 0}},
        {".jpg", ".JPG", {FIF_JPEG, JPEG_ACCURATE}}, {".jp2", ".JP2", {FIF_JP2, 0}},
        {".jxr", ".JXR", {FIF_JXR, 0}},  {".j2k", ".J2K", {FIF_J2K, 0}},
        {".tif", ".TIF", {FIF_TIFF, 0}}, {"tiff", "TIFF", {FIF_TIFF, 0}},
        {"webp", "WEBP", {FIF_WEBP, 0}}, {".gif", ".GIF", {FIF_GIF, 0}},
        {".psd", ".PSD", {FIF_PSD, 0}},
    };
    for (const auto& row : kTable)
        if (last == row.lower || last == row.upper) return row.rule;
    return LoadRule{FIF_RAW, RAW_DISPLAY};
}

bool EncryptedLoadRuleForPath(std::string_view path, LoadRule& rule) {
    static const struct {
        const char* lower;
        const char* upper;
        FREE_IMAGE_FORMAT fif;
    } kTable[] = {
        {".png", ".PNG", FIF_PNG}, {".bmp", ".BMP", FIF_BMP}, {".jp2", ".JP2", FIF_JP2}, {".jxr", ".JXR", FIF_JXR},
        {".j2k", ".J2K", FIF_J2K}, {".tif", ".TIF", FIF_TIFF}, {"webp", "WEBP", FIF_WEBP},
    };
    for (const auto& row : kTable)
        if (EndsWith(path, row.lower) || EndsWith(path, row.upper)) {
            rule = LoadRule{row.fif, 0};
            return true;
        }
    return false;
}

ImageHandle LoadImageAs(const std::string& path, LoadRule rule) {
    InitialiseImageLibrary();
    if (!IsRegularFile(path)) return nullptr;
    uint64_t w = 0, h = 0;
    if (!ProbeSize(path, rule, w, h) || !SizeAllowed(w, h)) return nullptr;
    ImageHandle dib = rule.fif == FIF_JXR ? LoadJxrFile(path) : FreeImage_Load(rule.fif, path.c_str(), rule.flags);
    if (!dib) return nullptr;
    // A file whose pixels disagree with its header is not trusted either.
    if (!SizeAllowed(FreeImage_GetWidth(dib), FreeImage_GetHeight(dib)) || !FreeImage_HasPixels(dib)) {
        FreeImage_Unload(dib);
        return nullptr;
    }
    return dib;
}

ImageHandle LoadImageByExtension(const std::string& path) { return LoadImageAs(path, LoadRuleForPath(path)); }

ImageHandle LoadKeyImage(const std::string& path) { return LoadImageAs(path, LoadRule{FIF_PNG, 0}); }

void ReleaseImage(ImageHandle& handle) {
    if (handle) FreeImage_Unload(handle);
    handle = nullptr;
}

std::u16string ReadImageComment(ImageHandle handle) {
    if (!handle) return {};
    FITAG* tag = nullptr;
    if (!FreeImage_GetMetadata(FIMD_COMMENTS, handle, "Comment", &tag) || !tag) return {};
    const char* value = static_cast<const char*>(FreeImage_GetTagValue(tag));
    if (!value) return {};
    const size_t len = FreeImage_GetTagLength(tag);
    const size_t n = strnlen(value, len);
    return AnsiToText(std::string_view(value, n));
}

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

PixelGrid ImageToGrid(ImageHandle handle) {
    if (!handle || !FreeImage_HasPixels(handle)) return {};
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(handle);
    const unsigned bpp = FreeImage_GetBPP(handle);
    UniqueImage converted;
    ImageHandle src = handle;
    if (!(type == FIT_BITMAP && (bpp == 24 || bpp == 32))) {
        ImageHandle c = FreeImage_ConvertTo24Bits(handle);
        if (!c) {
            UniqueImage standard(FreeImage_ConvertToStandardType(handle, TRUE));
            if (standard) c = FreeImage_ConvertTo24Bits(standard.get());
        }
        if (!c) return {};
        converted.reset(c);
        src = c;
    }
    const int w = static_cast<int>(FreeImage_GetWidth(src));
    const int h = static_cast<int>(FreeImage_GetHeight(src));
    const unsigned step = FreeImage_GetBPP(src) / 8;
    PixelGrid grid(w, h);
    for (int y = 0; y < h; ++y) {
        const BYTE* line = FreeImage_GetScanLine(src, h - 1 - y);
        uint32_t* out = &grid.pixels[static_cast<size_t>(y) * w];
        for (int x = 0; x < w; ++x, line += step)
            out[x] = Rgb(line[FI_RGBA_RED], line[FI_RGBA_GREEN], line[FI_RGBA_BLUE]);
    }
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

bool SaveImage(ImageHandle handle, OutputKind kind, const std::string& path) {
    if (!handle) return false;
    InitialiseImageLibrary();
    const SaveFormat& f = SaveFormatOf(kind);
    if (kind == OutputKind::Jxr) return SaveJxrFile(handle, path);
    return FreeImage_Save(f.fif, handle, path.c_str(), f.flags) != 0;
}

bool SaveGrid(const PixelGrid& grid, OutputKind kind, const std::string& path, std::u16string_view comment) {
    UniqueImage dib(GridToImage(grid, kind == OutputKind::Bmp ? 32 : 24));
    if (!dib) return false;
    if (!comment.empty() && !WriteImageComment(dib.get(), comment)) return false;
    return SaveImage(dib.get(), kind, path);
}

bool LoadGrid(const std::string& path, PixelGrid& grid) {
    UniqueImage dib(LoadImageByExtension(path));
    grid = ImageToGrid(dib.get());
    return !grid.empty();
}

bool LoadKeyGrid(const std::string& path, PixelGrid& grid, std::u16string& comment) {
    UniqueImage dib(LoadKeyImage(path));
    grid = ImageToGrid(dib.get());
    comment = ReadImageComment(dib.get());
    return !grid.empty();
}

}  // namespace corvane
