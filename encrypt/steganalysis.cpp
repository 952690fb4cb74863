#include "encrypt/steganalysis.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "core/number_format.hpp"

namespace corvane {
namespace {

bool IsWhole(const PixelGrid& g) {
    return !g.empty() && g.pixels.size() == static_cast<size_t>(g.width) * static_cast<size_t>(g.height);
}

int Sample(uint32_t pixel, int channel) { return static_cast<int>((pixel >> (8 * channel)) & 0xFFu); }

// The negated flip moves the pair boundary: 2k-1 <-> 2k. Values may leave
// 0...255 (0 -> -1, 255 -> 256), which the smoothness sum takes as they are.
int FlipNegated(int v) { return (v & 1) ? v + 1 : v - 1; }

// How a flip changes one step of a group's roughness |b - a| + |c - b| +
// |d - c|, for every pair of values: the sum of three entries says whether
// the flipped group is rougher, without computing either sum. Flipping the
// two middle values with the mask changes the outer steps by flipA[a][b]
// and flipA[d][c] and the middle one by flipB[b][c]; the negated mask
// likewise with the negated tables.
struct RoughnessTables {
    std::array<int8_t, 256 * 256> flipA{}, flipB{}, negatedA{}, negatedB{};
};

const RoughnessTables& Roughness() {
    static const auto tables = [] {
        auto t = std::make_unique<RoughnessTables>();
        for (int u = 0; u < 256; ++u)
            for (int v = 0; v < 256; ++v) {
                const size_t i = static_cast<size_t>(u * 256 + v);
                t->flipA[i] = static_cast<int8_t>(std::abs((v ^ 1) - u) - std::abs(v - u));
                t->flipB[i] = static_cast<int8_t>(std::abs((v ^ 1) - (u ^ 1)) - std::abs(v - u));
                t->negatedA[i] = static_cast<int8_t>(std::abs(FlipNegated(v) - u) - std::abs(v - u));
                t->negatedB[i] = static_cast<int8_t>(std::abs(FlipNegated(v) - FlipNegated(u)) - std::abs(v - u));
            }
        return t;
    }();
    return *tables;
}

// The eight RsGroupCounts fields, in their order.
using GroupTally = std::array<int64_t, 8>;

// `weight` -1 takes a group back out of the counts.
inline void TallyGroup(const RoughnessTables& t, GroupTally& k, int a, int b, int c, int d, int weight) {
    auto at = [](int u, int v) { return static_cast<size_t>(u * 256 + v); };
    const int m = t.flipA[at(a, b)] + t.flipB[at(b, c)] + t.flipA[at(d, c)];
    const int n = t.negatedA[at(a, b)] + t.negatedB[at(b, c)] + t.negatedA[at(d, c)];
    // The same group with every LSB flipped; the mask flips its middle back,
    // so its steps change by the negated entries of the flipped outer values.
    const int fm = -(t.flipA[at(a ^ 1, b)] + t.flipB[at(b, c)] + t.flipA[at(d ^ 1, c)]);
    const int fn = t.negatedA[at(a ^ 1, b ^ 1)] + t.negatedB[at(b ^ 1, c ^ 1)] + t.negatedA[at(d ^ 1, c ^ 1)];
    k[0] += weight * (m > 0);
    k[1] += weight * (m < 0);
    k[2] += weight * (n > 0);
    k[3] += weight * (n < 0);
    k[4] += weight * (fm > 0);
    k[5] += weight * (fm < 0);
    k[6] += weight * (fn > 0);
    k[7] += weight * (fn < 0);
}

void Add(RsGroupCounts& to, const GroupTally& k) {
    to.regular += static_cast<double>(k[0]);
    to.singular += static_cast<double>(k[1]);
    to.regularNegated += static_cast<double>(k[2]);
    to.singularNegated += static_cast<double>(k[3]);
    to.flippedRegular += static_cast<double>(k[4]);
    to.flippedSingular += static_cast<double>(k[5]);
    to.flippedRegularNegated += static_cast<double>(k[6]);
    to.flippedSingularNegated += static_cast<double>(k[7]);
}

// What a pair (u, v) counts towards, as the index of a PairTally slot.
enum PairClass : uint8_t { kOtherPair, kEqualPair, kLsbOnlyPair, kOddStepEvenLow, kOddStepOddLow };
using PairTally = std::array<int64_t, 5>;

PairClass ClassOf(int u, int v) {
    if (u == v) return kEqualPair;
    const int low = std::min(u, v);
    const int high = std::max(u, v);
    if ((low >> 1) == (high >> 1)) return kLsbOnlyPair;
    if (((high - low) & 1) == 0) return kOtherPair;
    return (low & 1) ? kOddStepOddLow : kOddStepEvenLow;
}

// Every pair of the image is classified: a table lookup is several times
// faster than comparisons whose branches a textured image makes
// unpredictable.
const std::array<uint8_t, 256 * 256>& PairClasses() {
    static const auto table = [] {
        std::array<uint8_t, 256 * 256> t{};
        for (int u = 0; u < 256; ++u)
            for (int v = 0; v < 256; ++v) t[u * 256 + v] = ClassOf(u, v);
        return t;
    }();
    return table;
}

SamplePairCounts ToCounts(const PairTally& t) {
    SamplePairCounts k;
    k.equal = static_cast<double>(t[kEqualPair]);
    k.lsbOnly = static_cast<double>(t[kLsbOnlyPair]);
    k.oddStepEvenLow = static_cast<double>(t[kOddStepEvenLow]);
    k.oddStepOddLow = static_cast<double>(t[kOddStepOddLow]);
    return k;
}

void Add(RsGroupCounts& to, const RsGroupCounts& k) {
    to.regular += k.regular;
    to.singular += k.singular;
    to.regularNegated += k.regularNegated;
    to.singularNegated += k.singularNegated;
    to.flippedRegular += k.flippedRegular;
    to.flippedSingular += k.flippedSingular;
    to.flippedRegularNegated += k.flippedRegularNegated;
    to.flippedSingularNegated += k.flippedSingularNegated;
}

void Add(SamplePairCounts& to, const SamplePairCounts& k) {
    to.equal += k.equal;
    to.lsbOnly += k.lsbOnly;
    to.oddStepEvenLow += k.oddStepEvenLow;
    to.oddStepOddLow += k.oddStepOddLow;
}

// The root of a x^2 + b x + c nearest zero, or the vertex when there is no
// real root.
std::optional<double> RootNearestZero(double a, double b, double c) {
    if (a == 0) {
        if (b == 0) return std::nullopt;
        return -c / b;
    }
    const double disc = b * b - 4 * a * c;
    if (disc < 0) return -b / (2 * a);
    // The form that avoids cancelling b against the square root.
    const double q = -0.5 * (b + std::copysign(std::sqrt(disc), b));
    if (q == 0) return 0.0;
    return c / q;
}

LsbShareEstimate Estimate(double share) {
    if (!std::isfinite(share)) return {};
    return {true, share};
}

std::u16string Percent(const LsbShareEstimate& e) {
    if (!e.ok) return u"--";
    return FormatNumber(std::clamp(e.share, 0.0, 1.0), "0.00%");
}

}  // namespace

LsbShareEstimate RsShare(const RsGroupCounts& k) {
    const double d0 = k.regular - k.singular;
    const double d1 = k.flippedRegular - k.flippedSingular;
    const double n0 = k.regularNegated - k.singularNegated;
    const double n1 = k.flippedRegularNegated - k.flippedSingularNegated;
    const auto x = RootNearestZero(2 * (d1 + d0), n0 - n1 - d1 - 3 * d0, d0 - n0);
    if (!x || *x == 0.5) return {};
    return Estimate(*x / (*x - 0.5));
}

LsbShareEstimate SamplePairShare(const SamplePairCounts& k) {
    // Pairs whose values share all bits above the LSB keep that class under
    // any flipping, and the odd steps with an even and an odd lower value are
    // equally common in a natural image; flipping a share p/2 of the LSBs
    // gives (c/2) p^2 - (c + d) p + (w + d) = 0.
    const double c = k.equal + k.lsbOnly;
    if (c <= 0) return {};
    const double d = k.oddStepEvenLow - k.oddStepOddLow;
    const double b = c + d;
    const double disc = b * b - 2 * c * (k.lsbOnly + d);
    if (disc < 0) return Estimate(b / c);
    const double s = std::sqrt(disc);
    // The smaller root, in the form that does not cancel b against s.
    return Estimate(b > 0 ? 2 * (k.lsbOnly + d) / (b + s) : (b - s) / c);
}

LsbTallies TallyLsbs(const PixelGrid& image) {
    LsbTallies t;
    if (!IsWhole(image)) return t;
    t.ok = true;
    std::array<GroupTally, 3> groups{};
    // Horizontal and vertical pairs count apart: most neighbours fall in the
    // same class, and one counter would make every increment wait for the
    // one before.
    std::array<PairTally, 3> pairs{};
    std::array<PairTally, 3> verticalPairs{};
    const auto& classes = PairClasses();
    const int w = image.width;
    const int h = image.height;
    const RoughnessTables& tables = Roughness();
    for (int y = 0; y < h; ++y) {
        const uint32_t* row = &image.pixels[static_cast<size_t>(y) * static_cast<size_t>(w)];
        for (int ch = 0; ch < 3; ++ch) {
            GroupTally k = groups[ch];  // a local the compiler can keep in registers
            for (int x = 0; x + 3 < w; x += 4)
                TallyGroup(tables, k, Sample(row[x], ch), Sample(row[x + 1], ch), Sample(row[x + 2], ch),
                           Sample(row[x + 3], ch), 1);
            groups[ch] = k;
        }
        for (int x = 0; x + 1 < w; ++x)
            for (int ch = 0; ch < 3; ++ch) ++pairs[ch][classes[Sample(row[x], ch) * 256 + Sample(row[x + 1], ch)]];
        if (y + 1 == h) continue;
        const uint32_t* next = row + w;
        for (int x = 0; x < w; ++x)
            for (int ch = 0; ch < 3; ++ch)
                ++verticalPairs[ch][classes[Sample(row[x], ch) * 256 + Sample(next[x], ch)]];
    }
    for (int ch = 0; ch < 3; ++ch)
        for (size_t i = 0; i < pairs[ch].size(); ++i) pairs[ch][i] += verticalPairs[ch][i];
    for (int ch = 0; ch < 3; ++ch) {
        Add(t.groups[ch], groups[ch]);
        t.pairs[ch] = ToCounts(pairs[ch]);
    }
    return t;
}

namespace {

constexpr int64_t kGroupScale = 16;
constexpr int64_t kPairScale = 4;

// Replaced samples among the four bits of `mask`, without a library call
// where the target has no population count instruction.
constexpr int kBitsIn[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};

}  // namespace

ExpectedReplacement::ExpectedReplacement(const PixelGrid& image, const LsbTallies& tallies, int subGrid)
    : image_(image), base_(tallies) {
    if (!IsWhole(image) || subGrid >= kSubGrids) base_.ok = false;
    if (!base_.ok) return;
    width_ = image.width;
    height_ = image.height;
    if (subGrid >= 0) {
        dx_ = subGrid & 1;
        dy_ = subGrid >> 1;
        step_ = 2;
        width_ = (image.width - dx_ + 1) / 2;
        height_ = (image.height - dy_ + 1) / 2;
    }
    replaced_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0);
}

void ExpectedReplacement::Prefetch(int x, int y) const {
    if (!base_.ok) return;
    if (step_ == 2) {
        if ((x & 1) != dx_ || (y & 1) != dy_) return;
        x >>= 1;
        y >>= 1;
    }
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    for (int row = std::max(y - 1, 0); row <= std::min(y + 1, height_ - 1); ++row) {
        __builtin_prefetch(&image_.pixels[static_cast<size_t>(step_ * row + dy_) * image_.width + step_ * x + dx_]);
        __builtin_prefetch(&replaced_[Index(x, row)]);
    }
}

int ExpectedReplacement::SampleAt(int x, int y, int channel) const {
    return Sample(image_.at(step_ * x + dx_, step_ * y + dy_), channel);
}

void ExpectedReplacement::Replace(int x, int y, uint32_t lsbs) {
    if (!base_.ok) return;
    if (step_ == 2) {
        if ((x & 1) != dx_ || (y & 1) != dy_) return;
        x >>= 1;
        y >>= 1;
    }
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    for (int ch = 0; ch < 3; ++ch) {
        const auto bit = static_cast<uint8_t>(1u << ch);
        if (!(lsbs & (1u << (8 * ch))) || (replaced_[Index(x, y)] & bit)) continue;
        Move(x, y, ch);
        replaced_[Index(x, y)] |= bit;
    }
}

// The groups and pairs holding the sample leave the counts with what they
// expected before and come back with what they expect with it replaced.
void ExpectedReplacement::Move(int x, int y, int channel) {
    const int gx = x & ~3;
    if (gx + 3 < width_) Group(gx, y, x - gx, channel);
    if (x + 1 < width_) Pair(x, y, x + 1, y, 0, channel);
    if (x > 0) Pair(x - 1, y, x, y, 1, channel);
    if (y + 1 < height_) Pair(x, y, x, y + 1, 0, channel);
    if (y > 0) Pair(x, y - 1, x, y, 1, channel);
}

// Every value of the group's replaced LSBs is equally likely; sample
// `added` joins them.
void ExpectedReplacement::Group(int x, int y, int added, int channel) {
    int v[4];
    unsigned random = 0;
    for (int i = 0; i < 4; ++i) {
        v[i] = SampleAt(x + i, y, channel);
        if (replaced_[Index(x + i, y)] >> channel & 1) random |= 1u << i;
    }
    GroupTally& counts = groups_[channel];
    const RoughnessTables& tables = Roughness();
    // Half the images the group could be before now carry the added sample
    // flipped: each moves half its weight from the unflipped to the flipped
    // values.
    const int weight = static_cast<int>(kGroupScale >> (kBitsIn[random] + 1));
    const unsigned flip = 1u << added;
    for (unsigned s = random;; s = (s - 1) & random) {
        for (const unsigned m : {s, s | flip})
            TallyGroup(tables, counts, v[0] ^ static_cast<int>(m & 1), v[1] ^ static_cast<int>(m >> 1 & 1),
                       v[2] ^ static_cast<int>(m >> 2 & 1), v[3] ^ static_cast<int>(m >> 3 & 1),
                       m == s ? -weight : weight);
        if (s == 0) break;
    }
}

void ExpectedReplacement::Pair(int x0, int y0, int x1, int y1, int added, int channel) {
    const int u = SampleAt(x0, y0, channel), v = SampleAt(x1, y1, channel);
    unsigned random = (replaced_[Index(x0, y0)] >> channel & 1) | (replaced_[Index(x1, y1)] >> channel & 1) << 1;
    const auto& classes = PairClasses();
    PairTally& counts = pairs_[channel];
    const int64_t weight = kPairScale >> (kBitsIn[random] + 1);
    const unsigned flip = 1u << added;
    for (unsigned s = random;; s = (s - 1) & random) {
        for (const unsigned m : {s, s | flip})
            counts[classes[(u ^ static_cast<int>(m & 1)) * 256 + (v ^ static_cast<int>(m >> 1))]] +=
                m == s ? -weight : weight;
        if (s == 0) break;
    }
}

LsbTallies ExpectedReplacement::Tallies() const {
    if (!base_.ok) return {};
    LsbTallies t = base_;
    for (int ch = 0; ch < 3; ++ch) {
        const auto& g = groups_[ch];
        RsGroupCounts& k = t.groups[ch];
        const double s = kGroupScale;
        k.regular += static_cast<double>(g[0]) / s;
        k.singular += static_cast<double>(g[1]) / s;
        k.regularNegated += static_cast<double>(g[2]) / s;
        k.singularNegated += static_cast<double>(g[3]) / s;
        k.flippedRegular += static_cast<double>(g[4]) / s;
        k.flippedSingular += static_cast<double>(g[5]) / s;
        k.flippedRegularNegated += static_cast<double>(g[6]) / s;
        k.flippedSingularNegated += static_cast<double>(g[7]) / s;
        const auto& p = pairs_[ch];
        SamplePairCounts& q = t.pairs[ch];
        q.equal += static_cast<double>(p[kEqualPair]) / kPairScale;
        q.lsbOnly += static_cast<double>(p[kLsbOnlyPair]) / kPairScale;
        q.oddStepEvenLow += static_cast<double>(p[kOddStepEvenLow]) / kPairScale;
        q.oddStepOddLow += static_cast<double>(p[kOddStepOddLow]) / kPairScale;
    }
    return t;
}

LsbSteganalysis EstimateFromTallies(const LsbTallies& t) {
    LsbSteganalysis result;
    if (!t.ok) return result;
    RsGroupCounts allGroups;
    SamplePairCounts allPairs;
    for (int ch = 0; ch < 3; ++ch) {
        result.channels[ch].rs = RsShare(t.groups[ch]);
        result.channels[ch].samplePairs = SamplePairShare(t.pairs[ch]);
        Add(allGroups, t.groups[ch]);
        Add(allPairs, t.pairs[ch]);
    }
    result.rs = RsShare(allGroups);
    result.samplePairs = SamplePairShare(allPairs);
    if (result.rs.ok && result.samplePairs.ok)
        result.combined = {true, (result.rs.share + result.samplePairs.share) / 2};
    else
        result.combined = result.rs.ok ? result.rs : result.samplePairs;
    return result;
}

LsbSteganalysis EstimateLsbReplacement(const PixelGrid& image) { return EstimateFromTallies(TallyLsbs(image)); }

int SubGridIndex(int dx, int dy) { return (dy & 1) * 2 + (dx & 1); }

PixelGrid SubGrid(const PixelGrid& image, int index) {
    if (!IsWhole(image) || index < 0 || index >= kSubGrids) return {};
    const int dx = index & 1;
    const int dy = index >> 1;
    const int w = (image.width - dx + 1) / 2;
    const int h = (image.height - dy + 1) / 2;
    if (w <= 0 || h <= 0) return {};
    PixelGrid out(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) out.at(x, y) = image.at(2 * x + dx, 2 * y + dy);
    return out;
}

SubGridEstimates EstimateSubGrids(const PixelGrid& image) {
    SubGridEstimates result;
    for (int i = 0; i < kSubGrids; ++i) {
        const PixelGrid sub = SubGrid(image, i);
        if (sub.empty()) continue;
        result.subGrids[i] = EstimateLsbReplacement(sub).combined;
        if (result.subGrids[i].ok && (result.largest < 0 || result.subGrids[i].share > result.Largest().share))
            result.largest = i;
    }
    return result;
}

std::u16string SubGridEstimateCaption(const SubGridEstimates& r) {
    std::u16string caption = u"Largest Sub-Grid LSB Replacement: " + Percent(r.Largest());
    if (r.largest >= 0) {
        caption += r.largest & 1 ? u" (x+1" : u" (x+0";
        caption += r.largest & 2 ? u" y+1)" : u" y+0)";
    }
    caption += u" Sub-Grids:";
    for (const auto& e : r.subGrids) caption += u" " + Percent(e);
    return caption;
}

std::u16string LsbEstimateCaption(const LsbSteganalysis& r) {
    auto channels = [&](auto member) {
        return u" (R:" + Percent(r.channels[0].*member) + u" G:" + Percent(r.channels[1].*member) + u" B:" +
               Percent(r.channels[2].*member) + u")";
    };
    return u"LSB Replacement: " + Percent(r.combined) + u" RS:" + Percent(r.rs) + channels(&ChannelLsbEstimates::rs) +
           u" SPA:" + Percent(r.samplePairs) + channels(&ChannelLsbEstimates::samplePairs);
}

}  // namespace corvane
