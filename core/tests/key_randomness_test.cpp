#include "core/key_randomness.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <utility>

#include "core/image_decoder.hpp"
#include "test_support.hpp"

namespace corvane {
namespace {

using testing::PhotoPath;
using testing::RandomGrid;

PixelGrid Made(int w, int h, const std::function<uint32_t(int, int)>& colour) {
    PixelGrid g(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) g.at(x, y) = colour(x, y);
    return g;
}

PixelGrid Photo(const char* name) {
    PixelGrid g;
    EXPECT_TRUE(LoadGrid(PhotoPath(name), g)) << name;
    return g;
}

TEST(KeyRandomness, RandomKeysOfEveryJudgedShapePassWithMargin) {
    // From the smallest judged key to the default, with cuts that leave odd
    // blocks and shapes narrower than a block.
    const std::pair<int, int> sizes[] = {{16, 16}, {256, 1}, {1, 256}, {64, 48},    {127, 129},
                                         {1000, 17}, {20, 3000}, {1600, 1200}, {3000, 2000}};
    uint32_t seed = 1;
    for (const auto& [w, h] : sizes)
        for (int i = 0; i < (w * h > 100000 ? 2 : 200); ++i, ++seed) {
            const KeyRandomness r = ExamineKeyRandomness(RandomGrid(w, h, seed));
            ASSERT_TRUE(r.looksRandom && r.judged) << w << " x " << h << ", seed " << seed;
            // Thousands of keys stay below 0.47: a drift towards 1 is a fault.
            EXPECT_GT(r.worstScore, 0.2) << w << " x " << h;
            EXPECT_LT(r.worstScore, 0.6) << w << " x " << h;
        }
    // The bits above blue take no part.
    PixelGrid high = RandomGrid(64, 64, 5);
    for (uint32_t& p : high.pixels) p |= 0xFF000000u;
    EXPECT_TRUE(KeyLooksRandom(high));
}

TEST(KeyRandomness, TooSmallKeysAreNotJudgedButBrokenGridsFail) {
    for (const PixelGrid& g : {PixelGrid(), PixelGrid(15, 15, 0), PixelGrid(255, 1, 0), PixelGrid(1, 255, 0)}) {
        EXPECT_TRUE(KeyLooksRandom(g)) << g.width << " x " << g.height;
        EXPECT_FALSE(ExamineKeyRandomness(g).judged);
    }
    EXPECT_FALSE(KeyLooksRandom(PixelGrid(16, 16, 0)));
    EXPECT_FALSE(KeyLooksRandom(PixelGrid(256, 1, 0)));
    PixelGrid broken = RandomGrid(64, 64, 1);
    broken.height = 65;  // the store no longer holds every pixel
    EXPECT_FALSE(KeyLooksRandom(broken));
}

TEST(KeyRandomness, ImagesWithoutRealRandomnessFail) {
    EXPECT_FALSE(KeyLooksRandom(Photo("astronaut.png")));
    const PixelGrid photo = Photo("coffee.png");
    ASSERT_FALSE(photo.empty());
    EXPECT_FALSE(KeyLooksRandom(photo));

    // Everything else is made at the photo's size.
    const int w = photo.width, h = photo.height;
    const PixelGrid noise = RandomGrid(w, h, 7);
    std::mt19937 gen(3);
    auto noisy = [&](uint32_t c, int a) {  // each channel moved by up to a, clamped
        uint32_t out = 0;
        for (int shift = 0; shift < 24; shift += 8) {
            const int v = static_cast<int>((c >> shift) & 0xFF) + static_cast<int>(gen() % (2 * a + 1)) - a;
            out |= static_cast<uint32_t>(std::clamp(v, 0, 255)) << shift;
        }
        return out;
    };
    const std::pair<const char*, std::function<uint32_t(int, int)>> cases[] = {
        {"flat", [](int, int) { return Rgb(12, 200, 77); }},
        {"ramp x mod 256", [](int x, int) { return Rgb(x & 255, x & 255, x & 255); }},
        {"colour ramps, uniform bytes", [](int x, int y) { return Rgb((x + y) & 255, (3 * x) & 255, (7 * x + 5 * y) & 255); }},
        {"gradient", [&](int x, int y) { return Rgb(x * 255 / w, y * 255 / h, (x + y) * 255 / (w + h)); }},
        {"checkerboard of pixels", [](int x, int y) { return (x + y) & 1 ? Rgb(250, 3, 9) : Rgb(10, 100, 40); }},
        {"checkerboard of squares", [](int x, int y) { return (x / 8 + y / 8) & 1 ? 0xFFFFFFu : 0u; }},
        {"stripes", [](int x, int) { return (x / 3) % 3 == 0 ? Rgb(200, 30, 30) : Rgb(30, 30, 200); }},
        {"16 x 16 random tile", [&](int x, int y) { return noise.at(x % 16, y % 16); }},
        {"64 x 64 random tile, noise above blue",
         [&](int x, int y) { return noise.at(x % 64, y % 64) | (static_cast<uint32_t>(gen()) << 24); }},
        {"random stretched to double width", [&](int x, int y) { return noise.at(x / 2, y); }},
        {"random stretched to double height, every other row one brighter",  // so that no row repeats
         [&](int x, int y) {
             const uint32_t c = noise.at(x, y / 2), up = y & 1;
             return Rgb((RedOf(c) + up) & 255, (GreenOf(c) + up) & 255, (BlueOf(c) + up) & 255);
         }},
        {"top half repeated below", [&](int x, int y) { return noise.at(x, y % (h / 2)); }},
        {"photo with noise of 8", [&](int x, int y) { return noisy(photo.at(x, y), 8); }},
        {"photo with noise of 32", [&](int x, int y) { return noisy(photo.at(x, y), 32); }},
        {"only red random over a photo", [&](int x, int y) { return (photo.at(x, y) & ~0xFFu) | RedOf(noise.at(x, y)); }},
        {"only blue random over flat", [&](int x, int y) { return noise.at(x, y) & 0xFF0000u; }},
        {"grey noise", [&](int x, int y) { return RedOf(noise.at(x, y)) * 0x010101u; }},
        {"top half random over a photo", [&](int x, int y) { return y < h / 2 ? noise.at(x, y) : photo.at(x, y); }},
        {"line drawing",
         [](int x, int y) { return (x * 7 + y * 3) % 211 == 0 || (x - 2 * y) % 97 == 0 ? Rgb(20, 20, 20) : 0xFFFFFFu; }},
    };
    for (const auto& [name, colour] : cases) EXPECT_FALSE(KeyLooksRandom(Made(w, h, colour))) << name;
}

TEST(KeyRandomness, LargeKeysAreSampledAcrossTheWholeImage) {
    // 6 megapixels: more blocks than are examined.
    PixelGrid key = RandomGrid(3000, 2000, 11);
    PixelGrid redBelow = key, bottomCopied = key;
    for (int y = 1500; y < 2000; ++y)  // too little randomness there for runs to repeat
        for (int x = 0; x < 3000; ++x) redBelow.at(x, y) &= 0xFFu;
    for (int y = 1000; y < 2000; ++y)
        for (int x = 0; x < 3000; ++x) bottomCopied.at(x, y) = key.at(x, y - 1000);
    EXPECT_TRUE(KeyLooksRandom(key));
    EXPECT_FALSE(KeyLooksRandom(redBelow));
    const KeyRandomness copied = ExamineKeyRandomness(bottomCopied);
    EXPECT_FALSE(copied.looksRandom);
    EXPECT_GT(copied.repeatedRuns, 5);  // about 22 expected
}

}  // namespace
}  // namespace corvane
