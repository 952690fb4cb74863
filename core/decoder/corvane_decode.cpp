// corvane-decode: decodes one image file for the Corvane programs, in a
// process of its own so that a damaged file can only take this process down.
// See core/decoder_protocol.hpp for what it says and hears.
#include <dlfcn.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "core/decoder_protocol.hpp"
#include "core/image_decode.hpp"
#include "core/mfree_image.hpp"
#include "core/sandbox.hpp"

// In a sanitizer build, an allocation refused by the memory limit is a null
// pointer the libraries handle, as in a plain build, not a report.
// It ends by _exit, so a leak check would find only what is still in use.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1:detect_leaks=0"; }

namespace {

using corvane::decoder::Reply;
using corvane::decoder::Stage;
using corvane::decoder::Status;
namespace protocol = corvane::decoder;

// Room for the libraries' own buffers beside the pixels: a JPEG 2000 decode
// holds four bytes per component in its tiles next to the bitmap, a
// progressive JPEG two bytes per coefficient, and a 16-bit or float image is
// converted once or twice before it is 24-bit.
constexpr uint64_t kBytesPerPixel = 48;
constexpr uint64_t kMargin = uint64_t{256} << 20;
constexpr uint64_t kHeaderBudget = uint64_t{512} << 20;

// What the process may use to decode `pixels`: counted from what was mapped
// before it confined itself (the address sanitizer's terabytes of reserved
// shadow included) and the file's own mapping.
corvane::sandbox::Limits LimitsFor(uint64_t base, uint64_t fileSize, uint64_t pixels) {
    return {base + fileSize + std::max(kHeaderBudget, pixels * kBytesPerPixel + kMargin),
            corvane::DecoderCpuSeconds(pixels), false};
}

// The libraries are readied while the process may still do so; the raw
// decoder's worker threads are not wanted, as no thread can be started.
void PrepareLibraries() {
    corvane::InitialiseImageLibrary();
    using SetThreads = void (*)(int);
    if (auto set = reinterpret_cast<SetThreads>(dlsym(RTLD_DEFAULT, "omp_set_num_threads"))) set(1);
}

[[noreturn]] void Quit(int status) { _exit(status); }

[[noreturn]] void OutOfMemory() { Quit(protocol::kExitOutOfMemory); }

bool SendAll(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = send(protocol::kChannelFd, p, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void SendReply(Stage stage, Status status, uint64_t a = 0, uint64_t b = 0) {
    const Reply reply{stage, status, static_cast<uint32_t>(a > UINT32_MAX ? UINT32_MAX : a),
                      static_cast<uint32_t>(b > UINT32_MAX ? UINT32_MAX : b)};
    if (!SendAll(&reply, sizeof reply)) Quit(1);
}

// Waits for the program's go; anything else (a closed socket) ends us.
void AwaitGo(char expected) {
    char go = 0;
    if (recv(protocol::kChannelFd, &go, 1, 0) != 1 || go != expected) Quit(0);
}

// After a failed decode: was it the memory limit?
bool MemoryShort(uint64_t width, uint64_t height) {
    void* probe = std::malloc(static_cast<size_t>(width * height * 4 + (uint64_t{64} << 20)));
    std::free(probe);
    return probe == nullptr;
}

// The header's claims against what the file can hold: the reply that refuses
// the image, or none.
bool RefusedByBudget(const uint8_t* data, size_t size, FREE_IMAGE_FORMAT fif, uint64_t width, uint64_t height) {
    if (!corvane::ImageSizeAllowed(width, height)) return SendReply(Stage::Header, Status::TooLarge, width, height), true;
    if (width * height > corvane::PixelBudget(fif, size))
        return SendReply(Stage::Header, Status::TooDense, width, height), true;
    const uint32_t scans = fif == FIF_JPEG ? corvane::JpegScanCount(data, size) : 0;
    if (scans > corvane::kMaxJpegScans) return SendReply(Stage::Header, Status::TooManyScans, scans), true;
    return false;
}

void SimulateFault(const std::string& fault, uint64_t base) {
    if (fault == protocol::kFaultCrash) raise(SIGSEGV);
    if (fault == protocol::kFaultKill) raise(SIGKILL);
    if (fault == protocol::kFaultHang)
        for (;;) pause();
    if (fault == protocol::kFaultMemory) corvane::sandbox::Lower({base, 0});
}

// Decodes, then sends the size, the comment and the rows as asked.
[[noreturn]] void DecodeAndSend(uint8_t* data, size_t size, FREE_IMAGE_FORMAT fif, int flags, uint64_t width,
                                uint64_t height) {
    corvane::UniqueImage dib(corvane::DecodeImageData(data, size, fif, flags));
    if (!dib) {
        SendReply(Stage::Decoded, MemoryShort(width, height) ? Status::OutOfMemory : Status::Damaged);
        Quit(0);
    }
    const uint64_t w = FreeImage_GetWidth(dib.get()), h = FreeImage_GetHeight(dib.get());
    if (!corvane::ImageSizeAllowed(w, h)) SendReply(Stage::Decoded, Status::TooLarge, w, h), Quit(0);
    SendReply(Stage::Decoded, Status::Ok, w, h);

    AwaitGo(protocol::kGoCopy);
    std::string comment = corvane::ReadImageCommentBytes(dib.get());
    if (comment.size() > protocol::kMaxCommentBytes) comment.resize(protocol::kMaxCommentBytes);
    // Converted a band of rows at a time into a small buffer and sent on, so
    // that neither process holds the image twice.
    corvane::UniqueImage converted;
    const corvane::ImageHandle source = corvane::TwentyFourBit(dib.get(), converted);
    if (!source) SendReply(Stage::Copied, Status::Failed), Quit(0);
    SendReply(Stage::Copied, Status::Ok, comment.size());
    if (!SendAll(comment.data(), comment.size())) Quit(1);
    const size_t rowPixels = static_cast<size_t>(w);
    const size_t band = std::max<size_t>(1, (size_t{1} << 18) / rowPixels);
    std::vector<uint32_t> rows(band * rowPixels);
    for (size_t top = 0; top < h; top += band) {
        const size_t count = std::min<size_t>(band, h - top);
        corvane::RowsToPixels(source, static_cast<int>(top), static_cast<int>(count), rows.data());
        if (!SendAll(rows.data(), count * rowPixels * sizeof(uint32_t))) Quit(1);
    }
    Quit(0);
}

}  // namespace

int main(int argc, char** argv) {
    // Nothing but our descriptors; the size of the image decides what the
    // decode may cost, and everything else is given up before a byte of it
    // is read.
    close_range(3, ~0u, 0);
    std::set_new_handler(OutOfMemory);
    if (argc < 3) Quit(2);
    const FREE_IMAGE_FORMAT fif = static_cast<FREE_IMAGE_FORMAT>(std::atoi(argv[1]));
    const int flags = std::atoi(argv[2]);
    const std::string fault = argc > 3 ? argv[3] : "";

    struct stat st {};
    if (fstat(protocol::kImageFd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 ||
        static_cast<uint64_t>(st.st_size) > UINT32_MAX)
        SendReply(Stage::Header, Status::NotReadable), Quit(0);
    const size_t size = static_cast<size_t>(st.st_size);
    PrepareLibraries();
    const uint64_t base = corvane::sandbox::AddressSpaceInUse();
    corvane::sandbox::Limits limits = LimitsFor(base, size, corvane::PixelBudget(fif, size));
    // The WebP decoder parses one row of macroblocks while it filters another.
    limits.threads = fif == FIF_WEBP;
    if (!corvane::sandbox::Enter(limits))
        SendReply(Stage::Header, Status::Failed), Quit(0);

    // A private, writable copy-on-write view: header fix-ups change our view
    // only, never the file.
    void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE, protocol::kImageFd, 0);
    if (mapped == MAP_FAILED) SendReply(Stage::Header, Status::NotReadable), Quit(0);
    uint8_t* data = static_cast<uint8_t*>(mapped);
    uint64_t width = 0, height = 0;
    if (!corvane::ProbeImageSize(data, size, fif, flags, width, height))
        SendReply(Stage::Header, Status::NotReadable), Quit(0);
    if (RefusedByBudget(data, size, fif, width, height)) Quit(0);
    SendReply(Stage::Header, Status::Ok, width, height);

    AwaitGo(protocol::kGoDecode);
    corvane::sandbox::Lower(LimitsFor(base, size, width * height));
    // The header needed a few pages of the file, the decode needs them all:
    // mapped in one call rather than a fault per page.
    madvise(mapped, size, MADV_POPULATE_READ);
    SimulateFault(fault, base);
    DecodeAndSend(data, size, fif, flags, width, height);
}
