#pragma once
// How well a carrier and a message are likely to hide: the share of the
// carrier's least significant bits that embedding will change, and a score
// sampled over the carrier. Both are advice only; the encrypt operation
// never reads them.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/pixel_grid.hpp"
#include "core/reporter.hpp"

namespace corvane {

struct IndicatorColour {
    int r = 0;
    int g = 0;
    int b = 0;
    bool operator==(const IndicatorColour&) const = default;
};

inline constexpr IndicatorColour kLsbGood{200, 255, 200};
inline constexpr IndicatorColour kLsbWarning{255, 255, 200};
inline constexpr IndicatorColour kLsbBad{255, 200, 200};

inline constexpr IndicatorColour kScoreNogo{200, 100, 100};
inline constexpr IndicatorColour kScoreMarginal{200, 200, 100};
inline constexpr IndicatorColour kScoreOk{100, 200, 100};
// The toggle's idle colour, also shown while an analysis runs.
inline constexpr IndicatorColour kScoreIdle{190, 200, 210};

struct LsbUsage {
    int64_t messageBytes = 0;  // UTF-16 bytes of the message
    double lsbShare = 0;       // expected changed LSBs / all colour LSBs; 0 without an image
    std::u16string caption;    // "150B/2.000%", "0B"
    // False when no image is loaded: the label keeps the colour it has.
    bool recolour = false;
    IndicatorColour colour;
};

// The message's byte length and, with an image of width x height, the share
// of its colour-channel LSBs that embedding is expected to flip (half of the
// message's bits).
LsbUsage UpdateLsbUsage(std::u16string_view message, int imageWidth, int imageHeight);

enum class Verdict { Nogo, Marginal, Ok };

struct CarrierAnalysisResult {
    int32_t sampleCount = 0;
    int32_t encCount = 0;
    int32_t sameCount = 0;  // equal direct neighbours, four per sample
    int32_t blackCount = 0;
    int32_t whiteCount = 0;
    double encRatio = 0;
    double sameRatio = 0;
    double blackRatio = 0;
    double whiteRatio = 0;
    double score = 0;
    // "Enc: 95.00% Same: 00.00% Blk: 00.00% Wht: 00.00%"; empty when the
    // image is too small to hold a sample point.
    std::u16string statistics;
    std::u16string caption;  // "93.75% - OK"
    Verdict verdict = Verdict::Nogo;
    IndicatorColour colour = kScoreNogo;
};

// Sampling step along a side of `length` pixels: every 10th pixel up to
// 1000, about 100 samples beyond.
int SampleStep(int length);

// The share's contribution to the score: full when the ratio is 0, nothing
// from 0.05 up.
double PenaltyTerm(double ratio);
Verdict EncodabilityVerdict(double score);
// Score formatted "0.00%" followed by the verdict.
std::u16string EncodabilityCaption(double score);

// Samples the carrier as displayed. The reporter gets the share done at the
// start and after every sampled column. An image with no sample point (a side below 20
// pixels) gets the lowest verdict and empty statistics.
CarrierAnalysisResult AnalyseCarrier(const PixelGrid& carrier, Reporter& reporter);

}  // namespace corvane
