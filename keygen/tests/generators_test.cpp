// The two generators against the outputs their authors published.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/code_page.hpp"
#include "core/platform.hpp"
#include "keygen/isaac.hpp"
#include "keygen/mersenne_twister.hpp"

namespace corvane {
namespace {

// mt19937ar.out: init_by_array({0x123, 0x234, 0x345, 0x456}, 4), then
// genrand_int32 1000 times.
TEST(MersenneTwister, PublishedSequenceOfFourWordKey) {
    const uint32_t key[] = {0x123, 0x234, 0x345, 0x456};
    MersenneTwister mt;
    mt.init_by_array(key, 4);
    const uint32_t first[] = {1067595299u, 955945823u, 477289528u, 4107218783u, 4228976476u,
                              3344332714u, 3355579695u, 227628506u, 810200273u,  2591290167u};
    std::vector<uint32_t> out;
    for (int i = 0; i < 1000; ++i) out.push_back(mt.genrand_int32());
    for (int i = 0; i < 10; ++i) EXPECT_EQ(out[i], first[i]) << "output " << i + 1;
    const uint32_t last[] = {2643151863u, 3896204135u, 2416995901u, 1397735321u, 3460025646u};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(out[995 + i], last[i]) << "output " << 996 + i;

    // The signed form of the key takes the same words.
    const int32_t signedKey[] = {0x123, 0x234, 0x345, 0x456};
    MersenneTwister again;
    again.init_by_array(signedKey, 4);
    EXPECT_EQ(again.genrand_int32(), 1067595299u);
}

TEST(MersenneTwister, SingleSeedMatchesStandardEngine) {
    // The standard fixes the 10000th output of the default-seeded engine.
    MersenneTwister mt;
    std::mt19937 reference;
    uint32_t v = 0;
    for (int i = 0; i < 10000; ++i) {
        v = mt.genrand_int32();
        ASSERT_EQ(v, reference()) << "output " << i + 1;
    }
    EXPECT_EQ(v, 4123659995u);
}

TEST(MersenneTwister, KeyLongerThanStateAndNegativeWords) {
    // The key generator seeds from 10000 signed words; half of these have
    // the top bit set. Expected values from an independent implementation
    // of the same reference seeding.
    std::vector<int32_t> key(10000);
    for (uint32_t i = 0; i < key.size(); ++i) key[i] = static_cast<int32_t>(i * 2654435761u + 12345u);
    MersenneTwister mt;
    mt.init_by_array(key.data(), static_cast<int>(key.size()));
    EXPECT_EQ(mt.genrand_int32(), 2986680240u);
    EXPECT_EQ(mt.genrand_int32(), 3065682251u);
    EXPECT_EQ(mt.genrand_int32(), 3658303884u);
    EXPECT_EQ(mt.genrand_int32(), 3672268166u);
    for (int i = 5; i < 1000; ++i) mt.genrand_int32();
    EXPECT_EQ(mt.genrand_int32(), 2209148708u);
}

// randvect.txt: all-zero seed, initialised with the seed, then two
// generations printed in order.
const uint32_t kRandvectFirstRow[] = {0xf650e4c8, 0xe448e96d, 0x98db2fb4, 0xf5fad54f,
                                      0x433f1afb, 0xedec154a, 0xd8370487, 0x46ca4f9a};
const uint32_t kRandvectRow32[] = {0xb8f6fd4a, 0x6a158d10, 0x01913fd3, 0xaf7d1fb8,
                                   0x0b5e435f, 0x90c10757, 0x6554abda, 0x7a68710f};  // values 248-255
const uint32_t kRandvectRow33[] = {0x82ac484f, 0xd7e1c7be, 0x95c85eaa, 0x94a302f4,
                                   0x4d3cfbda, 0x786b2908, 0x1010b275, 0x82d53d12};  // values 256-263
const uint32_t kRandvectLastRow[] = {0x9d8d1908, 0x86ba527f, 0xf943f672, 0xef73fbf0,
                                     0x46d95ca5, 0xc54cd95b, 0x9d855e89, 0x4bb5af29};  // values 504-511

TEST(Isaac, PublishedVectorOfZeroSeed) {
    IsaacContext ctx;
    IsaacInitialise(ctx, true);
    IsaacGenerate(ctx);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(ctx.randrsl[i], kRandvectFirstRow[i]) << i;
        EXPECT_EQ(ctx.randrsl[248 + i], kRandvectRow32[i]) << 248 + i;
    }
    IsaacGenerate(ctx);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(ctx.randrsl[i], kRandvectRow33[i]) << 256 + i;
        EXPECT_EQ(ctx.randrsl[248 + i], kRandvectLastRow[i]) << 504 + i;
    }
}

TEST(Isaac, DrawsHandOutEachGenerationFromTheTopDown) {
    // Zero seed bytes (any number of them) give the published state. The
    // first generation is made by the initialisation itself.
    auto ctx = AllocCtx();
    const uint8_t zero[3] = {};
    iSeed(*ctx, zero, 3, 1);
    for (int i = 0; i < 256; ++i) iRandom(*ctx);
    EXPECT_EQ(iRandom(*ctx), kRandvectRow32[7]);
    EXPECT_EQ(iRandom(*ctx), kRandvectRow32[6]);
    for (int i = 2; i < 248; ++i) iRandom(*ctx);
    for (int i = 7; i >= 0; --i) EXPECT_EQ(iRandom(*ctx), kRandvectFirstRow[i]);
    EXPECT_EQ(iRandom(*ctx), kRandvectLastRow[7]);
}

TEST(Isaac, SeedBytesAreRepeatedToFillTheSeed) {
    const std::string text = "seed text of 19 ch";
    std::vector<uint8_t> cycled(1024);
    for (size_t i = 0; i < cycled.size(); ++i) cycled[i] = static_cast<uint8_t>(text[i % text.size()]);
    auto a = AllocCtx(), b = AllocCtx(), c = AllocCtx();
    iSeed(*a, reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size()), 1);
    iSeed(*b, cycled.data(), 1024, 1);
    iSeed(*c, reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size()) - 1, 1);
    bool differs = false;
    for (int i = 0; i < 600; ++i) {
        const uint32_t va = iRandom(*a);
        ASSERT_EQ(va, iRandom(*b)) << i;
        differs |= va != iRandom(*c);
    }
    EXPECT_TRUE(differs);
    // Little-endian words: the seed bytes 01 00 00 00 ... put 1 into word 0.
    IsaacContext manual;
    manual.randrsl[0] = 1;
    IsaacInitialise(manual, true);
    auto d = AllocCtx();
    uint8_t bytes[1024] = {};
    bytes[0] = 1;
    iSeed(*d, bytes, 1024, 1);
    EXPECT_EQ(iRandom(*d), manual.randrsl[255]);
}

TEST(Isaac, BytesCharactersAndBuffersComeFromTheResults) {
    auto a = AllocCtx(), b = AllocCtx();
    uint8_t buffer[10];
    iRandBuff(*a, buffer, 10);
    for (int w = 0; w < 3; ++w) {
        const uint32_t v = iRandom(*b);
        for (int k = 0; k < 4 && 4 * w + k < 10; ++k) EXPECT_EQ(buffer[4 * w + k], static_cast<uint8_t>(v >> (8 * k)));
    }
    EXPECT_EQ(iRandB(*a), static_cast<uint8_t>(iRandom(*b)));
    bool seen[256] = {};
    for (int i = 0; i < 20000; ++i) {
        const uint8_t c = iRandA(*a);
        ASSERT_GE(c, 33);
        ASSERT_LE(c, 126);
        seen[c] = true;
    }
    for (int c = 33; c <= 126; ++c) EXPECT_TRUE(seen[c]) << c;
}

TEST(CISAAC, SameSeedTextSameStreamAndCiphersUndoThemselves) {
    SequenceRandom rng;
    CISAAC a(rng), b(rng);
    ASSERT_TRUE(a.RngSeed(u"corvane \u20AC seed"));
    ASSERT_TRUE(b.RngSeed(u"corvane \u20AC seed"));
    for (int i = 0; i < 300; ++i) ASSERT_EQ(a.RndLong(), b.RndLong());

    const std::u16string pad = a.RndBuff(40);
    ASSERT_EQ(pad.size(), 40u);
    EXPECT_EQ(TextToAnsi(pad).size(), 40u);
    EXPECT_EQ(AnsiToText(TextToAnsi(pad)), pad);  // every character stands for one byte
    b.RndBuff(40);

    const std::u16string message = u"Attack at dawn \u00e9\u00e8";
    const std::u16string hidden = a.CryptBuff(message, static_cast<int32_t>(message.size()));
    EXPECT_NE(hidden, message);
    EXPECT_EQ(b.CryptBuff(hidden, static_cast<int32_t>(hidden.size())), message);
    // Never further than the text goes.
    EXPECT_EQ(a.CryptBuff(u"abc", 10).size(), 3u);
}

TEST(CISAAC, StreamUsesEachKeystreamBlockBackwards) {
    SequenceRandom rng;
    CISAAC a(rng), b(rng);
    a.RngSeed(u"stream");
    b.RngSeed(u"stream");
    auto reference = AllocCtx();
    const std::string seed = "stream";
    iSeed(*reference, reinterpret_cast<const uint8_t*>(seed.data()), 6, 1);
    uint8_t block1[1024], block2[1024];
    iRandBuff(*reference, block1, 1024);
    iRandBuff(*reference, block2, 1024);

    std::string plain(2500, '\0');
    for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<char>(i * 7 + 3);
    std::istringstream in(plain);
    std::ostringstream out;
    ASSERT_TRUE(a.CryptStream(in, out));
    const std::string cipher = out.str();
    ASSERT_EQ(cipher.size(), plain.size());
    EXPECT_EQ(static_cast<uint8_t>(cipher[0]), static_cast<uint8_t>(plain[0] ^ block1[1023]));
    EXPECT_EQ(static_cast<uint8_t>(cipher[1023]), static_cast<uint8_t>(plain[1023] ^ block1[0]));
    EXPECT_EQ(static_cast<uint8_t>(cipher[1024]), static_cast<uint8_t>(plain[1024] ^ block2[1023]));

    std::istringstream back(cipher);
    std::ostringstream restored;
    ASSERT_TRUE(b.CryptStream(back, restored));
    EXPECT_EQ(restored.str(), plain);
}

TEST(CISAAC, SeedTextLayoutAndReseedOfTheSequence) {
    SequenceRandom rng;
    rng.SetState(0x123456);
    const std::u16string text = MakeIsaacSeedText(rng, -17, 4242, 3600.25);
    // n characters 33-126, the process id, the timer in tenths (36002.5 to
    // the even 36002), the tick count.
    const std::u16string tail = u"424236002-17";
    ASSERT_GT(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    const size_t n = text.size() - tail.size();
    EXPECT_GE(n, 1u);
    EXPECT_LE(n, 64u);
    for (size_t i = 0; i < n; ++i) {
        EXPECT_GE(text[i], u'!');
        EXPECT_LE(text[i], u'~');
    }
    // The text depends on the process id, not on where the sequence was
    // (apart from its low byte, which a reseed keeps).
    SequenceRandom other;
    other.SetState(0x999956);
    EXPECT_EQ(MakeIsaacSeedText(other, -17, 4242, 3600.25), text);
    EXPECT_EQ(other.State(), rng.State());

    // A new CISAAC leaves the program's sequence where the seed text left it.
    SequenceRandom program, expected;
    program.SetState(0x777777);
    expected.SetState(0x777777);
    CISAAC isaac(program);
    MakeIsaacSeedText(expected, 0, ProcessId(), 0.0);
    EXPECT_EQ(program.State(), expected.State());
}

}  // namespace
}  // namespace corvane
