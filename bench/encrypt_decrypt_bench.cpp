// Encrypting and decrypting a 2,000-character message in a 1600 x 1200 photo:
// the operation without its save, the PNG save, and decryption including
// both file loads. For comparison, the whole-process time of steghide
// embedding and extracting the same message in the same carrier as a 24-bit
// BMP (skipped when steghide is not installed).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

#include "bench_support.hpp"
#include "core/code_page.hpp"
#include "core/hidden_message.hpp"
#include "core/image_file.hpp"
#include "core/image_decoder.hpp"
#include "core/mfree_image.hpp"
#include "decrypt/decrypt_operation.hpp"
#include "encrypt/encrypt_operation.hpp"

namespace corvane {
namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 1600;
constexpr int kHeight = 1200;
const std::u16string kComment = u"<Qx7!~pL9aZ><Rb2#kT8mWq><01>";

struct Fixture {
    PixelGrid carrier = bench::MirroredPhoto("coffee.png", kWidth, kHeight);
    PixelGrid key = Key();
    std::u16string message = bench::Message2000();
    std::string folder = MakeFolder();

    static PixelGrid Key() { return bench::RandomKey(kWidth, kHeight); }
    static std::string MakeFolder() { return bench::MakeTempFolder(); }
    ~Fixture() {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    EncryptInputs Inputs() const {
        EncryptInputs in;
        in.message = message;
        in.imagePath = folder + "/carrier.png";
        in.keyPath = folder + "/key.png";
        in.keyComment = kComment;
        KeyParams p;
        KeyParameters(kComment, p);
        in.keySeed = p.seed;
        return in;
    }
};

Fixture& Shared() {
    static Fixture f;
    return f;
}

// Everything but the file: both save locations are files, not folders, so
// the save gives up before any encoding.
void BM_EncryptWithoutSave(benchmark::State& state) {
    Fixture& f = Shared();
    EncryptInputs in = f.Inputs();
    in.root = f.folder + "/no-root";
    in.fallbackRoot = f.folder + "/no-fallback";
    std::ofstream(in.root) << "x";
    std::ofstream(in.fallbackRoot) << "x";
    EmbeddingSteps steps;
    EncryptReporter quiet;
    SequenceRandom rng;
    int adjustments = 0;
    for (auto _ : state) {
        state.PauseTiming();
        PixelGrid carrier = f.carrier;
        state.ResumeTiming();
        const EncryptResult r = EncryptImage(carrier, f.key, in, steps, quiet, rng);
        if (r.status != EncryptStatus::NotSaved) state.SkipWithError("the encryption itself failed");
        adjustments = r.adjustments;
    }
    state.counters["adjustments"] = adjustments;
}
BENCHMARK(BM_EncryptWithoutSave)->Unit(benchmark::kMillisecond)->UseRealTime();

PixelGrid EncryptedGrid() {
    Fixture& f = Shared();
    EncryptInputs in = f.Inputs();
    in.outputPath = f.folder + "/encrypted.png";
    EmbeddingSteps steps;
    EncryptReporter quiet;
    SequenceRandom rng;
    PixelGrid carrier = f.carrier;
    if (!fs::exists(in.outputPath)) EncryptImage(carrier, f.key, in, steps, quiet, rng);
    PixelGrid out;
    LoadGrid(in.outputPath, out);
    return out;
}

void BM_SavePng(benchmark::State& state) {
    Fixture& f = Shared();
    const PixelGrid encrypted = EncryptedGrid();
    const std::string path = f.folder + "/save-bench.png";
    for (auto _ : state) {
        if (SaveGridFile(encrypted, OutputKind::Png, path) != SaveStatus::Saved) state.SkipWithError("save failed");
        state.PauseTiming();
        std::remove(path.c_str());
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SavePng)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DecryptWithLoads(benchmark::State& state) {
    Fixture& f = Shared();
    EncryptedGrid();
    const std::string imagePath = f.folder + "/encrypted.png";
    const std::string keyPath = f.folder + "/key-bench.png";
    if (!fs::exists(keyPath)) {
        SaveOptions options;
        options.comment = kComment;
        SaveGridFile(f.key, OutputKind::Key, keyPath, options);
    }
    DecryptReporter quiet;
    SequenceRandom rng;
    for (auto _ : state) {
        LoadRule rule{};
        EncryptedLoadRuleForPath(imagePath, rule);
        PixelGrid image;
        LoadGridAs(imagePath, rule, image);
        PixelGrid key;
        DecryptInputs in;
        LoadKeyGrid(keyPath, key, in.keyComment);
        KeyParams p;
        KeyParameters(in.keyComment, p);
        in.imagePath = imagePath;
        in.keyPath = keyPath;
        in.keySeed = p.seed;
        const DecryptResult r = DecryptImage(image, key, in, quiet, rng);
        if (r.status != DecryptStatus::Found || !r.verified || r.message != f.message)
            state.SkipWithError("message not read back");
    }
}
BENCHMARK(BM_DecryptWithLoads)->Unit(benchmark::kMillisecond)->UseRealTime();

bool HaveSteghide() { return std::system("command -v steghide >/dev/null 2>&1") == 0; }

// The carrier as a 24-bit BMP and the message as UTF-8, for steghide.
void SteghideInputs(const Fixture& f, std::string& cover, std::string& secret) {
    cover = f.folder + "/cover.bmp";
    secret = f.folder + "/secret.txt";
    if (!fs::exists(cover)) {
        UniqueImage dib(GridToImage(f.carrier, 24));
        FreeImage_Save(FIF_BMP, dib.get(), cover.c_str(), BMP_DEFAULT);
    }
    if (!fs::exists(secret)) std::ofstream(secret, std::ios::binary) << TextToUtf8(f.message);
}

void BM_SteghideEmbed(benchmark::State& state) {
    if (!HaveSteghide()) {
        state.SkipWithError("steghide is not installed");
        return;
    }
    Fixture& f = Shared();
    std::string cover, secret;
    SteghideInputs(f, cover, secret);
    const std::string command = "steghide embed -q -f -p corvane -cf '" + cover + "' -ef '" + secret + "' -sf '" +
                                f.folder + "/stego.bmp'";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError("steghide embed failed");
}
BENCHMARK(BM_SteghideEmbed)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_SteghideExtract(benchmark::State& state) {
    if (!HaveSteghide()) {
        state.SkipWithError("steghide is not installed");
        return;
    }
    Fixture& f = Shared();
    std::string cover, secret;
    SteghideInputs(f, cover, secret);
    const std::string stego = f.folder + "/stego.bmp";
    if (std::system(("steghide embed -q -f -p corvane -cf '" + cover + "' -ef '" + secret + "' -sf '" + stego + "'")
                        .c_str()) != 0) {
        state.SkipWithError("steghide embed failed");
        return;
    }
    const std::string command =
        "steghide extract -q -f -p corvane -sf '" + stego + "' -xf '" + f.folder + "/extracted.txt'";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError("steghide extract failed");
}
BENCHMARK(BM_SteghideExtract)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
}  // namespace corvane
