#include "core/hidden_message.hpp"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <random>

#include "core/image_decoder.hpp"
#include "core/number_format.hpp"
#include "core/sha256.hpp"
#include "test_support.hpp"

namespace corvane {
namespace {

using testing::PhotoPath;
using testing::RandomGrid;

// The eligibility rule written out with floating-point arithmetic exactly as
// it reads; the fast version must agree with it everywhere.
int ReferenceEligibleChannel(const PixelGrid& g, int x, int y) {
    int result = 0;
    int best = 0;
    for (int c = 0; c < 3; ++c) {
        double h[9];
        double sum = 0;
        int k = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const double v = (g.at(x + dx, y + dy) >> (8 * c)) & 0xFF;
                h[k] = std::nearbyint(v / 2);
                sum += h[k++];
            }
        const double m = std::nearbyint(sum / 9);
        double dev = 0;
        for (double hv : h) dev += std::fabs(hv - m);
        const double d = std::nearbyint(dev / 9);
        const double q = std::nearbyint(d * d);
        const int score = q <= 0 ? 0 : static_cast<int>(std::nearbyint(255 - std::log10(255 / std::sqrt(q)) * 20 * 2.5));
        if (score > 96 && score > best) {
            result = c + 1;
            best = score;
        }
    }
    return result;
}

std::u16string Comment(char16_t c5, char16_t c6) {
    std::u16string s = u"<ABC??DEFGH><IJKLMNOPQR><07>";
    s[4] = c5;
    s[5] = c6;
    return s;
}

TEST(KeyParameters, DelimitersAndSeedFromComment) {
    KeyParams p;
    ASSERT_TRUE(KeyParameters(Comment(u'!', u'~'), p));
    EXPECT_EQ(p.seed, 4158);
    EXPECT_EQ(p.flagX, 0);
    EXPECT_EQ(p.flagY, 1);
    EXPECT_EQ(p.startDelimiter, u"ABC!~DEFGH");
    // The end delimiter is taken from characters 13-22: "<" and nine of E.
    EXPECT_EQ(p.endDelimiter, u"<IJKLMNOPQ");
}

TEST(KeyParameters, CodesAreSigned16BitAndShortCommentsFail) {
    KeyParams p;
    ASSERT_TRUE(KeyParameters(Comment(u'\uFFFF', u'A'), p));
    EXPECT_EQ(p.seed, -65);
    EXPECT_EQ(p.flagX, 1);  // -65 is ...10111111 in two's complement
    EXPECT_EQ(p.flagY, 1);
    ASSERT_TRUE(KeyParameters(Comment(u'\u8000', u'\u8000'), p));
    EXPECT_EQ(p.seed, 32768 * 32768);
    ASSERT_TRUE(KeyParameters(u"<abcde", p));
    EXPECT_EQ(p.startDelimiter, u"abcde");
    EXPECT_EQ(p.endDelimiter, u"");
    EXPECT_FALSE(KeyParameters(u"<abcd", p));
}

TEST(Bits, OrderIsLeastSignificantFirst) {
    const auto bits = TextToBits(u"A");
    const std::vector<uint8_t> expect = {1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(bits, expect);
    const std::u16string text = u"\U0001F600x\uFFFF";
    auto round = TextToBits(text);
    EXPECT_EQ(BitsToText(round, round.size() + 1), text);
}

TEST(Bits, TextLengthFollowsTotalBitsAndPadsWithZeros) {
    const std::vector<uint8_t> bits = TextToBits(u"AB");
    EXPECT_EQ(BitsToText(bits, 16 * 2).size(), 1u);  // floor((32 - 1) / 16)
    EXPECT_EQ(BitsToText(bits, 100 * 100), std::u16string(u"AB") + std::u16string(622, u'\0'));
    EXPECT_TRUE(BitsToText(bits, 0).empty());
    std::vector<uint8_t> partial = {1, 1, 1};
    EXPECT_EQ(BitsToText(partial, 1000)[0], u'\u0007');
}

TEST(ReadingWindow, PassesAndCapacity) {
    EXPECT_EQ(ReadingPasses(10), 2);
    EXPECT_EQ(ReadingPasses(30), 4);
    EXPECT_EQ(ReadingPasses(1600), 240);
    EXPECT_EQ(ReadingWindowBits(1600, 1200), 289200);
    auto maxPayload = [](int w, int h) {
        return (ReadingWindowBits(w, h) - kSkippedPositions) / 16 - kContainerOverhead;
    };
    EXPECT_EQ(maxPayload(1600, 1200), 17971);
    EXPECT_EQ(maxPayload(640, 480), 2806);
    EXPECT_LT(maxPayload(100, 100), 0);
    EXPECT_TRUE(ContainerFitsWindow(17971 + kContainerOverhead, 1600, 1200));
    EXPECT_FALSE(ContainerFitsWindow(17972 + kContainerOverhead, 1600, 1200));
}

TEST(Container, UncompressedLayout) {
    std::u16string c;
    ASSERT_EQ(BuildContainer(u"hi", u"SSSSSSSSSS", u"EEEEEEEEEE", false, c), BuildStatus::Ok);
    ASSERT_EQ(c.size(), 100u);
    const std::string digest = CSHA256().SHA256(u"hi");
    EXPECT_EQ(c, u"SSSSSSSSSS00000000000000hiEEEEEEEEEE" + std::u16string(digest.begin(), digest.end()));
    // Its 1,600 bits go to accepted positions 97 to 1,696.
    EXPECT_EQ(TextToBits(c).size() + kSkippedPositions, 1696u);
}

TEST(Container, CompressedPacksBytesLowFirstAndPadsOddLength) {
    // Find messages with odd and even compressed lengths.
    bool sawOdd = false, sawEven = false;
    for (int n = 1; n < 60 && !(sawOdd && sawEven); ++n) {
        std::u16string msg;
        for (int i = 0; i < n; ++i) msg.push_back(static_cast<char16_t>(u'a' + (i * 7) % 26));
        std::u16string c;
        ASSERT_EQ(BuildContainer(msg, u"SSSSSSSSSS", u"EEEEEEEEEE", true, c), BuildStatus::Ok);
        EXPECT_EQ(c.substr(10, 7), FormatNumber(2.0 * n, "0000000"));
        int64_t b = std::stoll(std::string(c.begin() + 17, c.begin() + 24));
        const size_t payload = c.size() - kContainerOverhead;
        EXPECT_EQ(payload, static_cast<size_t>((b + 1) / 2));
        // The payload holds what zlib makes of the UTF-16LE bytes.
        std::vector<Bytef> src;
        for (char16_t ch : msg) {
            src.push_back(static_cast<Bytef>(ch & 0xFF));
            src.push_back(static_cast<Bytef>(ch >> 8));
        }
        std::vector<Bytef> z(compressBound(src.size()));
        uLongf zl = z.size();
        ASSERT_EQ(compress(z.data(), &zl, src.data(), src.size()), Z_OK);
        ASSERT_EQ(static_cast<int64_t>(zl), b);
        for (int64_t i = 0; i < b; ++i) EXPECT_EQ((c[24 + i / 2] >> (8 * (i % 2))) & 0xFF, z[i]);
        if (b % 2) {
            sawOdd = true;
            EXPECT_EQ(c[24 + payload - 1] >> 8, 0);
        } else {
            sawEven = true;
        }
        const ParsedContainer p = ParseContainer(u"xxxxxx" + c, u"SSSSSSSSSS", u"EEEEEEEEEE");
        ASSERT_EQ(p.status, ParseStatus::Found);
        EXPECT_EQ(p.message, msg);
        EXPECT_TRUE(p.compressed);
    }
    EXPECT_TRUE(sawOdd);
    EXPECT_TRUE(sawEven);
}

TEST(ParseContainer, FindsMessageDigestAndPositions) {
    std::u16string c;
    const std::u16string msg = u"Gr\u00FC\u00DFe \U0001F600";
    ASSERT_EQ(BuildContainer(msg, u"0123456789", u"<abcdefghi", false, c), BuildStatus::Ok);
    const std::u16string text = u"noise!" + c + std::u16string(40, u'\0');
    const ParsedContainer p = ParseContainer(text, u"0123456789", u"<abcdefghi");
    ASSERT_EQ(p.status, ParseStatus::Found);
    EXPECT_EQ(p.start, 7u);
    EXPECT_EQ(p.message, msg);
    const std::string d = CSHA256().SHA256(msg);
    EXPECT_EQ(p.digestField, std::u16string(d.begin(), d.end()));
}

TEST(ParseContainer, RefusesWhatDoesNotFit) {
    const std::u16string s = u"SSSSSSSSSS", e = u"EEEEEEEEEE";
    auto parse = [&](const std::u16string& t) { return ParseContainer(t, s, e).status; };
    EXPECT_EQ(parse(u"nothing here"), ParseStatus::NotFound);
    EXPECT_EQ(parse(s + u"0000000000000hi" + e), ParseStatus::NotFound);         // short length field
    EXPECT_EQ(parse(s + u"00000a00000000hi" + e), ParseStatus::NotFound);        // not a number
    EXPECT_EQ(parse(s + u"0000000000000" + e), ParseStatus::NotFound);           // negative payload
    EXPECT_EQ(parse(s + u"0000000"), ParseStatus::NotFound);                     // text ends in a field
    EXPECT_EQ(parse(s + u"0000000000000hi"), ParseStatus::NotFound);             // no end delimiter
    EXPECT_EQ(parse(e + u"00000000000000hi" + s), ParseStatus::NotFound);        // end only before start
    EXPECT_EQ(parse(s + u"00000040009999hi" + e), ParseStatus::NotFound);        // B beyond the payload
    EXPECT_EQ(ParseContainer(s + u"00000000000000hi" + s, s, s).status, ParseStatus::NotFound);
    EXPECT_EQ(parse(s + u"00000040000004\u1234\u5678" + e), ParseStatus::DecompressionError);
}

TEST(ParseContainer, ShortDecompressionGivesTheBytesProduced) {
    std::u16string c;
    ASSERT_EQ(BuildContainer(u"abc", u"SSSSSSSSSS", u"EEEEEEEEEE", true, c), BuildStatus::Ok);
    c.replace(10, 7, u"0000010");  // claims 10 bytes, holds 6
    ParsedContainer p = ParseContainer(c, u"SSSSSSSSSS", u"EEEEEEEEEE");
    ASSERT_EQ(p.status, ParseStatus::Found);
    EXPECT_EQ(p.message, u"abc");
    c.replace(10, 7, u"0000004");  // room for less than zlib produces
    EXPECT_EQ(ParseContainer(c, u"SSSSSSSSSS", u"EEEEEEEEEE").status, ParseStatus::DecompressionError);
}

TEST(ParseContainer, SurvivesRandomText) {
    std::mt19937 gen(7);
    const std::u16string s = u"SSSSSSSSSS", e = u"EEEEEEEEEE";
    for (int i = 0; i < 3000; ++i) {
        std::u16string t;
        const int n = static_cast<int>(gen() % 200);
        for (int k = 0; k < n; ++k) {
            const unsigned r = gen() % 8;
            t += r == 0 ? s : r == 1 ? e : std::u16string(1, static_cast<char16_t>(r < 5 ? u'0' + gen() % 10 : gen()));
        }
        const ParsedContainer p = ParseContainer(t, s, e);
        EXPECT_LE(p.digestField.size(), 64u);
    }
}

TEST(EligibleChannel, MatchesFormulaOnRandomBlocks) {
    std::mt19937 gen(12345);
    PixelGrid g(3, 3);
    int counts[4] = {};
    for (int i = 0; i < 300000; ++i) {
        // Mostly smooth blocks, so that many sit on the threshold.
        const uint32_t base = gen() & 0xFFFFFF;
        const int spread = static_cast<int>(gen() % 12) + (i % 10 == 0 ? 200 : 0);
        for (auto& p : g.pixels) {
            uint32_t v = 0;
            for (int c = 0; c < 3; ++c) {
                int ch = static_cast<int>((base >> (8 * c)) & 0xFF) + static_cast<int>(gen() % (spread + 1)) - spread / 2;
                v |= static_cast<uint32_t>(std::clamp(ch, 0, 255)) << (8 * c);
            }
            p = v;
        }
        const int fast = EligibleChannel(g, 1, 1);
        ASSERT_EQ(fast, ReferenceEligibleChannel(g, 1, 1)) << "block " << i;
        ++counts[fast];
    }
    for (int c = 0; c < 4; ++c) EXPECT_GT(counts[c], 1000) << c;
}

TEST(EligibleChannel, FlatThresholdAndHalfRounding) {
    PixelGrid flat(3, 3, Rgb(10, 20, 30));
    EXPECT_EQ(EligibleChannel(flat, 1, 1), 0);
    // Halved green values 0 x8 and 5 once: mean 1, deviations 1 x8 + 4 = 12.
    PixelGrid g(3, 3, 0);
    g.at(1, 1) = Rgb(0, 10, 0);
    EXPECT_EQ(EligibleChannel(g, 1, 1), 2);
    // Halved 0 x8 and 2: mean 0, deviations 2: too smooth.
    g.at(1, 1) = Rgb(0, 5, 0);  // 2.5 rounds to 2
    EXPECT_EQ(EligibleChannel(g, 1, 1), 0);
    g.at(1, 1) = Rgb(0, 7, 0);  // 3.5 rounds to 4: deviations 4
    EXPECT_EQ(EligibleChannel(g, 1, 1), 0);
    g.at(0, 0) = Rgb(0, 7, 0);  // two fours: mean 1, deviations 7 + 3 + 3 = 13
    EXPECT_EQ(EligibleChannel(g, 1, 1), 2);
    // Ties keep the earlier channel.
    PixelGrid t(3, 3, 0);
    t.at(1, 1) = Rgb(40, 40, 40);
    EXPECT_EQ(EligibleChannel(t, 1, 1), 1);
    t.at(1, 1) = Rgb(40, 200, 200);
    EXPECT_EQ(EligibleChannel(t, 1, 1), 2);
}

TEST(PositionSequence, StaysOnSubGridInsideBorderWithoutRepeats) {
    const PixelGrid g = RandomGrid(61, 47, 3);
    SequenceRandom rng;
    for (int32_t seed : {4158, 4159, 4290, 4291, -65}) {
        PositionSequence seq(g, seed, rng);
        PixelGrid seen(61, 47, 0);
        PositionSequence::Position p;
        int n = 0;
        while (seq.Next(p)) {
            ASSERT_EQ(p.x & 1, seed & 1);
            ASSERT_EQ(p.y & 1, (seed & 2) ? 1 : 0);
            ASSERT_GE(p.x, 1);
            ASSERT_LE(p.x, 59);
            ASSERT_GE(p.y, 1);
            ASSERT_LE(p.y, 45);
            ASSERT_EQ(p.channel, EligibleChannel(g, p.x, p.y));
            ASSERT_EQ(seen.at(p.x, p.y), 0u);
            seen.at(p.x, p.y) = 1;
            ASSERT_TRUE(seq.IsTaken(p.x, p.y));
            ++n;
        }
        EXPECT_TRUE(seq.Exhausted());
        EXPECT_GT(n, 500);
        const auto mark = seq.MarkGrid();
        int marked = 0;
        for (int32_t m : mark) marked += m;
        EXPECT_EQ(marked, n);
    }
}

TEST(PositionSequence, FirstDrawsFollowTheGenerator) {
    const PixelGrid g = RandomGrid(100, 80, 9);
    SequenceRandom rng;
    PositionSequence seq(g, 4158, rng);
    PositionSequence::Position p;
    ASSERT_TRUE(seq.Next(p));
    // 0.598223746 and 0.274218559 are the first draws after seeding with 4158.
    const int x = 2 * static_cast<int>(std::floor(100 * 0.598223746 / 2));
    const int y = 2 * static_cast<int>(std::floor(80 * 0.274218559 / 2)) + 1;
    if (EligibleChannel(g, x, y)) {
        EXPECT_EQ(p.x, x);
        EXPECT_EQ(p.y, y);
    }
}

TEST(PositionSequence, IntegerCoordinateRuleEqualsTheFloatingPointOne) {
    // x = 2 floor(W u / 2) in double precision, u the single-precision draw.
    for (uint64_t w : {3ull, 10ull, 1599ull, 1600ull, 65535ull, 1ull << 28}) {
        SequenceRandom rng;
        for (uint32_t i = 0; i < (1u << 24); i += (w == 1600 ? 1 : 97)) {
            rng.SetState(i);
            SequenceRandom copy = rng;
            const double u = rng.Next();
            const uint64_t s = copy.NextState();
            ASSERT_EQ(static_cast<uint64_t>(std::floor(static_cast<double>(w) * u / 2)), (w * s) >> 25) << w << " " << i;
        }
    }
}

TEST(PositionSequence, ExhaustionEnds) {
    SequenceRandom rng;
    PositionSequence::Position p;
    {
        PixelGrid flat(400, 300, Rgb(128, 128, 128));
        PositionSequence seq(flat, 4158, rng);
        EXPECT_FALSE(seq.Next(p));
        EXPECT_TRUE(seq.Exhausted());
    }
    for (auto [w, h] : {std::pair{2, 2}, {1, 50}, {50, 2}, {3, 3}}) {
        PixelGrid tiny = RandomGrid(w, h, 1);
        PositionSequence seq(tiny, 4159, rng);
        int n = 0;
        while (seq.Next(p)) ++n;
        EXPECT_LE(n, 1);
        EXPECT_TRUE(seq.Exhausted());
    }
    {
        // One textured spot in a flat image: exactly its candidate is found.
        PixelGrid g(200, 200, 0);
        g.at(100, 101) = Rgb(0, 0, 255);
        PositionSequence seq(g, 4158, rng);  // x even, y odd
        ASSERT_TRUE(seq.Next(p));
        EXPECT_EQ(p.x, 100);
        EXPECT_EQ(p.y, 101);
        EXPECT_EQ(p.channel, 3);
        EXPECT_FALSE(seq.Next(p));
    }
}

// Writes the bits into carrier XOR key at the accepted positions and returns
// the stego image, with the positions used.
PixelGrid Embed(const PixelGrid& carrier, const PixelGrid& key, int32_t seed, const std::vector<uint8_t>& bits,
                std::vector<PositionSequence::Position>& used) {
    PixelGrid plane(carrier.width, carrier.height);
    for (size_t i = 0; i < plane.pixels.size(); ++i) plane.pixels[i] = carrier.pixels[i] ^ key.pixels[i];
    SequenceRandom rng;
    PositionSequence seq(carrier, seed, rng);
    PositionSequence::Position p;
    used.clear();
    for (size_t i = 0; i < kSkippedPositions + bits.size(); ++i) {
        EXPECT_TRUE(seq.Next(p));
        used.push_back(p);
        if (i < static_cast<size_t>(kSkippedPositions)) continue;
        uint32_t& v = plane.at(p.x, p.y);
        if (static_cast<uint8_t>(ParityBit(v)) != bits[i - kSkippedPositions]) v ^= ChannelBit(p.channel);
    }
    for (size_t i = 0; i < plane.pixels.size(); ++i) plane.pixels[i] ^= key.pixels[i];
    return plane;
}

// Writes a container and reads it back as the reader does, through the
// shared routines only. A flipped bit can smooth a position's block; such
// carrier pixels are pushed away by two levels and the message written again.
std::u16string RoundTrip(PixelGrid carrier, const PixelGrid& key, const std::u16string& comment,
                         const std::u16string& message, bool compress, std::u16string* digestField) {
    KeyParams kp;
    EXPECT_TRUE(KeyParameters(comment, kp));
    std::u16string container;
    EXPECT_EQ(BuildContainer(message, kp.startDelimiter, kp.endDelimiter, compress, container), BuildStatus::Ok);
    EXPECT_TRUE(ContainerFitsWindow(static_cast<int64_t>(container.size()), carrier.width, carrier.height));
    const auto bits = TextToBits(container);
    std::vector<PositionSequence::Position> used;
    PixelGrid stego;
    int bad = 1;
    for (int attempt = 0; attempt < 8 && bad > 0; ++attempt) {
        const PixelGrid original = carrier;
        stego = Embed(carrier, key, kp.seed, bits, used);
        bad = 0;
        for (const auto& p : used) {
            if (EligibleChannel(stego, p.x, p.y) != 0) continue;
            ++bad;
            uint32_t& v = carrier.at(p.x, p.y);
            uint32_t fixed = 0;
            for (int c = 0; c < 3; ++c) {
                const uint32_t ch = (v >> (8 * c)) & 0xFF;
                fixed |= (ch >= 2 ? ch - 2 : ch + 2) << (8 * c);
            }
            v = fixed;
        }
        // Only the chosen channel's lowest bit may differ from the carrier written.
        for (size_t i = 0; i < stego.pixels.size(); ++i) {
            const uint32_t diff = stego.pixels[i] ^ original.pixels[i];
            EXPECT_TRUE(diff == 0 || diff == 1 || diff == 0x100 || diff == 0x10000);
        }
    }
    EXPECT_EQ(bad, 0);

    SequenceRandom rng;
    PositionSequence reader(stego, kp.seed, rng, ReadingWindowBits(stego.width, stego.height));
    std::vector<uint8_t> read;
    PositionSequence::Position p;
    const int64_t window = ReadingWindowBits(stego.width, stego.height);
    while (static_cast<int64_t>(read.size()) < window && reader.Next(p))
        read.push_back(static_cast<uint8_t>(ParityBit(stego.at(p.x, p.y) ^ key.at(p.x, p.y))));
    const std::u16string text = BitsToText(read, static_cast<uint64_t>(stego.width) * stego.height);
    const ParsedContainer parsed = ParseContainer(text, kp.startDelimiter, kp.endDelimiter);
    EXPECT_EQ(parsed.status, ParseStatus::Found);
    EXPECT_EQ(parsed.start, 7u);
    if (digestField) *digestField = parsed.digestField;
    return parsed.message;
}

TEST(HiddenMessage, RoundTripOnPhotoCompressedAndNot) {
    PixelGrid carrier;
    ASSERT_TRUE(LoadGrid(PhotoPath("coffee.png"), carrier));
    const PixelGrid key = RandomGrid(carrier.width, carrier.height, 77);
    const std::u16string comment = u"<k\u00E9y!~\u20ACabcd><\u00FF\u00A1mnopqrs><03>";
    const std::u16string message = u"Meet at the caf\u00E9 \u2615 at noon \U0001F600 \U00010348 \u4E2D\u6587";
    for (bool compress : {false, true}) {
        std::u16string digest;
        EXPECT_EQ(RoundTrip(carrier, key, comment, message, compress, &digest), message) << compress;
        const std::string d = CSHA256().SHA256(message);
        EXPECT_EQ(digest, std::u16string(d.begin(), d.end()));
        std::u16string upper = digest;
        for (auto& c : upper) c = static_cast<char16_t>(std::toupper(c));
        EXPECT_NE(upper, digest);  // an uppercase field never verifies
    }
}

}  // namespace
}  // namespace corvane
