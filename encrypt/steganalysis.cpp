#include "encrypt/steganalysis.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The roughness of a group of four neighbours.
inline int Roughness(int a, int b, int c, int d) { return std::abs(b - a) + std::abs(c - b) + std::abs(d - c); }

// The eight RsGroupCounts fields, in their order.
using GroupTally = std::array<int64_t, 8>;

// The group flipped in its middle two values with the mask and with its
// negation, and the same for the group with every LSB flipped, where the
// mask flips the middle back. Plain arithmetic: tables of the step changes
// (four of 64 KiB) would not stay in the nearest cache. `weight` -1 takes a
// group back out of the counts.
inline void TallyGroup(GroupTally& k, int a, int b, int c, int d, int weight) {
    const int r = Roughness(a, b, c, d);
    const int m = Roughness(a, b ^ 1, c ^ 1, d) - r;
    const int n = Roughness(a, FlipNegated(b), FlipNegated(c), d) - r;
    const int a1 = a ^ 1, b1 = b ^ 1, c1 = c ^ 1, d1 = d ^ 1;
    const int f = Roughness(a1, b1, c1, d1);
    const int fm = Roughness(a1, b, c, d1) - f;
    const int fn = Roughness(a1, FlipNegated(b1), FlipNegated(c1), d1) - f;
    k[0] += weight * (m > 0);
    k[1] += weight * (m < 0);
    k[2] += weight * (n > 0);
    k[3] += weight * (n < 0);
    k[4] += weight * (fm > 0);
    k[5] += weight * (fm < 0);
    k[6] += weight * (fn > 0);
    k[7] += weight * (fn < 0);
}

// Counts kept in `scale`ths of a group or pair.
void Add(RsGroupCounts& to, const GroupTally& k, double scale = 1) {
    to.regular += static_cast<double>(k[0]) / scale;
    to.singular += static_cast<double>(k[1]) / scale;
    to.regularNegated += static_cast<double>(k[2]) / scale;
    to.singularNegated += static_cast<double>(k[3]) / scale;
    to.flippedRegular += static_cast<double>(k[4]) / scale;
    to.flippedSingular += static_cast<double>(k[5]) / scale;
    to.flippedRegularNegated += static_cast<double>(k[6]) / scale;
    to.flippedSingularNegated += static_cast<double>(k[7]) / scale;
}

// What a pair (u, v) counts towards, as the index of a PairTally slot.
enum PairClass : uint8_t { kOtherPair, kEqualPair, kLsbOnlyPair, kOddStepEvenLow, kOddStepOddLow };
using PairTally = std::array<int64_t, 5>;

// Without branches, which a textured image would make unpredictable, and
// without a table, which would not stay in the nearest cache.
inline int ClassOf(int u, int v) {
    const int x = u ^ v;
    const int oddStep = (x & 1) & static_cast<int>(x != 1);  // odd difference, beyond the LSB
    const int lowOdd = std::min(u, v) & 1;
    return static_cast<int>(x == 0) * kEqualPair + static_cast<int>(x == 1) * kLsbOnlyPair +
           oddStep * (lowOdd ? kOddStepOddLow : kOddStepEvenLow);
}

SamplePairCounts ToCounts(const PairTally& t, double scale = 1) {
    SamplePairCounts k;
    k.equal = static_cast<double>(t[kEqualPair]) / scale;
    k.lsbOnly = static_cast<double>(t[kLsbOnlyPair]) / scale;
    k.oddStepEvenLow = static_cast<double>(t[kOddStepEvenLow]) / scale;
    k.oddStepOddLow = static_cast<double>(t[kOddStepOddLow]) / scale;
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

namespace {

// The counts of one pass, in whole numbers until the end.
struct PassTally {
    std::array<GroupTally, 3> groups{};
    std::array<PairTally, 3> pairs{};
};

// Groups starting at x0, x0 + 4, ... (x0 a multiple of 4) of one row.
void TallyRowGroups(PassTally& t, const uint32_t* row, int x0, int w) {
    for (int ch = 0; ch < 3; ++ch) {
        GroupTally k = t.groups[ch];  // a local the compiler can keep in registers
        for (int x = x0; x + 3 < w; x += 4)
            TallyGroup(k, Sample(row[x], ch), Sample(row[x + 1], ch), Sample(row[x + 2], ch),
                       Sample(row[x + 3], ch), 1);
        t.groups[ch] = k;
    }
}

// The pairs (first[x], second[x + step]) for x0 <= x < x1: step 1 along a
// row, 0 down a column.
void TallyPairs(PassTally& t, const uint32_t* first, const uint32_t* second, int step, int x0, int x1) {
    for (int x = x0; x < x1; ++x)
        for (int ch = 0; ch < 3; ++ch) ++t.pairs[ch][ClassOf(Sample(first[x], ch), Sample(second[x + step], ch))];
}

// The vector code takes 16 groups of four pixels at a time.
constexpr int kBlockPixels = 64;

#if defined(__SSE2__)

// A block as 12 vectors, [channel * 4 + position in group], lane g holding
// group g of the block.
struct SplitPixels {
    __m128i planes[12];
};
// Counts add up in byte lanes; a block adds at most 8 to a pair lane (four
// pairs along the row, four down), so 31 blocks fit before widening.
constexpr int kBlocksPerSum = 31;

__m128i AbsDiff(__m128i x, __m128i y) { return _mm_or_si128(_mm_subs_epu8(x, y), _mm_subs_epu8(y, x)); }

// The 16 x 16 transpose of the block's bytes: byte j of group g goes to
// lane g of vector j = position * 4 + channel. Four rounds of interleaving
// rows i and i + 8 bring every byte to its place.
void SplitBlock(const uint32_t* pixels, SplitPixels& block) {
    __m128i r[16];
    for (int g = 0; g < 16; ++g) r[g] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + 4 * g));
    for (int round = 0; round < 4; ++round) {
        __m128i t[16];
        for (int i = 0; i < 8; ++i) {
            t[2 * i] = _mm_unpacklo_epi8(r[i], r[i + 8]);
            t[2 * i + 1] = _mm_unpackhi_epi8(r[i], r[i + 8]);
        }
        for (int i = 0; i < 16; ++i) r[i] = t[i];
    }
    for (int ch = 0; ch < 3; ++ch)
        for (int p = 0; p < 4; ++p) block.planes[ch * 4 + p] = r[p * 4 + ch];
}

// Byte-lane counts of one channel, widened into `totals` before they wrap.
// The groups are judged in bytes too: a flip moves an outer step by 1 and
// the middle one by 0 or 2, and the byte difference of the two steps, each
// in 0...255, wraps to that small value exactly.
struct LaneCounts {
    // The eight group counts; then equal, lsbOnly, pairs with an even
    // smaller and an odd larger value (lsbOnly pairs among them), pairs
    // with an odd smaller and an even larger value.
    static constexpr int kCounts = 12;
    __m128i lanes[kCounts];
    std::array<uint64_t, kCounts>& totals;

    explicit LaneCounts(std::array<uint64_t, kCounts>& to) : totals(to) {
        for (__m128i& l : lanes) l = _mm_setzero_si128();
    }
    void Widen() {
        for (int i = 0; i < kCounts; ++i) {
            alignas(16) uint64_t sums[2];
            _mm_store_si128(reinterpret_cast<__m128i*>(sums), _mm_sad_epu8(lanes[i], _mm_setzero_si128()));
            totals[i] += sums[0] + sums[1];
            lanes[i] = _mm_setzero_si128();
        }
    }
    // `mask` lanes are 0 or -1.
    void Count(int i, __m128i mask) { lanes[i] = _mm_sub_epi8(lanes[i], mask); }

    void Group(__m128i a, __m128i b, __m128i c, __m128i d) {
        const __m128i one = _mm_set1_epi8(1), two = _mm_set1_epi8(2), zero = _mm_setzero_si128();
        const __m128i a1 = _mm_xor_si128(a, one), b1 = _mm_xor_si128(b, one);
        const __m128i c1 = _mm_xor_si128(c, one), d1 = _mm_xor_si128(d, one);
        const __m128i bc = AbsDiff(b, c), b1c1 = AbsDiff(b1, c1);
        // How the mask's flip changes the steps a-b, b-c and d-c.
        const __m128i outerAb = _mm_sub_epi8(AbsDiff(a, b1), AbsDiff(a, b));
        const __m128i middle = _mm_sub_epi8(b1c1, bc);
        const __m128i outerDc = _mm_sub_epi8(AbsDiff(d, c1), AbsDiff(d, c));
        const __m128i m = _mm_add_epi8(_mm_add_epi8(outerAb, middle), outerDc);
        // The negated flip moves a step the other way unless its two values
        // are equal (outer) or one apart (middle), where it grows by 2 more.
        const __m128i equalOuter = _mm_add_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, b), two),
                                                _mm_and_si128(_mm_cmpeq_epi8(d, c), two));
        const __m128i n = _mm_sub_epi8(_mm_add_epi8(equalOuter, _mm_and_si128(_mm_cmpeq_epi8(bc, one), two)), m);
        // With every LSB flipped: -fm is what the flip of b and c changes in
        // the steps from a^1 and d^1, and fn follows from it as n from m.
        const __m128i flippedOuterAb = _mm_sub_epi8(AbsDiff(a1, b1), AbsDiff(a1, b));
        const __m128i flippedOuterDc = _mm_sub_epi8(AbsDiff(d1, c1), AbsDiff(d1, c));
        const __m128i minusFm = _mm_add_epi8(_mm_add_epi8(flippedOuterAb, middle), flippedOuterDc);
        const __m128i fn =
            _mm_add_epi8(_mm_add_epi8(equalOuter, _mm_and_si128(_mm_cmpeq_epi8(b1c1, one), two)), minusFm);
        Count(0, _mm_cmpgt_epi8(m, zero));
        Count(1, _mm_cmpgt_epi8(zero, m));
        Count(2, _mm_cmpgt_epi8(n, zero));
        Count(3, _mm_cmpgt_epi8(zero, n));
        Count(4, _mm_cmpgt_epi8(zero, minusFm));
        Count(5, _mm_cmpgt_epi8(minusFm, zero));
        Count(6, _mm_cmpgt_epi8(fn, zero));
        Count(7, _mm_cmpgt_epi8(zero, fn));
    }
    void Pair(__m128i u, __m128i v) {
        const __m128i one = _mm_set1_epi8(1);
        const __m128i x = _mm_xor_si128(u, v);
        const __m128i low = _mm_min_epu8(u, v), high = _mm_max_epu8(u, v);
        Count(8, _mm_cmpeq_epi8(x, _mm_setzero_si128()));
        Count(9, _mm_cmpeq_epi8(x, one));
        lanes[10] = _mm_add_epi8(lanes[10], _mm_and_si128(_mm_andnot_si128(low, high), one));
        lanes[11] = _mm_add_epi8(lanes[11], _mm_and_si128(_mm_andnot_si128(high, low), one));
    }
};

// The groups and the pairs within the blocks of a row, and the pairs down
// to it from the row `above` (null for the first row).
void TallyBlocks(const SplitPixels* row, const SplitPixels* above, int blocks,
                 std::array<std::array<uint64_t, LaneCounts::kCounts>, 3>& totals) {
    const __m128i two = _mm_set1_epi8(2);
    for (int ch = 0; ch < 3; ++ch) {
        LaneCounts counts(totals[ch]);
        for (int k = 0; k < blocks; ++k) {
            const __m128i* p = row[k].planes + ch * 4;
            const __m128i a = p[0], b = p[1], c = p[2], d = p[3];
            counts.Group(a, b, c, d);
            counts.Pair(a, b);
            counts.Pair(b, c);
            counts.Pair(c, d);
            // The last group's d pairs with the first a of the next block;
            // after the last block, with d ^ 2, an "other" pair that counts
            // nowhere, and the caller takes the pair into the rest of the row.
            const __m128i next = k + 1 < blocks ? row[k + 1].planes[ch * 4] : _mm_xor_si128(d, two);
            const __m128i nextA = _mm_slli_si128(k + 1 < blocks ? next : _mm_srli_si128(next, 15), 15);
            counts.Pair(d, _mm_or_si128(_mm_srli_si128(a, 1), nextA));
            if (above) {
                const __m128i* q = above[k].planes + ch * 4;
                for (int i = 0; i < 4; ++i) counts.Pair(q[i], p[i]);
            }
            if ((k + 1) % kBlocksPerSum == 0) counts.Widen();
        }
        counts.Widen();
    }
}

#endif

}  // namespace

LsbTallies TallyLsbs(const PixelGrid& image) {
    LsbTallies result;
    if (!IsWhole(image)) return result;
    result.ok = true;
    const int w = image.width;
    const int h = image.height;
    PassTally t;
    // Whole blocks go to the vector code, the rest of each row to the
    // plain code.
    int blocks = 0;
#if defined(__SSE2__)
    blocks = w / kBlockPixels;
    std::vector<SplitPixels> split(static_cast<size_t>(2 * blocks));
    std::array<std::array<uint64_t, LaneCounts::kCounts>, 3> totals{};
#endif
    const int tail = blocks * kBlockPixels;
    for (int y = 0; y < h; ++y) {
        const uint32_t* row = &image.pixels[static_cast<size_t>(y) * static_cast<size_t>(w)];
        const uint32_t* above = y > 0 ? row - w : nullptr;
#if defined(__SSE2__)
        if (blocks > 0) {
            SplitPixels* current = split.data() + (y & 1) * blocks;
            const SplitPixels* previous = split.data() + ((y + 1) & 1) * blocks;
            for (int k = 0; k < blocks; ++k) SplitBlock(row + k * kBlockPixels, current[k]);
            TallyBlocks(current, above ? previous : nullptr, blocks, totals);
        }
#endif
        TallyRowGroups(t, row, tail, w);
        TallyPairs(t, row, row, 1, std::max(tail - 1, 0), w - 1);
        if (above) TallyPairs(t, above, row, 0, tail, w);
    }
#if defined(__SSE2__)
    for (int ch = 0; ch < 3; ++ch) {
        const auto& k = totals[ch];
        for (int i = 0; i < 8; ++i) t.groups[ch][i] += static_cast<int64_t>(k[i]);
        t.pairs[ch][kEqualPair] += static_cast<int64_t>(k[8]);
        t.pairs[ch][kLsbOnlyPair] += static_cast<int64_t>(k[9]);
        t.pairs[ch][kOddStepEvenLow] += static_cast<int64_t>(k[10] - k[9]);
        t.pairs[ch][kOddStepOddLow] += static_cast<int64_t>(k[11]);
    }
#endif
    for (int ch = 0; ch < 3; ++ch) {
        Add(result.groups[ch], t.groups[ch]);
        result.pairs[ch] = ToCounts(t.pairs[ch]);
    }
    return result;
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

bool ExpectedReplacement::InView(int& x, int& y) const {
    if (!base_.ok) return false;
    if (step_ == 2) {
        if ((x & 1) != dx_ || (y & 1) != dy_) return false;
        x >>= 1;
        y >>= 1;
    }
    return x >= 0 && y >= 0 && x < width_ && y < height_;
}

void ExpectedReplacement::Prefetch(int x, int y) const {
    if (!InView(x, y)) return;
    for (int row = std::max(y - 1, 0); row <= std::min(y + 1, height_ - 1); ++row) {
        __builtin_prefetch(&image_.pixels[static_cast<size_t>(step_ * row + dy_) * image_.width + step_ * x + dx_]);
        __builtin_prefetch(&replaced_[Index(x, row)]);
    }
}

int ExpectedReplacement::SampleAt(int x, int y, int channel) const {
    return Sample(image_.at(step_ * x + dx_, step_ * y + dy_), channel);
}

void ExpectedReplacement::Replace(int x, int y, uint32_t lsbs) {
    if (!InView(x, y)) return;
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
    // Half the images the group could be before now carry the added sample
    // flipped: each moves half its weight from the unflipped to the flipped
    // values.
    const int weight = static_cast<int>(kGroupScale >> (kBitsIn[random] + 1));
    const unsigned flip = 1u << added;
    for (unsigned s = random;; s = (s - 1) & random) {
        for (const unsigned m : {s, s | flip})
            TallyGroup(counts, v[0] ^ static_cast<int>(m & 1), v[1] ^ static_cast<int>(m >> 1 & 1),
                       v[2] ^ static_cast<int>(m >> 2 & 1), v[3] ^ static_cast<int>(m >> 3 & 1),
                       m == s ? -weight : weight);
        if (s == 0) break;
    }
}

void ExpectedReplacement::Pair(int x0, int y0, int x1, int y1, int added, int channel) {
    const int u = SampleAt(x0, y0, channel), v = SampleAt(x1, y1, channel);
    unsigned random = (replaced_[Index(x0, y0)] >> channel & 1) | (replaced_[Index(x1, y1)] >> channel & 1) << 1;
    PairTally& counts = pairs_[channel];
    const int64_t weight = kPairScale >> (kBitsIn[random] + 1);
    const unsigned flip = 1u << added;
    for (unsigned s = random;; s = (s - 1) & random) {
        for (const unsigned m : {s, s | flip})
            counts[ClassOf(u ^ static_cast<int>(m & 1), v ^ static_cast<int>(m >> 1))] +=
                m == s ? -weight : weight;
        if (s == 0) break;
    }
}

LsbTallies ExpectedReplacement::Tallies() const {
    if (!base_.ok) return {};
    LsbTallies t = base_;
    for (int ch = 0; ch < 3; ++ch) {
        Add(t.groups[ch], groups_[ch], kGroupScale);
        Add(t.pairs[ch], ToCounts(pairs_[ch], kPairScale));
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
