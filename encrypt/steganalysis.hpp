#pragma once
// Blind estimates of how much of an image's least significant bits an
// embedding replaced, from the image alone: RS analysis (regular and
// singular groups) and sample-pair analysis, per colour channel and for the
// three channels together.
//
// Every figure here is the share of samples (pixels of one channel, or of
// all three) whose LSB was replaced by a message bit. A replaced bit equals
// the old one half the time, so the share of LSBs actually changed is about
// half of it: replacing the LSBs of 20% of the pixels with random bits reads
// as 0.20 and flips about 10% of the LSBs. An embedding that flips a share f
// of the LSBs outright reads as about 2f.
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/pixel_grid.hpp"

namespace corvane {

struct LsbShareEstimate {
    // False when the image gives the method nothing to measure (too small,
    // every group or pair unusable, or an equation without solution); the
    // share is then 0.
    bool ok = false;
    // Always finite. Natural images read a little above 0 and sampling noise
    // can take the figure slightly below 0 or above 1, so it is kept as
    // computed; captions clamp it to 0...100%. RS breaks down as the share
    // approaches 1, where its equation degenerates; sample pairs do not.
    double share = 0;
};

// Groups of four neighbours along a row, judged by the sum of their three
// absolute steps before and after flipping the middle two pixels with the
// mask (0 1 1 0: 2k <-> 2k+1) and with its negation (2k-1 <-> 2k): regular
// when the sum grows, singular when it shrinks. The same again on the image
// with every LSB flipped.
struct RsGroupCounts {
    double regular = 0;
    double singular = 0;
    double regularNegated = 0;
    double singularNegated = 0;
    double flippedRegular = 0;
    double flippedSingular = 0;
    double flippedRegularNegated = 0;
    double flippedSingularNegated = 0;
};

// Pairs of horizontally and of vertically adjacent values (u, v).
struct SamplePairCounts {
    double equal = 0;    // u == v
    double lsbOnly = 0;  // differ only in the LSB: {2k, 2k+1}
    // Odd difference, values further apart than lsbOnly; by the parity of
    // the smaller value.
    double oddStepEvenLow = 0;
    double oddStepOddLow = 0;
};

// Solve each method's quadratic for the share. When the quadratic has no
// real root (noise near a share of 1, or a tiny image), the point where it
// comes closest to zero stands in for the root.
LsbShareEstimate RsShare(const RsGroupCounts& counts);
LsbShareEstimate SamplePairShare(const SamplePairCounts& counts);

struct ChannelLsbEstimates {
    LsbShareEstimate rs;
    LsbShareEstimate samplePairs;
};

struct LsbSteganalysis {
    std::array<ChannelLsbEstimates, 3> channels;  // red, green, blue
    // From the counts of the three channels together.
    LsbShareEstimate rs;
    LsbShareEstimate samplePairs;
    // The mean of the two figures above (the one figure alone when the other
    // has none).
    LsbShareEstimate combined;
};

// The counts both methods solve from, per channel. A pass over the image
// makes them; a few changed pixels move them without another pass.
struct LsbTallies {
    bool ok = false;  // false for an empty grid or one whose store does not match its size
    std::array<RsGroupCounts, 3> groups{};
    std::array<SamplePairCounts, 3> pairs{};
};
LsbTallies TallyLsbs(const PixelGrid& image);

// The tallies expected of an image whose samples get random LSBs one after
// another, as an embedding under a one-time-pad key writes them: each bit
// it writes equals the image's with probability one half, independently,
// so the expectation is over every value of the written bits. It is the
// figure many keys would scatter around, which one random key only
// samples. A replacement moves the counts of its own groups and pairs, and
// the tallies can be read after any number of them.
class ExpectedReplacement {
public:
    // Of the whole of `image` (subGrid -1), or of its sub-grid `subGrid`
    // alone, whose tallies (TallyLsbs(SubGrid(image, subGrid))) `tallies`
    // then are; replacements off that sub-grid are ignored. `image` must
    // outlive this and not change.
    ExpectedReplacement(const PixelGrid& image, const LsbTallies& tallies, int subGrid = -1);
    // The LSBs set in `lsbs` (a pixel word such as ChannelBit gives) at
    // pixel (x, y) of the image; a sample replaced before counts once.
    void Replace(int x, int y, uint32_t lsbs);
    // Asks for the memory a later Replace(x, y, ...) reads: a caller
    // holding a batch of positions scattered over a large image prefetches
    // them all first.
    void Prefetch(int x, int y) const;
    // Not ok when the tallies given were not, or the image is not whole.
    LsbTallies Tallies() const;

private:
    // Image coordinates to the view's; false for a pixel off it.
    bool InView(int& x, int& y) const;
    void Move(int x, int y, int channel);
    void Group(int x, int y, int added, int channel);
    void Pair(int x0, int y0, int x1, int y1, int added, int channel);
    size_t Index(int x, int y) const { return static_cast<size_t>(y) * static_cast<size_t>(width_) + x; }
    int SampleAt(int x, int y, int channel) const;

    const PixelGrid& image_;
    LsbTallies base_;
    int dx_ = 0, dy_ = 0, step_ = 1, width_ = 0, height_ = 0;
    std::vector<uint8_t> replaced_;  // per pixel of the view: bit c for channel c
    // Moves of the counts in sixteenths (a group holds at most four
    // replaced samples of a channel) and quarters (a pair two): exact.
    std::array<std::array<int64_t, 8>, 3> groups_{};
    std::array<std::array<int64_t, 5>, 3> pairs_{};
};

LsbSteganalysis EstimateFromTallies(const LsbTallies& tallies);

// A flat image reads 0 by both methods. An image narrower than 4 pixels has
// no RS groups, one of a single pixel no pairs either; an empty grid, or one
// whose pixel store does not match its size, gives no figures at all. Tiny
// images give figures, but too few groups and pairs for them to mean much.
LsbSteganalysis EstimateLsbReplacement(const PixelGrid& image);

// An embedding that keeps to one of the four sub-grids of pixels with
// x = dx and y = dy (mod 2) spends all its changes there: an estimate of
// that sub-grid alone sees about four times the whole image's share, and
// a check of each sub-grid finds it without knowing which one was used.
// Sub-grids are numbered dy * 2 + dx.
inline constexpr int kSubGrids = 4;
int SubGridIndex(int dx, int dy);
// The pixels of sub-grid `index` as an image of their own, ceil(W/2 or
// H/2 less the offset) on each side; empty when the image is not whole or
// the sub-grid has no pixels.
PixelGrid SubGrid(const PixelGrid& image, int index);

struct SubGridEstimates {
    // The combined figure (RS and sample pairs) of each sub-grid.
    std::array<LsbShareEstimate, kSubGrids> subGrids;
    // The sub-grid with the largest figure, -1 when none gives one.
    int largest = -1;
    LsbShareEstimate Largest() const { return largest < 0 ? LsbShareEstimate{} : subGrids[largest]; }
};
// Keeps no state: the analysis window may call it from a worker thread.
SubGridEstimates EstimateSubGrids(const PixelGrid& image);
// "Largest Sub-Grid LSB Replacement: 1.23% (x+1 y+0) Sub-Grids: 0.40%
// 1.23% 0.35% 0.38%", the sub-grids in index order; "--" for a figure the
// image does not give.
std::u16string SubGridEstimateCaption(const SubGridEstimates& result);

// "LSB Replacement: 0.42% RS:0.40% (R:0.51% G:0.32% B:0.37%)
// SPA:0.44% (R:...)" on one line; a figure the image does not give shows as
// "--".
std::u16string LsbEstimateCaption(const LsbSteganalysis& result);

}  // namespace corvane
