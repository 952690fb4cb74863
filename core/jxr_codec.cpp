#include "core/jxr_codec.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
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
// the terminal. So every decode runs in a forked child that shares nothing
// with us but a pipe: the child's output goes to /dev/null, and whatever
// happens to it, the caller gets a clean failure. The child calls only jxrlib
// and malloc, which stay usable after fork even in a threaded program.

namespace corvane {
namespace {

// The largest file we read into memory: lossless noise takes about 3.3 bytes
// a pixel, so four a pixel at the pixel limit, plus room for metadata.
constexpr uint64_t kMaxFileBytes = kMaxImagePixels * 4 + (16u << 20);

uint16_t Le16(const std::vector<uint8_t>& d, size_t at) {
    return static_cast<uint16_t>(d[at] | d[at + 1] << 8);
}
uint32_t Le32(const std::vector<uint8_t>& d, size_t at) {
    return static_cast<uint32_t>(d[at]) | static_cast<uint32_t>(d[at + 1]) << 8 |
           static_cast<uint32_t>(d[at + 2]) << 16 | static_cast<uint32_t>(d[at + 3]) << 24;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& data) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    struct stat st {};
    bool ok = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
              static_cast<uint64_t>(st.st_size) <= kMaxFileBytes;
    if (ok) {
        data.resize(static_cast<size_t>(st.st_size));
        ok = std::fread(data.data(), 1, data.size(), f) == data.size();
    }
    std::fclose(f);
    return ok;
}

// jxrlib trusts the container directory: it asserts on metadata of unexpected
// types and prints a line for every tag it does not know. We check what it
// relies on and turn every other entry into one it skips. The image data must
// lie inside the file, so a cut-off file is refused here rather than decoded
// from whatever the stream returns past its end. (jxrlib's own encoder writes
// a wrong alpha byte count, so only the alpha offset is checked.)
bool SanitiseContainer(std::vector<uint8_t>& d) {
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

// ---- in the child -------------------------------------------------------

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

bool WriteAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Sends the size, then (when `pixels`) the rows top first as B,G,R bytes.
bool Decode(std::vector<uint8_t>& data, bool pixels, int out) {
    WMPStream* stream = nullptr;
    PKImageDecode* dec = nullptr;
    I32 size[2] = {0, 0};
    PKPixelFormatGUID format;
    if (Failed(CreateWS_Memory(&stream, data.data(), data.size())) ||
        Failed(PKImageDecode_Create_WMP(&dec)) || Failed(dec->Initialize(dec, stream)) ||
        Failed(dec->GetSize(dec, &size[0], &size[1])) || !WriteAll(out, size, sizeof size))
        return false;
    if (!pixels) return true;
    // Refused here as well as by the caller, so that no pixel is decoded.
    if (!WithinLimit(size[0], size[1]) || Failed(dec->GetPixelFormat(dec, &format))) return false;
    const size_t width = static_cast<size_t>(size[0]), height = static_cast<size_t>(size[1]);

    PKPixelInfo info{};
    info.pGUIDPixFmt = &format;
    if (Failed(PixelFormatLookup(&info, LOOKUP_FORWARD)) || info.cbitUnit == 0) return false;
    const Layout* layout = LayoutOf(format);
    PKFormatConverter* converter = nullptr;
    if (!layout) {
        if (Failed(PKCodecFactory_CreateFormatConverter(&converter))) return false;
        for (const PKPixelFormatGUID* target : kConverterTargets) {
            if (!Failed(converter->Initialize(converter, dec, nullptr, *target))) {
                layout = LayoutOf(*target);
                break;
            }
        }
        if (!layout) return false;
    }
    // The converter works in place, so a row holds the wider of the two formats.
    const size_t stride = (std::max<size_t>(info.cbitUnit, 8 * layout->bytes) * width + 7) / 8;
    if (stride > UINT32_MAX) return false;
    std::vector<uint8_t> rows(stride * height);
    const PKRect rect = {0, 0, size[0], size[1]};
    if (Failed(converter ? converter->Copy(converter, &rect, rows.data(), static_cast<U32>(stride))
                         : dec->Copy(dec, &rect, rows.data(), static_cast<U32>(stride))))
        return false;
    std::vector<uint8_t> line(width * 3);
    for (size_t y = 0; y < height; ++y) {
        const uint8_t* src = rows.data() + stride * y;
        for (size_t x = 0; x < width; ++x, src += layout->bytes) {
            line[3 * x] = src[layout->b];
            line[3 * x + 1] = src[layout->g];
            line[3 * x + 2] = src[layout->r];
        }
        if (!WriteAll(out, line.data(), line.size())) return false;
    }
    return true;
}

// ---- in the caller ------------------------------------------------------

// A child decoding `data`; reads from it give up once the deadline passes.
class DecodeChild {
public:
    DecodeChild(std::vector<uint8_t>& data, bool pixels) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            // A crash ends the child quietly: no core file, no crash handler of ours.
            const rlimit noCore = {0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
            for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) signal(sig, SIG_DFL);
            _exit(Decode(data, pixels, fds[1]) ? 0 : 1);
        }
        close(fds[1]);
        if (pid_ > 0) in_ = fds[0];
        else close(fds[0]);
        deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    }
    ~DecodeChild() {
        if (in_ >= 0) close(in_);
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
    }
    DecodeChild(const DecodeChild&) = delete;
    DecodeChild& operator=(const DecodeChild&) = delete;

    void ExtendDeadline(std::chrono::seconds more) { deadline_ += more; }

    bool Read(void* buffer, size_t size) {
        char* p = static_cast<char*>(buffer);
        while (in_ >= 0 && size > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline_ - std::chrono::steady_clock::now());
            pollfd pfd = {in_, POLLIN, 0};
            const int ready = poll(&pfd, 1, static_cast<int>(std::max<int64_t>(left.count(), 0)));
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) return false;
            const ssize_t n = read(in_, p, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            p += n;
            size -= static_cast<size_t>(n);
        }
        return in_ >= 0;
    }

    // True when the child ended by itself and reported success.
    bool Succeeded() {
        if (in_ < 0) return false;
        close(in_);
        in_ = -1;
        int status = 0;
        pid_t done;
        while ((done = waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return done > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    pid_t pid_ = -1;
    int in_ = -1;
    std::chrono::steady_clock::time_point deadline_;
};

// The encoder writes through this stream so that every write error is seen.
ERR SinkWrite(WMPStream* ws, const void* pv, size_t cb) {
    return std::fwrite(pv, 1, cb, ws->state.file.pFile) == cb ? WMP_errSuccess : WMP_errFileIO;
}
ERR SinkRead(WMPStream* ws, void* pv, size_t cb) {
    return std::fread(pv, 1, cb, ws->state.file.pFile) == cb ? WMP_errSuccess : WMP_errFileIO;
}
ERR SinkSetPos(WMPStream* ws, size_t pos) {
    return fseeko(ws->state.file.pFile, static_cast<off_t>(pos), SEEK_SET) == 0 ? WMP_errSuccess
                                                                                : WMP_errFileIO;
}
ERR SinkGetPos(WMPStream* ws, size_t* pos) {
    const off_t at = ftello(ws->state.file.pFile);
    if (at < 0) return WMP_errFileIO;
    *pos = static_cast<size_t>(at);
    return WMP_errSuccess;
}
Bool SinkEos(WMPStream* ws) { return std::feof(ws->state.file.pFile) != 0; }
// The file is closed by SaveJxrFile, where the result of fclose can be checked.
ERR SinkClose(WMPStream** ws) {
    *ws = nullptr;
    return WMP_errSuccess;
}

bool Encode(FIBITMAP* bitmap, std::FILE* file) {
    const int width = static_cast<int>(FreeImage_GetWidth(bitmap));
    const int height = static_cast<int>(FreeImage_GetHeight(bitmap));
    const int bytes = static_cast<int>(FreeImage_GetBPP(bitmap)) / 8;

    WMPStream sink{};
    sink.state.file.pFile = file;
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

bool ReadJxrSize(const std::string& path, int& width, int& height) {
    std::vector<uint8_t> data;
    if (!ReadWholeFile(path, data) || !SanitiseContainer(data)) return false;
    DecodeChild child(data, false);
    I32 size[2] = {0, 0};
    if (!child.Read(size, sizeof size) || !child.Succeeded() || size[0] < 1 || size[1] < 1) return false;
    width = size[0];
    height = size[1];
    return true;
}

FIBITMAP* LoadJxrFile(const std::string& path) {
    std::vector<uint8_t> data;
    if (!ReadWholeFile(path, data) || !SanitiseContainer(data)) return nullptr;
    DecodeChild child(data, true);
    I32 size[2] = {0, 0};
    if (!child.Read(size, sizeof size) || !WithinLimit(size[0], size[1])) return nullptr;
    const int width = size[0], height = size[1];
    UniqueImage bitmap(FreeImage_Allocate(width, height, 24));
    if (!bitmap) return nullptr;
    // A second a million pixels on top of the first 30: about ten times what
    // a healthy decode takes.
    child.ExtendDeadline(std::chrono::seconds(uint64_t{1} * width * height / 1000000));
    for (int y = height - 1; y >= 0; --y)
        if (!child.Read(FreeImage_GetScanLine(bitmap.get(), y), static_cast<size_t>(width) * 3))
            return nullptr;
    return child.Succeeded() ? bitmap.release() : nullptr;
}

bool SaveJxrFile(FIBITMAP* bitmap, const std::string& path) {
    if (!bitmap || FreeImage_GetImageType(bitmap) != FIT_BITMAP) return false;
    const unsigned bpp = FreeImage_GetBPP(bitmap);
    if ((bpp != 24 && bpp != 32) ||
        !WithinLimit(static_cast<int>(FreeImage_GetWidth(bitmap)), static_cast<int>(FreeImage_GetHeight(bitmap))))
        return false;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool encoded = Encode(bitmap, file);
    const bool closed = std::fclose(file) == 0;
    if (encoded && closed) return true;
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) std::remove(path.c_str());
    return false;
}

}  // namespace corvane
