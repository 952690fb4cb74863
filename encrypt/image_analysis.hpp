#pragma once
// Examining the least significant bits of an image, alone and against the
// carrier it came from: LSB views, a per-column graph with a chi-squared
// test of the LSB counts, the PSNR per colour channel, and local variation
// maps.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/pixel_grid.hpp"
#include "core/reporter.hpp"

namespace corvane {

// The values of LsbViewMode, as the option buttons number them.
enum LsbViewOption : int32_t { kLsbViewAll = 0, kLsbViewRed = 1, kLsbViewGreen = 2, kLsbViewBlue = 3, kLsbViewDiff = 4 };

// Background of a cleared view: the windows' colour.
inline constexpr uint32_t kClearedViewColour = Rgb(190, 200, 210);

inline constexpr char16_t kNoVariationColourMessage[] =
    u"Please select a variation color (Red, Green, or Blue) using the buttons to the left.";
inline constexpr char16_t kNoReferenceMessage[] = u"No Original Image.";
inline constexpr char16_t kImageSmallerMessage[] = u"Image Smaller Than Original Image.";

// The image's LSBs drawn in the given mode; a mode outside 0-4 draws "All".
// The difference view compares with the reference's pixel at the same place;
// where the reference has no such pixel (missing or smaller), nothing can
// agree, so every channel is drawn as differing.
PixelGrid LsbView(const PixelGrid& image, int32_t mode, const PixelGrid& reference);

// Rows 0-100 of the column graph, one value per image column; a value of 1
// maps to row 0.
struct ColumnGraph {
    std::vector<int> green;   // share of set LSBs in the column
    std::vector<int> yellow;  // share of LSB changes from one row to the next
};
ColumnGraph ComputeColumnGraph(const PixelGrid& image);

// Sum over the values of (observed - expected)^2 / expected, an expected 0
// counting as 0.00001; uses the first min(sizes) values.
double ChiSquaredStatistic(std::span<const double> observed, std::span<const double> expected);
// The probability step (0.0, 0.1, ... 1.0) of a statistic with two degrees
// of freedom.
double ChiSquaredStep(double statistic);
double ChiSquaredProbability(std::span<const double> observed, std::span<const double> expected);

struct ChiSquaredColumns {
    std::vector<double> probability;  // per column
    std::vector<int> red;             // graph rows 0-100
    float average = 0;                // single precision, as shown
    std::u16string averageText;       // "0.000%"
};
// Per column, the counts of set LSBs per channel in the image against those
// in the reference. Nothing when the reference is missing or of another
// size (or the image is empty).
std::optional<ChiSquaredColumns> ComputeChiSquared(const PixelGrid& image, const PixelGrid& reference);

struct PsnrResult {
    bool ok = false;
    double red = 0;
    double green = 0;
    double blue = 0;
    // "R:51.14 G:51.14 B:51.15", or why no figure could be computed.
    std::u16string text;
};
// Over the reference's area; an image that does not cover it, or a missing
// reference, gives a message instead of figures.
PsnrResult ComputePsnr(const PixelGrid& reference, const PixelGrid& image);

// The local variation of one channel (1 red, 2 green, 3 blue): black where the
// 3 x 3 block is flat, brighter the more it varies; the one-pixel border,
// which has no full block, keeps the cleared colour.
PixelGrid VariationMapOfChannel(const PixelGrid& image, int channel);
// The window's button: the channel is the selected view option 1-3; with
// any other option the reporter gets the message and nothing is drawn.
std::optional<PixelGrid> VariationMap(const PixelGrid& image, int32_t lsbViewMode, Reporter& reporter);

// Everything "Calc" shows: the view, the graph and, when the reference
// matches, the chi-squared test. An empty image gives empty results.
struct ImageAnalysisResult {
    PixelGrid view;
    ColumnGraph graph;
    std::optional<ChiSquaredColumns> chiSquared;
};
ImageAnalysisResult AnalyseImage(const PixelGrid& image, int32_t lsbViewMode, const PixelGrid& reference);

}  // namespace corvane
