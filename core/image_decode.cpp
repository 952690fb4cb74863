#include "core/image_decode.hpp"

#include <algorithm>
#include <cstring>

#include "core/jxr_codec.hpp"

namespace corvane {
namespace {

uint32_t Be32(const uint8_t* p) { return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3]; }
uint32_t Le16(const uint8_t* p) { return uint32_t{p[0]} | (uint32_t{p[1]} << 8); }
uint32_t Le32(const uint8_t* p) { return Le16(p) | (Le16(p + 2) << 16); }
void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool J2kSize(const uint8_t* p, size_t n, uint64_t& w, uint64_t& h) {
    // SOC, then SIZ: Lsiz Rsiz Xsiz Ysiz XOsiz YOsiz.
    if (n < 4 + 2 + 2 + 16 || p[0] != 0xFF || p[1] != 0x4F || p[2] != 0xFF || p[3] != 0x51) return false;
    const uint32_t xs = Be32(p + 8), ys = Be32(p + 12), xo = Be32(p + 16), yo = Be32(p + 20);
    if (xo > xs || yo > ys) return false;
    w = xs - xo;
    h = ys - yo;
    return true;
}

bool Jp2Size(const uint8_t* data, size_t size, uint64_t& w, uint64_t& h) {
    // A bare codestream is read through its size segment.
    if (J2kSize(data, size, w, h)) return true;
    // Walk the boxes, wherever they lie in the file: the header box holds the
    // image header with the size, else the codestream box gives it.
    uint64_t pos = 0;
    for (int boxes = 0; boxes < 4096 && pos + 8 <= size; ++boxes) {
        const uint8_t* b = data + pos;
        const uint64_t left = size - pos;
        uint64_t len = Be32(b);
        const uint32_t type = Be32(b + 4);
        uint64_t headerLen = 8;
        if (len == 1) {
            if (left < 16) return false;
            len = (uint64_t{Be32(b + 8)} << 32) | Be32(b + 12);
            headerLen = 16;
        } else if (len == 0) {
            len = left;
        }
        if (len < headerLen) return false;
        if (type == 0x6A703268 /* jp2h */) {
            pos += headerLen;  // descend into the super box
            continue;
        }
        if (type == 0x69686472 /* ihdr */) {
            if (left < 16) return false;
            h = Be32(b + 8);
            w = Be32(b + 12);
            return true;
        }
        if (type == 0x6A703263 /* jp2c */) return J2kSize(b + headerLen, left - headerLen, w, h);
        if (len > left) return false;
        pos += len;
    }
    return false;
}

bool GifSize(const uint8_t* b, size_t size, uint64_t& w, uint64_t& h) {
    if (size < 13 || std::memcmp(b, "GIF", 3) != 0) return false;
    w = Le16(&b[6]);
    h = Le16(&b[8]);
    // The first frame may be larger than the logical screen.
    const size_t end = std::min<size_t>(size, size_t{1} << 20);
    size_t pos = 13;
    if (b[10] & 0x80) pos += 3u * (1u << ((b[10] & 7) + 1));
    while (pos < end) {
        if (b[pos] == 0x2C) {
            if (pos + 9 > end) break;
            w = std::max<uint64_t>(w, Le16(&b[pos + 5]));
            h = std::max<uint64_t>(h, Le16(&b[pos + 7]));
            break;
        }
        if (b[pos] != 0x21 || pos + 2 > end) break;
        pos += 2;
        while (pos < end && b[pos] != 0) pos += 1u + b[pos];
        ++pos;
    }
    return true;
}

uint32_t Be16(const uint8_t* p) { return (uint32_t{p[0]} << 8) | p[1]; }

// The frame header of a JPEG file, and for a progressive one the number of
// its scans, read from the markers alone: the library would decode every
// scan of a progressive file just to tell its size.
struct JpegFrame {
    uint64_t width = 0, height = 0;
    bool progressive = false;
    uint32_t scans = 0;
};

// The position after the entropy-coded data that starts at `pos`: the next
// marker that is neither a stuffed byte nor a restart.
size_t SkipEntropyData(const uint8_t* p, size_t n, size_t pos) {
    while (pos < n) {
        const void* ff = std::memchr(p + pos, 0xFF, n - pos);
        if (!ff) return n;
        pos = static_cast<size_t>(static_cast<const uint8_t*>(ff) - p);
        if (pos + 1 >= n) return n;
        const uint8_t next = p[pos + 1];
        if (next != 0x00 && next != 0xFF && (next < 0xD0 || next > 0xD7)) return pos;
        pos += next == 0xFF ? 1 : 2;
    }
    return n;
}

bool IsFrameMarker(uint8_t m) { return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC; }

bool ReadJpegFrame(const uint8_t* p, size_t n, JpegFrame& frame) {
    if (n < 4 || p[0] != 0xFF || p[1] != 0xD8) return false;
    bool found = false;
    size_t pos = 2;
    while (pos + 1 < n) {
        if (p[pos] != 0xFF) return found;  // garbage between segments: the decoder stops there too
        const uint8_t m = p[pos + 1];
        if (m == 0xFF) {  // fill byte
            ++pos;
            continue;
        }
        if (m == 0xD9) break;
        if (m == 0x01 || (m >= 0xD0 && m <= 0xD7)) {
            pos += 2;
            continue;
        }
        if (pos + 4 > n) break;
        const size_t length = Be16(p + pos + 2);
        if (length < 2 || pos + 2 + length > n) break;
        if (IsFrameMarker(m) && !found) {
            if (length < 8) return false;
            frame.height = Be16(p + pos + 5);
            frame.width = Be16(p + pos + 7);
            frame.progressive = m == 0xC2 || m == 0xC6 || m == 0xCA || m == 0xCE;
            found = true;
            // A sequential file's scans cost what its bytes say; only a
            // progressive one is read on to count them.
            if (!frame.progressive) return true;
        }
        pos += 2 + length;
        if (m == 0xDA) {
            if (!found) return false;
            ++frame.scans;
            pos = SkipEntropyData(p, n, pos);
        }
    }
    return found;
}

}  // namespace

// The image library reads only the 40-byte info header of Windows BMP files;
// the longer ones (52, 56, 108 and 124 bytes) that most programs write today
// begin with the same 40 bytes, keep their colour masks where the short form
// has them, and differ only in what follows. So the header is made a short one
// and the palette, if any, moved up behind it. False for an uncompressed file
// whose pixels do not fit in it (a cut file, or a tiny file claiming a huge
// image): nothing would be gained by decoding it.
bool NormaliseBmpHeader(uint8_t* d, size_t size) {
    if (size < 14 + 40 || d[0] != 'B' || d[1] != 'M') return true;
    const uint32_t offBits = Le32(d + 10);
    const uint32_t headerSize = Le32(d + 14);
    const int64_t width = static_cast<int32_t>(Le32(d + 18));
    const int64_t height = static_cast<int32_t>(Le32(d + 22));
    const uint32_t bitCount = Le16(d + 28);
    const uint32_t compression = Le32(d + 30);
    constexpr uint32_t kRgb = 0, kBitFields = 3;
    if (headerSize == 52 || headerSize == 56 || headerSize == 108 || headerSize == 124) {
        if (size < 14 + headerSize) return true;
        if (bitCount <= 8) {
            const uint32_t used = Le32(d + 46);
            const uint64_t colours = used != 0 ? std::min<uint64_t>(used, 256) : (uint64_t{1} << bitCount);
            const uint64_t from = 14 + headerSize;
            const uint64_t bytes = std::min<uint64_t>(colours * 4, size - from);
            std::memmove(d + 14 + 40, d + from, bytes);
        }
        PutLe32(d + 14, 40);
    }
    if ((compression == kRgb || compression == kBitFields) && headerSize >= 40 && width > 0 && height != 0 &&
        bitCount >= 1 && bitCount <= 32) {
        const uint64_t row = (static_cast<uint64_t>(width) * bitCount + 31) / 32 * 4;
        const uint64_t rows = static_cast<uint64_t>(height < 0 ? -height : height);
        if (row != 0 && rows > (size - std::min<uint64_t>(offBits, size)) / row) return false;
    }
    return true;
}

uint64_t PixelBudget(FREE_IMAGE_FORMAT fif, uint64_t fileSize) {
    // Pixels per byte: several times what photographs compressed hard reach
    // (a 16 MP enlargement of a photograph, ImageMagick's quality 20), and
    // well below a flat image, which the format squeezes into almost nothing.
    uint64_t perByte = 64;
    switch (fif) {
        case FIF_JPEG: perByte = 256; break;   // photographs up to 65, flat 250+
        case FIF_TIFF: perByte = 256; break;   // its JPEG compression
        case FIF_JXR: perByte = 256; break;
        case FIF_WEBP: perByte = 512; break;   // lossy photographs up to 90
        case FIF_JP2:
        case FIF_J2K: perByte = 1024; break;   // photographs up to 490, flat 17,000+
        case FIF_BMP: perByte = 128; break;    // run-length coded
        default: break;                        // PNG, GIF, PSD, raw: photographs below 2
    }
    const uint64_t claimable = fileSize > kMaxImagePixels / perByte ? kMaxImagePixels : fileSize * perByte;
    return std::min(kMaxImagePixels, std::max(kFreePixels, claimable));
}

uint32_t JpegScanCount(const uint8_t* data, size_t size) {
    JpegFrame frame;
    return ReadJpegFrame(data, size, frame) && frame.progressive ? frame.scans : 0;
}

bool ImageSizeAllowed(uint64_t w, uint64_t h) { return w >= 1 && h >= 1 && w <= kMaxImagePixels && w * h <= kMaxImagePixels; }

bool ProbeImageSize(uint8_t* data, size_t size, FREE_IMAGE_FORMAT fif, int flags, uint64_t& w, uint64_t& h) {
    InitialiseImageLibrary();
    if (size == 0 || size > UINT32_MAX) return false;
    switch (fif) {
        case FIF_JXR: {
            int iw = 0, ih = 0;
            if (!ReadJxrSize(data, size, iw, ih)) return false;
            w = static_cast<uint64_t>(std::max(iw, 0));
            h = static_cast<uint64_t>(std::max(ih, 0));
            return true;
        }
        case FIF_JP2:
            return Jp2Size(data, size, w, h);
        case FIF_J2K:
            return J2kSize(data, size, w, h);
        case FIF_GIF:
            return GifSize(data, size, w, h);
        case FIF_JPEG: {
            JpegFrame frame;
            if (!ReadJpegFrame(data, size, frame)) return false;
            w = frame.width;
            h = frame.height;
            return true;
        }
        case FIF_BMP:
            if (!NormaliseBmpHeader(data, size)) return false;
            break;
        case FIF_PNG:
            // The library refuses to read the header of a very large image,
            // which is then told apart from a damaged one.
            if (size >= 24 && std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0 && std::memcmp(data + 12, "IHDR", 4) == 0 &&
                !ImageSizeAllowed(Be32(data + 16), Be32(data + 20))) {
                w = Be32(data + 16);
                h = Be32(data + 20);
                return true;
            }
            break;
        default:
            break;
    }
    if (!FreeImage_FIFSupportsNoPixels(fif)) return false;
    FIMEMORY* memory = FreeImage_OpenMemory(data, static_cast<DWORD>(size));
    if (!memory) return false;
    UniqueImage header(FreeImage_LoadFromMemory(fif, memory, flags | FIF_LOAD_NOPIXELS));
    FreeImage_CloseMemory(memory);
    if (!header) return false;
    w = FreeImage_GetWidth(header.get());
    h = FreeImage_GetHeight(header.get());
    return true;
}

ImageHandle DecodeImageData(uint8_t* data, size_t size, FREE_IMAGE_FORMAT fif, int flags) {
    InitialiseImageLibrary();
    if (size == 0 || size > UINT32_MAX) return nullptr;
    ImageHandle dib = nullptr;
    if (fif == FIF_JXR) {
        dib = DecodeJxr(data, size);
    } else {
        FIMEMORY* memory = FreeImage_OpenMemory(data, static_cast<DWORD>(size));
        if (!memory) return nullptr;
        dib = FreeImage_LoadFromMemory(fif, memory, flags);
        FreeImage_CloseMemory(memory);
    }
    // A file whose pixels disagree with its header is not trusted either.
    if (dib && (!FreeImage_HasPixels(dib) || !ImageSizeAllowed(FreeImage_GetWidth(dib), FreeImage_GetHeight(dib))))
        ReleaseImage(dib);
    return dib;
}

}  // namespace corvane
