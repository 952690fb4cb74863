// The reader's whole window on a 1600 x 1200 photo: 289,200 accepted
// positions, each after its eligibility test.
#include <benchmark/benchmark.h>

#include "bench_support.hpp"
#include "core/hidden_message.hpp"

namespace corvane {
namespace {

void BM_ReadingWindow(benchmark::State& state) {
    const PixelGrid image = bench::MirroredPhoto("coffee.png", 1600, 1200);
    const int64_t window = ReadingWindowBits(image.width, image.height);
    SequenceRandom rng;
    int64_t accepted = 0, draws = 0;
    for (auto _ : state) {
        PositionSequence seq(image, 4158, rng, window);
        PositionSequence::Position p;
        int parity = 0;
        for (int64_t i = 0; i < window && seq.Next(p); ++i) parity ^= ParityBit(image.at(p.x, p.y));
        benchmark::DoNotOptimize(parity);
        accepted = seq.Accepted();
        draws = seq.Draws();
    }
    state.counters["accepted"] = static_cast<double>(accepted);
    state.counters["draws"] = static_cast<double>(draws);
}
BENCHMARK(BM_ReadingWindow)->Unit(benchmark::kMillisecond);

void BM_EligibleChannel(benchmark::State& state) {
    const PixelGrid image = bench::MirroredPhoto("coffee.png", 1600, 1200);
    for (auto _ : state) {
        int sum = 0;
        for (int y = 1; y < 1199; y += 2)
            for (int x = 1; x < 1599; x += 2) sum += EligibleChannel(image, x, y);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * 799 * 599);
}
BENCHMARK(BM_EligibleChannel)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane
