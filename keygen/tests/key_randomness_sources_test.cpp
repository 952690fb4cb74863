#include <gtest/gtest.h>

#include "core/key_randomness.hpp"
#include "core/image_decoder.hpp"
#include "keygen/key_generation.hpp"
#include "test_support.hpp"

namespace corvane {
namespace {

// Each source's saved key, read back as a key is loaded, must be judged
// random, with the same margin as truly random keys.
TEST(KeyRandomnessOfSources, SavedKeysOfEverySourceLookRandom) {
    for (int s = 0; s < kKeySourceCount; ++s)
        for (const auto& [w, h] : {std::pair{u"1600", u"1200"}, {u"64", u"48"}}) {
            testing::TempFolder folder;
            KeyGenerationInputs inputs;
            inputs.root = folder / "app";
            inputs.seriesName = u"series";
            inputs.widthText = w;
            inputs.heightText = h;
            inputs.source = static_cast<KeySource>(s);
            inputs.naming = KeyNaming::Number;
            KeyGeneratorState state;
            SequenceRandom rng;
            PrepareKeyGenerator(state, rng);
            KeyGenerationReporter reporter;
            const KeyGenerationResult run = GenerateKeys(inputs, state, rng, reporter);
            ASSERT_TRUE(run.completed) << s;
            PixelGrid key;
            std::u16string comment;
            ASSERT_TRUE(LoadKeyGrid(run.savedPaths.at(0), key, comment));
            const KeyRandomness r = ExamineKeyRandomness(key);
            EXPECT_TRUE(r.looksRandom && r.judged) << "source " << s << ", width " << key.width;
            EXPECT_LT(r.worstScore, 0.6) << "source " << s << ", width " << key.width;
        }
}

// The "Rnd" source is the weak one (a 24-bit generator, rounded bytes), so
// it is tried from many states, where its short period could show.
TEST(KeyRandomnessOfSources, RndKeysLookRandomFromManySeeds) {
    for (int seed = 0; seed < 400; ++seed) {
        SequenceRandom rng;
        rng.SetState(static_cast<uint32_t>(seed) * 41893u);
        PixelGrid key(seed < 4 ? 1600 : 64, seed < 4 ? 1200 : 48);
        FillKeyGrid(key, rng, [&rng] { return RndPixel(rng); });
        const KeyRandomness r = ExamineKeyRandomness(key);
        ASSERT_TRUE(r.looksRandom) << seed;
        EXPECT_LT(r.worstScore, 0.6) << seed;
    }
}

}  // namespace
}  // namespace corvane
