// The detectability prediction next to the encryption it must not outlast:
// a 2,000-character message in a 1600 x 1200 photo, compressed (argument 1)
// and not (argument 0). The encryption runs whole, through its save to BMP
// and the check that reads the file back.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>

#include "bench_support.hpp"
#include "core/hidden_message.hpp"
#include "encrypt/detectability.hpp"
#include "encrypt/encrypt_operation.hpp"
#include "encrypt/steganalysis.hpp"

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
};

Fixture& Shared() {
    static Fixture f;
    return f;
}

void BM_EncryptToBmp(benchmark::State& state) {
    Fixture& f = Shared();
    EncryptInputs in;
    in.message = f.message;
    in.compress = state.range(0) != 0;
    in.imagePath = f.folder + "/carrier.png";
    in.keyPath = f.folder + "/key.png";
    in.keyComment = kComment;
    KeyParams p;
    KeyParameters(kComment, p);
    in.keySeed = p.seed;
    in.outputKind = OutputKind::Bmp;
    in.outputPath = f.folder + "/encrypted.bmp";
    EmbeddingSteps steps;
    EncryptReporter quiet;
    SequenceRandom rng;
    for (auto _ : state) {
        state.PauseTiming();
        PixelGrid carrier = f.carrier;
        std::remove(in.outputPath.c_str());
        state.ResumeTiming();
        if (EncryptImage(carrier, f.key, in, steps, quiet, rng).status != EncryptStatus::Saved)
            state.SkipWithError("the encryption failed");
    }
}
BENCHMARK(BM_EncryptToBmp)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// What a window or the command pays: the carrier's estimates, the trial and
// the search for the longest "Low" message.
void BM_PredictDetectability(benchmark::State& state) {
    Fixture& f = Shared();
    DetectabilityRequest request;
    request.message = f.message;
    request.compress = state.range(0) != 0;
    request.seed = 7;
    for (auto _ : state) {
        const DetectabilityPrediction p = PredictDetectability(f.carrier, request);
        if (p.status != PredictionStatus::Done) state.SkipWithError("no prediction");
    }
}
BENCHMARK(BM_PredictDetectability)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// A window that keeps the carrier's estimates pays this as the message
// changes; corvane encrypt pays it without the search.
void BM_PredictWithCarrierEstimates(benchmark::State& state) {
    Fixture& f = Shared();
    const CarrierEstimates clean = EstimateCarrier(f.carrier);
    DetectabilityRequest request;
    request.message = f.message;
    request.seed = 7;
    request.findLongestLow = state.range(0) != 0;
    for (auto _ : state) benchmark::DoNotOptimize(PredictDetectability(f.carrier, clean, request));
}
BENCHMARK(BM_PredictWithCarrierEstimates)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

void BM_EstimateCarrier(benchmark::State& state) {
    Fixture& f = Shared();
    for (auto _ : state) benchmark::DoNotOptimize(EstimateCarrier(f.carrier));
}
BENCHMARK(BM_EstimateCarrier)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// The one pass over the image that both LSB estimates solve from.
void BM_TallyLsbs(benchmark::State& state) {
    Fixture& f = Shared();
    for (auto _ : state) benchmark::DoNotOptimize(TallyLsbs(f.carrier));
}
BENCHMARK(BM_TallyLsbs)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace
}  // namespace corvane
