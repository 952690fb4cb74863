// What decoding images in a separate process costs: a 1600 x 1200 photo and
// key loaded through the decoder process, against the same decode done in
// this process from memory (the work the decoder does) and from the path
// (the loader before the decoder process). The difference is the price of
// the isolation; the goal is at most 10 ms an image.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench_support.hpp"
#include "core/image_decode.hpp"
#include "core/image_decoder.hpp"
#include "core/image_file.hpp"
#include "core/mfree_image.hpp"
#include "core/sandbox.hpp"

namespace corvane {
namespace {

struct Files {
    std::string folder;
    std::string photo, key, tiny;
    Files() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "corvane-load-bench-XXXXXX").string();
        folder = mkdtemp(tmpl.data());
        photo = folder + "/photo.png";
        key = folder + "/key.png";
        tiny = folder + "/tiny.png";
        SaveGrid(bench::MirroredPhoto("coffee.png", 1600, 1200), OutputKind::Png, photo);
        std::mt19937 gen(1600);
        PixelGrid noise(1600, 1200);
        for (auto& p : noise.pixels) p = gen() & 0xFFFFFFu;
        SaveGrid(noise, OutputKind::Key, key, u"<Qx7!~pL9aZ><Rb2#kT8mWq><01>");
        SaveGrid(PixelGrid(1, 1), OutputKind::Png, tiny);
    }
    ~Files() { std::filesystem::remove_all(folder); }
};

Files& Shared() {
    static Files files;
    return files;
}

// The decoder's own work, in this process.
PixelGrid DecodeHere(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    fstat(fd, &st);
    const size_t size = static_cast<size_t>(st.st_size);
    void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE, fd, 0);
    close(fd);
    uint8_t* data = static_cast<uint8_t*>(mapped);
    uint64_t w = 0, h = 0;
    PixelGrid grid;
    if (ProbeImageSize(data, size, FIF_PNG, 0, w, h)) {
        UniqueImage dib(DecodeImageData(data, size, FIF_PNG, 0));
        grid = ImageToGrid(dib.get());
    }
    munmap(mapped, size);
    return grid;
}

void BM_LoadInProcess(benchmark::State& state, bool key) {
    const std::string& path = key ? Shared().key : Shared().photo;
    for (auto _ : state) {
        const PixelGrid grid = DecodeHere(path);
        if (grid.width != 1600) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(grid.pixels.data());
    }
}
BENCHMARK_CAPTURE(BM_LoadInProcess, photo, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LoadInProcess, key, true)->Unit(benchmark::kMillisecond)->UseRealTime();

// The loader as it was before the decoder process: the header read through
// the library from the path, then the whole file.
void BM_LoadInProcessFromPath(benchmark::State& state, bool key) {
    const std::string& path = key ? Shared().key : Shared().photo;
    for (auto _ : state) {
        UniqueImage header(FreeImage_Load(FIF_PNG, path.c_str(), FIF_LOAD_NOPIXELS));
        UniqueImage dib(FreeImage_Load(FIF_PNG, path.c_str(), 0));
        const PixelGrid grid = ImageToGrid(dib.get());
        if (!header || grid.width != 1600) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(grid.pixels.data());
    }
}
BENCHMARK_CAPTURE(BM_LoadInProcessFromPath, photo, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LoadInProcessFromPath, key, true)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadIsolated(benchmark::State& state, bool key) {
    const std::string& path = key ? Shared().key : Shared().photo;
    for (auto _ : state) {
        PixelGrid grid;
        std::u16string comment;
        if (!LoadGridAs(path, LoadRule{ImageFormat::Png, 0}, grid, &comment)) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(grid.pixels.data());
    }
}
BENCHMARK_CAPTURE(BM_LoadIsolated, photo, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LoadIsolated, key, true)->Unit(benchmark::kMillisecond)->UseRealTime();

// What decryption loads: an image and its key. The old loader read them one
// after the other; the decoders work side by side.
void BM_LoadPairInProcessFromPath(benchmark::State& state) {
    for (auto _ : state) {
        for (const std::string* path : {&Shared().photo, &Shared().key}) {
            UniqueImage header(FreeImage_Load(FIF_PNG, path->c_str(), FIF_LOAD_NOPIXELS));
            UniqueImage dib(FreeImage_Load(FIF_PNG, path->c_str(), 0));
            const PixelGrid grid = ImageToGrid(dib.get());
            if (!header || grid.width != 1600) state.SkipWithError("decode failed");
        }
    }
}
BENCHMARK(BM_LoadPairInProcessFromPath)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadPairIsolated(benchmark::State& state) {
    for (auto _ : state) {
        ImageReader image, key;
        image.Start(Shared().photo, LoadRule{ImageFormat::Png, 0});
        key.Start(Shared().key, LoadRule{ImageFormat::Png, 0});
        PixelGrid a, b;
        std::u16string comment;
        if (!image.WaitForHeader() || !key.WaitForHeader() || !image.StartDecode() || !key.StartDecode() ||
            !image.Decode(a) || !key.Decode(b, &comment))
            state.SkipWithError("load failed");
    }
}
BENCHMARK(BM_LoadPairIsolated)->Unit(benchmark::kMillisecond)->UseRealTime();

// Starting the decoder and its round trips alone, on a one-pixel image.
void BM_DecoderRoundTrip(benchmark::State& state) {
    for (auto _ : state) {
        PixelGrid grid;
        if (!LoadGrid(Shared().tiny, grid)) state.SkipWithError("load failed");
    }
}
BENCHMARK(BM_DecoderRoundTrip)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the decoder's confinement costs: the time a child takes to confine
// itself (timed inside the child and sent back on its descriptor 1, the one
// it may still write to).
void BM_ConfineChild(benchmark::State& state) {
    for (auto _ : state) {
        int pipeFds[2];
        if (pipe(pipeFds) != 0) state.SkipWithError("no pipe");
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(pipeFds[1], 1);
            const auto start = std::chrono::steady_clock::now();
            const bool ok = sandbox::Enter({sandbox::AddressSpaceInUse() + (uint64_t{1} << 30), 30, false});
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            _exit(ok && write(1, &seconds, sizeof seconds) == sizeof seconds ? 0 : 1);
        }
        close(pipeFds[1]);
        double seconds = 0;
        const bool got = read(pipeFds[0], &seconds, sizeof seconds) == sizeof seconds;
        close(pipeFds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("child failed");
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(BM_ConfineChild)->Unit(benchmark::kMicrosecond)->UseManualTime();

// The budget's header stage of a progressive 1600 x 1200 JPEG: the frame
// and every scan marker, read from the bytes.
void BM_ProgressiveJpegHeader(benchmark::State& state) {
    UniqueImage dib(GridToImage(bench::MirroredPhoto("coffee.png", 1600, 1200)));
    FIMEMORY* memory = FreeImage_OpenMemory();
    FreeImage_SaveToMemory(FIF_JPEG, dib.get(), memory, JPEG_PROGRESSIVE | JPEG_QUALITYGOOD);
    BYTE* bytes = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(memory, &bytes, &size);
    std::vector<uint8_t> file(bytes, bytes + size);
    FreeImage_CloseMemory(memory);
    for (auto _ : state) {
        uint64_t w = 0, h = 0;
        if (!ProbeImageSize(file.data(), file.size(), FIF_JPEG, 0, w, h) || w != 1600 ||
            JpegScanCount(file.data(), file.size()) == 0 || w * h > PixelBudget(FIF_JPEG, file.size()))
            state.SkipWithError("header not read");
    }
}
BENCHMARK(BM_ProgressiveJpegHeader)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A valid progressive 4:4:4 JPEG of 100 MP (a photo enlarged to 10000 x
// 10000, quality 92) loads: its whole-image coefficients alone take 600 MB
// in the decoder. Made once, in the temporary folder, as it takes seconds.
void BM_LoadProgressiveJpeg100MP(benchmark::State& state) {
    const std::string path = Shared().folder + "/progressive.jpg";
    {
        PixelGrid photo;
        if (!LoadGrid(std::string(CORVANE_PHOTOS_DIR) + "/coffee.png", photo)) state.SkipWithError("no photo");
        UniqueImage dib(GridToImage(RescaleGrid(photo, 10000, 10000, ResizeFilter::Bilinear)));
        if (!dib || !FreeImage_Save(FIF_JPEG, dib.get(), path.c_str(), JPEG_PROGRESSIVE | JPEG_SUBSAMPLING_444 | 92))
            state.SkipWithError("not saved");
    }
    for (auto _ : state) {
        PixelGrid grid;
        std::string error;
        if (!LoadGrid(path, grid, &error) || grid.width != 10000) state.SkipWithError(error.c_str());
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_LoadProgressiveJpeg100MP)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
}  // namespace corvane
