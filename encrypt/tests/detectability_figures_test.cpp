// The prediction against what the estimators read on saved images: real
// encryptions with real keys at many lengths, and LSBs replaced at random
// at known rates, on the sample photos.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <utility>

#include "encrypt/detectability.hpp"
#include "operation_test_support.hpp"

namespace corvane {
namespace {

using testing::PhotoPath;
using testing::RandomGrid;
using testing::RecordingEncryptReporter;
using testing::SeedOf;
using testing::SelectedInputs;
using testing::TempFolder;

// Comments whose seeds fall on each of the four sub-grids in turn.
const std::u16string kComments[] = {u"<Qx7$~pL9aZ><Rb2#kT8mWq><01>", u"<Qx7!}pL9aZ><Rb2#kT8mWq><01>",
                                    u"<Qx7!~pL9aZ><Rb2#kT8mWq><01>", u"<Qx7#}pL9aZ><Rb2#kT8mWq><01>"};

double ShareOf(const LsbShareEstimate& e) { return e.ok ? e.share : 0.0; }

int SubGridOf(const std::u16string& comment) {
    KeyParams p;
    KeyParameters(comment, p);
    return SubGridIndex(p.flagX, p.flagY);
}

// A message in words with varied spelling and punctuation: it compresses
// about as well as a letter does.
std::u16string Letter(size_t units, uint32_t seed) {
    static const char16_t* const kWords[] = {
        u"the",    u"river",  u"under",   u"stone",  u"bridge", u"morning", u"quiet",   u"train",   u"at",
        u"noon",   u"we",     u"meet",    u"north",  u"gate",   u"bring",   u"papers",  u"and",     u"keys",
        u"Friday", u"Hélène", u"unless",  u"rain",   u"café",   u"corner",  u"seven",   u"o'clock", u"nobody",
        u"must",   u"know",   u"letters", u"burn",   u"after",  u"reading", u"Tuesday", u"ledger",  u"42"};
    std::mt19937 rng(seed);
    std::u16string text;
    while (text.size() < units) {
        text += kWords[rng() % std::size(kWords)];
        const uint32_t r = rng() % 12;
        text += r == 0 ? u". " : r == 1 ? u", " : r == 2 ? u"\n" : u" ";
    }
    text.resize(units);
    return text;
}

// Within the estimators' own noise on these photos (about 0.002 on the
// whole image, several times that on a sub-grid) of a verdict's edge.
bool NearAnEdge(const DetectabilityFigures& f) {
    return std::fabs(f.delta - kLowDelta) < 0.004 || std::fabs(f.delta - kHighDelta) < 0.004 ||
           std::fabs(f.subGridDelta - kLowSubGridDelta) < 0.008 ||
           std::fabs(f.carrierEstimate + f.delta - kHighEstimate) < 0.004;
}

struct Tally {
    int cases = 0;
    int agreed = 0;
    int lowWhereHigh = 0;
    int farFromEdges = 0;  // disagreements that noise cannot explain

    void Add(const char* what, const DetectabilityFigures& predicted, const DetectabilityFigures& measured) {
        ++cases;
        agreed += predicted.verdict == measured.verdict;
        lowWhereHigh += predicted.verdict == Detectability::Low && measured.verdict == Detectability::High;
        farFromEdges += predicted.verdict != measured.verdict && !NearAnEdge(measured);
        std::printf("%-34s predicted %-6s d=%.4f sub=%.4f  measured %-6s d=%.4f sub=%.4f%s\n", what,
                    TextToUtf8(DetectabilityName(predicted.verdict)).c_str(), predicted.delta, predicted.subGridDelta,
                    TextToUtf8(DetectabilityName(measured.verdict)).c_str(), measured.delta, measured.subGridDelta,
                    predicted.verdict == measured.verdict ? "" : "  <- differs");
    }
};

class DetectabilityFigures_ : public ::testing::Test {
protected:
    TempFolder dir;
    int saved = 0;

    // Encrypts for real (a real key, the encrypt operation, a saved file
    // read back) and measures the saved image.
    bool Encrypt(const PixelGrid& carrier, const CarrierEstimates& clean, const std::u16string& message,
                 bool compress, const std::u16string& comment, DetectabilityFigures& measured) {
        PixelGrid work = carrier;
        const PixelGrid key = RandomGrid(carrier.width, carrier.height, 1000 + saved);
        EncryptInputs in = SelectedInputs(message, dir.path(), comment);
        in.compress = compress;
        in.outputKind = OutputKind::Bmp;
        in.outputPath = dir / ("out-" + std::to_string(saved++) + ".bmp");
        EmbeddingSteps steps;
        RecordingEncryptReporter reporter;
        SequenceRandom rng;
        if (EncryptImage(work, key, in, steps, reporter, rng).status != EncryptStatus::Saved) return false;
        PixelGrid image;
        EXPECT_TRUE(LoadGrid(in.outputPath, image));
        measured = MeasureDetectability(clean, image, SubGridOf(comment));
        return true;
    }
};

std::vector<std::pair<std::string, PixelGrid>> Carriers() {
    std::vector<std::pair<std::string, PixelGrid>> out;
    for (const char* name : {"coffee.png", "astronaut.png"}) {
        PixelGrid photo;
        EXPECT_TRUE(LoadGrid(PhotoPath(name), photo));
        out.emplace_back(name, photo);
    }
    return out;
}

// Lengths from 50 characters up by factors of about 1.4, then the longest
// that fits: spread evenly rather than gathered at the thresholds.
std::vector<size_t> Lengths(const PixelGrid& carrier, bool compress) {
    const int64_t window = (ReadingWindowBits(carrier.width, carrier.height) - kSkippedPositions) / 16;
    const auto most = static_cast<size_t>(compress ? 0.05 * carrier.width * carrier.height
                                                   : 0.97 * static_cast<double>(window - kContainerOverhead));
    std::vector<size_t> lengths;
    for (double n = 50; n < static_cast<double>(most); n *= 1.41) lengths.push_back(static_cast<size_t>(n));
    lengths.push_back(most);
    return lengths;
}

// Predicted as the window and the command do once a key is chosen (its
// comment fixes the positions), and before one is (a throwaway comment).
TEST_F(DetectabilityFigures_, PredictionAgreesWithSavedImages) {
    Tally withKey, withoutKey;
    int seed = 1;
    for (const auto& [name, carrier] : Carriers()) {
        const CarrierEstimates clean = EstimateCarrier(carrier);
        for (const bool compress : {false, true}) {
            for (const size_t length : Lengths(carrier, compress)) {
                const std::u16string message = Letter(length, static_cast<uint32_t>(seed));
                const std::u16string& comment = kComments[seed++ % 4];
                DetectabilityFigures measured;
                if (!Encrypt(carrier, clean, message, compress, comment, measured)) continue;
                DetectabilityRequest request;
                request.message = message;
                request.compress = compress;
                request.seed = static_cast<uint64_t>(seed);
                request.findLongestLow = false;
                const std::string what = name + (compress ? " zip " : " raw ") + std::to_string(length);
                const DetectabilityPrediction guessed = PredictDetectability(carrier, clean, request);
                ASSERT_EQ(guessed.status, PredictionStatus::Done) << what;
                withoutKey.Add((what + " no key").c_str(), guessed.figures, measured);
                request.keyComment = comment;
                const DetectabilityPrediction known = PredictDetectability(carrier, clean, request);
                ASSERT_EQ(known.status, PredictionStatus::Done) << what;
                withKey.Add(what.c_str(), known.figures, measured);
            }
        }
    }
    std::printf("real encryptions: %d of %d agree with the key's positions, %d without\n", withKey.agreed,
                withKey.cases, withoutKey.agreed);
    EXPECT_GE(withKey.cases, 50);
    for (const Tally* t : {&withKey, &withoutKey}) {
        EXPECT_GE(t->agreed, 0.95 * t->cases);
        EXPECT_EQ(t->farFromEdges, 0);
        EXPECT_EQ(t->lowWhereHigh, 0);
    }
}

// Replaces one random channel's LSB with a random bit at `count` random
// pixels of one sub-grid (inside a one-pixel border), as any tool that
// keeps to a sub-grid would.
PixelGrid ReplaceOnSubGrid(PixelGrid g, int subGrid, int64_t count, uint32_t seed) {
    std::mt19937 rng(seed);
    const int x0 = subGrid & 1 ? 1 : 2, y0 = subGrid & 2 ? 1 : 2;
    const int cols = (g.width - 2 - x0) / 2 + 1, rows = (g.height - 2 - y0) / 2 + 1;
    std::vector<uint8_t> used(static_cast<size_t>(cols) * rows, 0);
    for (int64_t n = 0; n < count;) {
        const int cx = static_cast<int>(rng() % cols), cy = static_cast<int>(rng() % rows);
        if (std::exchange(used[static_cast<size_t>(cy) * cols + cx], 1)) continue;
        uint32_t& p = g.at(x0 + 2 * cx, y0 + 2 * cy);
        const uint32_t bit = ChannelBit(1 + static_cast<int>(rng() % 3));
        p = (p & ~bit) | (rng() & 1 ? bit : 0);
        ++n;
    }
    return g;
}

// Another tool's embedding, predicted from its known rate: a share r of
// the samples replaced reads as r, all of it on the one sub-grid.
TEST_F(DetectabilityFigures_, VerdictOfRandomReplacementAtKnownRates) {
    Tally tally;
    uint32_t seed = 50;
    for (const char* name : {"coffee.png", "astronaut.png"}) {
        PixelGrid carrier;
        ASSERT_TRUE(LoadGrid(PhotoPath(name), carrier));
        const CarrierEstimates clean = EstimateCarrier(carrier);
        const double samples = 3.0 * carrier.width * carrier.height;
        for (const double rate : {0.001, 0.003, 0.006, 0.01, 0.015, 0.025, 0.035, 0.05}) {
            const int subGrid = static_cast<int>(seed % 4);
            const auto count = static_cast<int64_t>(rate * samples);
            const DetectabilityFigures measured =
                MeasureDetectability(clean, ReplaceOnSubGrid(carrier, subGrid, count, seed++), subGrid);
            const PixelGrid sub = SubGrid(carrier, subGrid);
            DetectabilityFigures predicted;
            predicted.delta = static_cast<double>(count) / samples;
            predicted.subGridDelta = static_cast<double>(count) / (3.0 * sub.width * sub.height);
            predicted.verdict = ClassifyDetectability(ShareOf(clean.whole), predicted.delta, predicted.subGridDelta);
            const std::string what = std::string(name) + " replaced " + std::to_string(rate);
            tally.Add(what.c_str(), predicted, measured);
        }
    }
    std::printf("random replacement: %d of %d agree\n", tally.agreed, tally.cases);
    EXPECT_GE(tally.agreed, 0.95 * tally.cases);
    EXPECT_EQ(tally.farFromEdges, 0);
    EXPECT_EQ(tally.lowWhereHigh, 0);
}

// The longest "Low" message the prediction names, encrypted for real with
// a real key, does not read "High" and mostly reads "Low"; a message twice
// as long no longer does.
TEST_F(DetectabilityFigures_, LongestLowMessageHoldsOnSavedImages) {
    int lowAfterwards = 0, cases = 0;
    for (const char* name : {"coffee.png", "astronaut.png"}) {
        PixelGrid carrier;
        ASSERT_TRUE(LoadGrid(PhotoPath(name), carrier));
        const CarrierEstimates clean = EstimateCarrier(carrier);
        for (const bool compress : {false, true}) {
            DetectabilityRequest request;
            request.message = Letter(compress ? 800 : 200, 9);
            request.compress = compress;
            request.seed = 11;
            const DetectabilityPrediction p = PredictDetectability(carrier, clean, request);
            ASSERT_EQ(p.status, PredictionStatus::Done);
            ASSERT_GT(p.longestLow, 0) << name;
            const std::u16string longest = Letter(static_cast<size_t>(p.longestLow), 12);
            for (int k = 0; k < 2; ++k) {
                DetectabilityFigures measured;
                if (!Encrypt(carrier, clean, longest, compress, kComments[k + (compress ? 2 : 0)], measured)) continue;
                std::printf("%s %s longest Low %lld: measured %s d=%.4f sub=%.4f\n", name, compress ? "zip" : "raw",
                            static_cast<long long>(p.longestLow),
                            TextToUtf8(DetectabilityName(measured.verdict)).c_str(), measured.delta,
                            measured.subGridDelta);
                EXPECT_NE(measured.verdict, Detectability::High);
                lowAfterwards += measured.verdict == Detectability::Low;
                ++cases;
            }
            // Longer text compresses better: twice the characters need not
            // be twice the bits.
            if (p.longestLowFits || compress) continue;
            DetectabilityFigures twice;
            if (Encrypt(carrier, clean, Letter(static_cast<size_t>(2 * p.longestLow), 13), compress, kComments[0],
                        twice)) {
                EXPECT_NE(twice.verdict, Detectability::Low) << name << " " << 2 * p.longestLow;
            }
        }
    }
    EXPECT_GE(cases, 6);
    EXPECT_GE(lowAfterwards, cases - 1);
}

}  // namespace
}  // namespace corvane
