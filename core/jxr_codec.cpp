#include "core/jxr_codec.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/mfree_image.hpp"

// FreeImage.h defines _WINDOWS_, which would give jxrlib's GUID a 64-bit
// first field and shift every structure we share with the library. jxrlib's
// min and max macros clash with C++.
#undef _WINDOWS_
#include <JXRGlue.h>
#undef min
#undef max
static_assert(sizeof(GUID) == 16, "jxrlib's GUID must match the library's");

// jxrlib's decoder is not safe on damaged files: it crashes in its entropy
// decoder, aborts on live assertions, leaks on its error paths and prints to
// the terminal. Decoding therefore only ever runs inside the image decoder
// process (see image_decoder.hpp); the container checks below keep it from
// the worst of it there too.

namespace corvane {
namespace {

// The file's bytes, changed in place where the container needs it.
struct Bytes {
    uint8_t* data;
    size_t length;
    size_t size() const { return length; }
    uint8_t& operator[](size_t at) const { return data[at]; }
};

uint16_t Le16(const Bytes& d, size_t at) {
    return static_cast<uint16_t>(d[at] | d[at + 1] << 8);
}
uint32_t Le32(const Bytes& d, size_t at) {
    return static_cast<uint32_t>(d[at]) | static_cast<uint32_t>(d[at + 1]) << 8 |
           static_cast<uint32_t>(d[at + 2]) << 16 | static_cast<uint32_t>(d[at + 3]) << 24;
}

// jxrlib trusts the container directory: it asserts on metadata of unexpected
// types and prints a line for every tag it does not know. We check what it
// relies on and turn every other entry into one it skips. The image data must
// lie inside the file, so a cut-off file is refused here rather than decoded
// from whatever the stream returns past its end. (jxrlib's own encoder writes
// a wrong alpha byte count, so only the alpha offset is checked.)
bool SanitiseContainer(uint8_t* data, size_t size) {
    Bytes d{data, size};
    if (d.size() < 8 || d[0] != 'I' || d[1] != 'I' || d[2] != 0xBC || d[3] > 1) return false;
    const uint64_t dirAt = Le32(d, 4);
    if (dirAt + 2 > d.size()) return false;
    const uint16_t entries = Le16(d, dirAt);
    if (entries == 0 || entries == 0xFFFF || dirAt + 2 + 12ull * entries > d.size()) return false;
    uint64_t imageAt = 0, imageBytes = 0;
    for (uint16_t i = 0; i < entries; ++i) {
        const size_t at = dirAt + 2 + 12u * i;
        const uint32_t value = Le32(d, at + 8);
        switch (Le16(d, at)) {
            case WMP_tagPixelFormat:
                if (uint64_t{value} + 16 > d.size()) return false;
                break;
            case WMP_tagTransformation:
                if (value >= O_MAX) return false;
                break;
            case WMP_tagImageOffset: imageAt = value; break;
            case WMP_tagImageByteCount: imageBytes = value; break;
            case WMP_tagAlphaOffset:
                if (value >= d.size()) return false;
                break;
            case WMP_tagImageWidth:
            case WMP_tagImageHeight:
            case WMP_tagWidthResolution:
            case WMP_tagHeightResolution:
            case WMP_tagAlphaByteCount:
            case WMP_tagCompression:
            case WMP_tagImageType:
            case WMP_tagImageDataDiscard:
            case WMP_tagAlphaDataDiscard:
                break;
            default:
                d[at] = WMP_tagCompression & 0xFF;
                d[at + 1] = WMP_tagCompression >> 8;
        }
    }
    return imageAt != 0 && imageBytes != 0 && imageAt + imageBytes <= d.size();
}

bool WithinLimit(int width, int height) {
    return width >= 1 && height >= 1 &&
           static_cast<uint64_t>(width) * static_cast<uint64_t>(height) <= kMaxImagePixels;
}

// Where red, green and blue sit in a pixel of the formats we unpack ourselves.
struct Layout {
    const PKPixelFormatGUID* format;
    size_t bytes, r, g, b;
};
constexpr Layout kLayouts[] = {
    {&GUID_PKPixelFormat24bppBGR, 3, 2, 1, 0},   {&GUID_PKPixelFormat24bppRGB, 3, 0, 1, 2},
    {&GUID_PKPixelFormat32bppBGR, 4, 2, 1, 0},   {&GUID_PKPixelFormat32bppBGRA, 4, 2, 1, 0},
    {&GUID_PKPixelFormat32bppPBGRA, 4, 2, 1, 0}, {&GUID_PKPixelFormat32bppRGB, 4, 0, 1, 2},
    {&GUID_PKPixelFormat32bppRGBA, 4, 0, 1, 2},  {&GUID_PKPixelFormat32bppPRGBA, 4, 0, 1, 2},
    {&GUID_PKPixelFormat8bppGray, 1, 0, 0, 0},
};
// What jxrlib's converter can turn the other formats into.
const PKPixelFormatGUID* const kConverterTargets[] = {
    &GUID_PKPixelFormat24bppRGB, &GUID_PKPixelFormat32bppRGBA, &GUID_PKPixelFormat8bppGray};

const Layout* LayoutOf(const PKPixelFormatGUID& format) {
    for (const Layout& layout : kLayouts)
        if (IsEqualGUID(format, *layout.format)) return &layout;
    return nullptr;
}

// Decodes into a new 24-bit bitmap; with `pixels` false only the size is read.
FIBITMAP* Decode(uint8_t* data, size_t size, bool pixels, I32& width, I32& height) {
    WMPStream* stream = nullptr;
    PKImageDecode* dec = nullptr;
    PKFormatConverter* converter = nullptr;
    struct Release {
        WMPStream*& stream;
        PKImageDecode*& dec;
        PKFormatConverter*& converter;
        ~Release() {
            if (converter) converter->Release(&converter);
            if (dec) dec->Release(&dec);
            else if (stream) CloseWS_Memory(&stream);
        }
    } release{stream, dec, converter};
    PKPixelFormatGUID format;
    if (Failed(CreateWS_Memory(&stream, data, size)) || Failed(PKImageDecode_Create_WMP(&dec)) ||
        Failed(dec->Initialize(dec, stream)) || Failed(dec->GetSize(dec, &width, &height)))
        return nullptr;
    if (!pixels || !WithinLimit(width, height) || Failed(dec->GetPixelFormat(dec, &format))) return nullptr;
    const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);

    PKPixelInfo info{};
    info.pGUIDPixFmt = &format;
    if (Failed(PixelFormatLookup(&info, LOOKUP_FORWARD)) || info.cbitUnit == 0) return nullptr;
    const Layout* layout = LayoutOf(format);
    if (!layout) {
        if (Failed(PKCodecFactory_CreateFormatConverter(&converter))) return nullptr;
        for (const PKPixelFormatGUID* target : kConverterTargets) {
            if (!Failed(converter->Initialize(converter, dec, nullptr, *target))) {
                layout = LayoutOf(*target);
                break;
            }
        }
        if (!layout) return nullptr;
    }
    // The converter works in place, so a row holds the wider of the two formats.
    const size_t stride = (std::max<size_t>(info.cbitUnit, 8 * layout->bytes) * w + 7) / 8;
    if (stride > UINT32_MAX) return nullptr;
    std::vector<uint8_t> rows(stride * h);
    const PKRect rect = {0, 0, width, height};
    if (Failed(converter ? converter->Copy(converter, &rect, rows.data(), static_cast<U32>(stride))
                         : dec->Copy(dec, &rect, rows.data(), static_cast<U32>(stride))))
        return nullptr;
    UniqueImage bitmap(FreeImage_Allocate(width, height, 24));
    if (!bitmap) return nullptr;
    for (size_t y = 0; y < h; ++y) {
        const uint8_t* src = rows.data() + stride * y;
        BYTE* line = FreeImage_GetScanLine(bitmap.get(), static_cast<int>(h - 1 - y));
        for (size_t x = 0; x < w; ++x, src += layout->bytes, line += 3) {
            line[FI_RGBA_BLUE] = src[layout->b];
            line[FI_RGBA_GREEN] = src[layout->g];
            line[FI_RGBA_RED] = src[layout->r];
        }
    }
    return bitmap.release();
}

// The encoder writes through this stream so that every write error is seen.
SafeFile& FileOf(WMPStream* ws) { return *static_cast<SafeFile*>(ws->state.pvObj); }
ERR SinkWrite(WMPStream* ws, const void* pv, size_t cb) {
    return FileOf(ws).Write(pv, cb) ? WMP_errSuccess : WMP_errFileIO;
}
ERR SinkRead(WMPStream* ws, void* pv, size_t cb) {
    return FileOf(ws).Read(pv, cb) == cb ? WMP_errSuccess : WMP_errFileIO;
}
ERR SinkSetPos(WMPStream* ws, size_t pos) { return FileOf(ws).Seek(pos) ? WMP_errSuccess : WMP_errFileIO; }
ERR SinkGetPos(WMPStream* ws, size_t* pos) {
    *pos = static_cast<size_t>(FileOf(ws).Tell());
    return WMP_errSuccess;
}
Bool SinkEos(WMPStream* ws) { return FileOf(ws).Tell() >= FileOf(ws).Size(); }
// The file belongs to the caller, who commits or discards it.
ERR SinkClose(WMPStream** ws) {
    *ws = nullptr;
    return WMP_errSuccess;
}

bool Encode(FIBITMAP* bitmap, SafeFile& file) {
    const int width = static_cast<int>(FreeImage_GetWidth(bitmap));
    const int height = static_cast<int>(FreeImage_GetHeight(bitmap));
    const int bytes = static_cast<int>(FreeImage_GetBPP(bitmap)) / 8;

    WMPStream sink{};
    sink.state.pvObj = &file;
    sink.Close = SinkClose;
    sink.EOS = SinkEos;
    sink.Read = SinkRead;
    sink.Write = SinkWrite;
    sink.SetPos = SinkSetPos;
    sink.GetPos = SinkGetPos;

    // Quantisation 1 with 4:4:4 colour is the codec's lossless setting.
    CWMIStrCodecParam params{};
    params.bVerbose = FALSE;
    params.cfColorFormat = YUV_444;
    params.bdBitDepth = BD_LONG;
    params.bfBitstreamFormat = FREQUENCY;
    params.bProgressiveMode = TRUE;
    params.olOverlap = OL_ONE;
    params.sbSubband = SB_ALL;
    params.uAlphaMode = 0;
    params.uiDefaultQPIndex = 1;

    PKImageEncode* encoder = nullptr;
    if (Failed(PKImageEncode_Create_WMP(&encoder))) return false;
    const float dpiX = FreeImage_GetDotsPerMeterX(bitmap) * 0.0254f;
    const float dpiY = FreeImage_GetDotsPerMeterY(bitmap) * 0.0254f;
    bool ok = !Failed(encoder->Initialize(encoder, &sink, &params, sizeof params)) &&
              !Failed(encoder->SetPixelFormat(encoder, GUID_PKPixelFormat24bppBGR)) &&
              !Failed(encoder->SetSize(encoder, width, height)) &&
              !Failed(encoder->SetResolution(encoder, dpiX > 0 ? dpiX : 96.f, dpiY > 0 ? dpiY : 96.f)) &&
              !Failed(encoder->WritePixelsBandedBegin(encoder, nullptr));
    // Bands of 16 rows, top first, repacked from the bottom-up bitmap.
    const size_t stride = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> band(stride * 16);
    for (int top = 0; ok && top < height; top += 16) {
        const int rows = std::min(16, height - top);
        for (int r = 0; r < rows; ++r) {
            const BYTE* src = FreeImage_GetScanLine(bitmap, height - 1 - top - r);
            uint8_t* dst = band.data() + r * stride;
            if (bytes == 3) {
                std::memcpy(dst, src, stride);
            } else {
                for (int x = 0; x < width; ++x, src += bytes, dst += 3) {
                    dst[0] = src[FI_RGBA_BLUE];
                    dst[1] = src[FI_RGBA_GREEN];
                    dst[2] = src[FI_RGBA_RED];
                }
            }
        }
        ok = !Failed(encoder->WritePixelsBanded(encoder, rows, band.data(), static_cast<U32>(stride),
                                                 top + rows >= height));
    }
    ok = ok && !Failed(encoder->WritePixelsBandedEnd(encoder));
    encoder->Release(&encoder);
    return ok;
}

}  // namespace

bool ReadJxrSize(uint8_t* data, size_t size, int& width, int& height) {
    if (!SanitiseContainer(data, size)) return false;
    I32 w = 0, h = 0;
    Decode(data, size, false, w, h);
    if (w < 1 || h < 1) return false;
    width = w;
    height = h;
    return true;
}

FIBITMAP* DecodeJxr(uint8_t* data, size_t size) {
    if (!SanitiseContainer(data, size)) return nullptr;
    I32 w = 0, h = 0;
    return Decode(data, size, true, w, h);
}

bool WriteJxr(FIBITMAP* bitmap, SafeFile& file) {
    if (!bitmap || FreeImage_GetImageType(bitmap) != FIT_BITMAP) return false;
    const unsigned bpp = FreeImage_GetBPP(bitmap);
    if ((bpp != 24 && bpp != 32) ||
        !WithinLimit(static_cast<int>(FreeImage_GetWidth(bitmap)), static_cast<int>(FreeImage_GetHeight(bitmap))))
        return false;
    return Encode(bitmap, file) && !file.failed();
}

}  // namespace corvane
