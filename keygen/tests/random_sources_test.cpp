#include "keygen/random_sources.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "core/code_page.hpp"
#include "core/number_format.hpp"

namespace corvane {
namespace {

// The state that makes the generator's next value exactly target / 2^24.
uint32_t StateBefore(uint32_t target) {
    const uint32_t a = 0x43FD43FDu, c = 0xC39EC3u;
    uint32_t inverse = a;  // Newton's iteration for the inverse of an odd number mod 2^32
    for (int i = 0; i < 5; ++i) inverse *= 2u - a * inverse;
    return ((target - c) * inverse) & 0xFFFFFFu;
}

TEST(RndSource, ComponentIsNearestOfTimes256OverWholePeriod) {
    // Every state of the generator, compared with the rule on the
    // floating-point value.
    SequenceRandom rng;
    uint64_t zeros = 0, full = 0;
    for (uint32_t i = 0; i < (1u << 24); ++i) {
        SequenceRandom copy = rng;
        const float value = copy.Next();
        const int64_t expected = std::min<int64_t>(255, Nearest(static_cast<double>(value) * 256.0));
        const uint32_t got = RndComponent(rng);
        ASSERT_EQ(got, static_cast<uint32_t>(expected)) << "state " << rng.State();
        zeros += got == 0;
        full += got == 255;
    }
    // 0 exactly when value x 256 <= 0.5, 255 exactly when it is above 254.5.
    EXPECT_EQ(zeros, 32769u);
    EXPECT_EQ(full, (1u << 24) - 1 - 16678912u);
}

TEST(RndSource, PixelTakesRedGreenBlueInDrawOrder) {
    for (uint32_t state : {0x000000u, 0x345678u, 0xFFFFFFu, StateBefore(0xFF8000u)}) {
        SequenceRandom rng, values;
        rng.SetState(state);
        values.SetState(state);
        uint32_t expected = 0;
        for (int shift : {0, 8, 16})
            expected |= static_cast<uint32_t>(std::min<int64_t>(255, Nearest(static_cast<double>(values.Next()) * 256.0)))
                        << shift;
        EXPECT_EQ(RndPixel(rng), expected) << state;
        EXPECT_EQ(rng.State(), values.State());
    }
}

TEST(DelimiterCharacter, CodesFrom33To255ThroughTheCodePage) {
    MersenneTwister mt, shadow;
    std::set<char16_t> seen;
    for (int i = 0; i < 100000; ++i) {
        const char16_t c = DelimiterCharacter(mt);
        uint32_t b;
        do b = shadow.genrand_int32() & 0xFFu;
        while (b < 33);
        ASSERT_EQ(c, AnsiToUnicode(static_cast<uint8_t>(b)));
        ASSERT_GT(c, u' ');
        seen.insert(c);
    }
    EXPECT_EQ(seen.size(), 223u);
    EXPECT_TRUE(seen.count(u'\u20AC'));  // byte 0x80
    EXPECT_TRUE(seen.count(u'\u00FF'));
    EXPECT_TRUE(seen.count(u'\x7F'));  // DEL is a byte from 33 up too
}

TEST(MersenneSeeding, DivisorZeroKeepsElementAndRemainderTakesTickSign) {
    KeyGeneratorState state;
    EXPECT_EQ(std::count(state.mtSeedArray.begin(), state.mtSeedArray.end(), 0), KeyGeneratorState::kSeedWords);
    std::fill(state.mtSeedArray.begin(), state.mtSeedArray.end(), 777);
    SequenceRandom rng;
    rng.SetState(StateBefore(0));  // the first divisor is nearest(0 x 10000) = 0
    SeedMersenneTwister(state, rng, [] { return -123457; });
    EXPECT_EQ(state.mtSeedArray[0], 777);
    int kept = 0;
    for (size_t i = 1; i < state.mtSeedArray.size(); ++i) {
        const int32_t e = state.mtSeedArray[i];
        if (e == 777) {
            ++kept;
            continue;
        }
        ASSERT_LE(e, 0);
        ASSERT_GT(e, -10000);
    }
    EXPECT_LT(kept, 10);

    // The twister is seeded from the whole array.
    MersenneTwister expected;
    expected.init_by_array(state.mtSeedArray.data(), KeyGeneratorState::kSeedWords);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(state.mt.genrand_int32(), expected.genrand_int32());
}

TEST(SystemRandom, EveryDrawIsFreshAcrossRefills) {
    SystemRandom source;
    const int draws = 3 * 16384 + 100;  // several refills of the buffer
    std::set<uint32_t> values;
    uint32_t all = 0, common = 0xFFFFFFFFu;
    for (int i = 0; i < draws; ++i) {
        const uint32_t v = source.Next();
        values.insert(v);
        all |= v;
        common &= v;
    }
    EXPECT_GE(values.size(), static_cast<size_t>(draws - 3));
    EXPECT_EQ(all, 0xFFFFFFFFu);
    EXPECT_EQ(common, 0u);
    SystemRandom other;
    EXPECT_FALSE(values.count(other.Next()) && values.count(other.Next()));
}

}  // namespace
}  // namespace corvane
