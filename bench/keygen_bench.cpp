// One 1600 x 1200 key per source, the whole run as the window makes it
// (pixels, comment, PNG save, preview), beside the parts it is made of: the
// PNG save alone is the floor no source can go below.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "core/image_file.hpp"
#include "core/image_decoder.hpp"
#include "core/platform.hpp"
#include "keygen/isaac.hpp"
#include "keygen/key_generation.hpp"

namespace corvane {
namespace {

class BenchFolder {
public:
    BenchFolder() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "corvane-bench-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("cannot make a temporary folder");
        path_ = tmpl;
    }
    ~BenchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

struct WindowLikeReporter : KeyGenerationReporter {
    bool preview;
    explicit WindowLikeReporter(bool p) : preview(p) {}
    bool WantsPreview() const override { return preview; }
    void Preview(const PixelGrid& g) override { benchmark::DoNotOptimize(g.pixels.data()); }
};

// range(0): source index; range(1): 1 with the preview a window shows.
void BM_KeyRun(benchmark::State& state) {
    BenchFolder folder;
    KeyGeneratorState keygen;
    SequenceRandom rng;
    PrepareKeyGenerator(keygen, rng);
    KeyGenerationInputs inputs;
    inputs.source = static_cast<KeySource>(state.range(0));
    inputs.naming = KeyNaming::Number;
    inputs.seriesName = u"bench";
    inputs.root = folder.path();
    inputs.fallbackRoot = folder.path() + "/fallback";
    WindowLikeReporter reporter(state.range(1) != 0);
    const std::string key = folder.path() + "/Keys/bench/00001.png";
    for (auto _ : state) {
        const KeyGenerationResult r = GenerateKeys(inputs, keygen, rng, reporter);
        if (!r.completed) {
            state.SkipWithError("the run did not complete");
            break;
        }
        state.PauseTiming();
        std::filesystem::remove(key);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_KeyRun)
    ->ArgNames({"source", "preview"})
    ->ArgsProduct({{0, 1, 2, 3, 4}, {1}})
    ->Args({0, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The pixels alone, per source.
void BM_KeyPixels(benchmark::State& state) {
    KeyGeneratorState keygen;
    SequenceRandom rng;
    PixelGrid grid(1600, 1200);
    std::optional<SystemRandom> system;
    std::optional<CISAAC> isaac;
    const auto source = static_cast<KeySource>(state.range(0));
    if (source == KeySource::RtlGenRandom || source == KeySource::CryptGenRandom) system.emplace();
    if (source == KeySource::Isaac) isaac.emplace(rng);
    for (auto _ : state) {
        switch (source) {
            case KeySource::MersenneTwister:
                FillKeyGrid(grid, rng, [&] { return keygen.mt.genrand_int32() & 0xFFFFFFu; });
                break;
            case KeySource::RtlGenRandom:
            case KeySource::CryptGenRandom:
                FillKeyGrid(grid, rng, [&] { return system->Next() & 0xFFFFFFu; });
                break;
            case KeySource::Rnd:
                FillKeyGrid(grid, rng, [&] { return RndPixel(rng); });
                break;
            case KeySource::Isaac:
                FillKeyGrid(grid, rng, [&] { return static_cast<uint32_t>(isaac->RndLong()) & 0xFFFFFFu; });
                break;
        }
        benchmark::DoNotOptimize(grid.pixels.data());
    }
}
BENCHMARK(BM_KeyPixels)->ArgName("source")->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

// Saving 1600 x 1200 random pixels as a key file (5.76 MB of pixels that do
// not compress): temporary file, PNG at the key's compression, sync, rename.
void BM_KeySaveFloor(benchmark::State& state) {
    BenchFolder folder;
    KeyGeneratorState keygen;
    SequenceRandom rng;
    PixelGrid grid(1600, 1200);
    FillKeyGrid(grid, rng, [&] { return keygen.mt.genrand_int32() & 0xFFFFFFu; });
    const std::u16string comment = MakeKeyComment(keygen.mt, rng);
    const std::string path = folder.path() + "/00001.png";
    for (auto _ : state) {
        if (SaveGridFile(grid, OutputKind::Key, path, SaveOptions{comment, false, FileAccess::Private}) != SaveStatus::Saved) {
            state.SkipWithError("save failed");
            break;
        }
        state.PauseTiming();
        std::filesystem::remove(path);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_KeySaveFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same PNG written without the temporary name and sync.
void BM_KeyPngOnly(benchmark::State& state) {
    BenchFolder folder;
    KeyGeneratorState keygen;
    SequenceRandom rng;
    PixelGrid grid(1600, 1200);
    FillKeyGrid(grid, rng, [&] { return keygen.mt.genrand_int32() & 0xFFFFFFu; });
    const std::u16string comment = MakeKeyComment(keygen.mt, rng);
    const std::string path = folder.path() + "/plain.png";
    for (auto _ : state) {
        if (!SaveGrid(grid, OutputKind::Key, path, comment)) {
            state.SkipWithError("save failed");
            break;
        }
    }
}
BENCHMARK(BM_KeyPngOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

// The preview a window shows of each key.
void BM_KeyPreview(benchmark::State& state) {
    KeyGeneratorState keygen;
    SequenceRandom rng;
    PixelGrid grid(1600, 1200);
    FillKeyGrid(grid, rng, [&] { return keygen.mt.genrand_int32() & 0xFFFFFFu; });
    for (auto _ : state) benchmark::DoNotOptimize(PreviewGrid(grid, 500).pixels.data());
}
BENCHMARK(BM_KeyPreview)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane
