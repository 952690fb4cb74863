#include "core/key_randomness.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace corvane {
namespace {

// The key is cut into blocks of about 64 x 64 pixels, and in each block
// eleven histograms of 256 values are taken: each channel's values, each
// channel's differences to the left and to the upper neighbour (mod 256),
// and green - red and blue - green of each pixel. In a key of independent
// uniform pixels every one of them is a multinomial sample of n draws from
// 256 equally likely values: differences along a row (or column) of
// independent uniform bytes are themselves independent and uniform, since
// (b0, b1 - b0, b2 - b1, ...) is a one-to-one image of (b0, b1, b2, ...).
//
// The statistic is D = n * KL(observed || uniform) in nats (half the G-test
// statistic). For any multinomial over k values and any t > k - 1,
//     P(D >= t) <= e^-t * (e * t / (k - 1))^(k - 1),
// the finite-sample relative-entropy bound, which holds for every n. With
// k = 256 and t = 430 the bound is below 1e-18. At most 1024 blocks x 11
// histograms are examined, so a random key fails this part with probability
// below 1.2e-14. For a random key D is close to half a chi-square with 255
// degrees of freedom: mean 127.5, standard deviation about 11, so the
// threshold lies over 25 deviations out. Slight biases stay far below it:
// the "Rnd" source's rounding (byte 0 half as likely, 255 one and a half
// times) costs 0.001 nats a draw, about 4 in a block. A picture does not:
// draws confined to half the values score at least n * ln 2, 2800 in a full
// block, and a flat block scores n * ln 256, 22700.
constexpr double kDeviationThreshold = 430.0;

enum Histogram {
    kRed,
    kGreen,
    kBlue,
    kRedAcross,
    kGreenAcross,
    kBlueAcross,
    kRedDown,
    kGreenDown,
    kBlueDown,
    kGreenLessRed,
    kBlueLessGreen,
    kHistogramCount
};

constexpr int kBlockSide = 64;
constexpr int kBlockPixels = kBlockSide * kBlockSide;
// A block takes the rest of its row or column when fewer than a whole block
// is left, so no block exceeds 127 x 127, nor about 8256 pixels when the
// key is narrower (or lower) than one block.
constexpr int kMaxBlockPixels = 127 * 127;
// Beyond this many blocks a spread-out sample is examined: 1024 blocks find
// any non-random share of a few percent, and keep a 256-megapixel key
// cheap.
constexpr int64_t kMaxBlocks = 1024;

using Counts = uint16_t[kHistogramCount][256];
static_assert(kMaxBlockPixels <= 65535, "a block's counts must fit 16 bits");

// c * ln c for every count a block can reach, so that a histogram costs no
// logarithm per value.
const double* CountLogCount() {
    static const std::vector<double> table = [] {
        std::vector<double> t(kMaxBlockPixels + 1, 0.0);
        for (int c = 1; c <= kMaxBlockPixels; ++c) t[c] = c * std::log(static_cast<double>(c));
        return t;
    }();
    return table.data();
}

// n * KL(counts || uniform) = sum c * ln(c * 256 / n).
double Deviation(const uint16_t* counts, const double* countLogCount) {
    int64_t n = 0;
    double sum = 0;
    for (int v = 0; v < 256; ++v) {
        n += counts[v];
        sum += countLogCount[counts[v]];
    }
    if (n == 0) return 0;
    return sum + static_cast<double>(n) * std::log(256.0 / static_cast<double>(n));
}

// One row of a block; withUp when the row above belongs to the block too.
template <bool withUp>
void CountRow(const uint32_t* row, const uint32_t* up, int x0, int x1, Counts& h) {
    uint32_t lr = 0, lg = 0, lb = 0;
    for (int x = x0; x < x1; ++x) {
        const uint32_t p = row[x];
        const uint32_t r = p & 0xFFu, g = (p >> 8) & 0xFFu, b = (p >> 16) & 0xFFu;
        ++h[kRed][r];
        ++h[kGreen][g];
        ++h[kBlue][b];
        ++h[kGreenLessRed][(g - r) & 0xFFu];
        ++h[kBlueLessGreen][(b - g) & 0xFFu];
        if (x > x0) {
            ++h[kRedAcross][(r - lr) & 0xFFu];
            ++h[kGreenAcross][(g - lg) & 0xFFu];
            ++h[kBlueAcross][(b - lb) & 0xFFu];
        }
        if constexpr (withUp) {
            const uint32_t q = up[x];
            ++h[kRedDown][(r - q) & 0xFFu];
            ++h[kGreenDown][(g - (q >> 8)) & 0xFFu];
            ++h[kBlueDown][(b - (q >> 16)) & 0xFFu];
        }
        lr = r;
        lg = g;
        lb = b;
    }
}

// The largest deviation of the block's histograms.
double BlockDeviation(const PixelGrid& key, int x0, int x1, int y0, int y1, Counts& h, const double* countLogCount) {
    std::memset(h, 0, sizeof(Counts));
    const size_t width = static_cast<size_t>(key.width);
    const uint32_t* pixels = key.pixels.data();
    CountRow<false>(pixels + static_cast<size_t>(y0) * width, nullptr, x0, x1, h);
    for (int y = y0 + 1; y < y1; ++y) {
        const uint32_t* row = pixels + static_cast<size_t>(y) * width;
        CountRow<true>(row, row - width, x0, x1, h);
    }
    double worst = 0;
    for (int i = 0; i < kHistogramCount; ++i) worst = std::max(worst, Deviation(h[i], countLogCount));
    return worst;
}

// The cut of one side into blocks: blocks of `side` pixels, the last one
// taking the rest.
struct Cut {
    int side = 0;
    int count = 0;
    int Begin(int i) const { return i * side; }
    int End(int i, int length) const { return i == count - 1 ? length : (i + 1) * side; }
};

// Sides below a block's grow the other side so that a block still holds
// about kBlockPixels pixels.
void CutIntoBlocks(int width, int height, Cut& across, Cut& down) {
    auto stretched = [](int other) { return std::max(kBlockSide, (kBlockPixels + other - 1) / other); };
    across.side = width < kBlockSide ? width : height < kBlockSide ? std::min(width, stretched(height)) : kBlockSide;
    down.side = height < kBlockSide ? height : width < kBlockSide ? std::min(height, stretched(width)) : kBlockSide;
    across.count = width / across.side;
    down.count = height / down.side;
}

// Runs of four pixels (96 random bits) in row-major order. Two distinct runs
// of a random key, overlapping or not, are equal with probability 2^-96, so
// among the at most 16384 runs sampled a random key shows a repeat with
// probability below 16384^2 / 2 * 2^-96 < 2e-21. A pattern repeated over the
// image, even one copied only once, repeats among that many runs by the
// birthday effect: the histograms cannot see a tile of random pixels.
constexpr int kRunPixels = 4;
constexpr size_t kMaxRuns = 16384;

uint64_t Mix(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint64_t RunHash(const uint32_t* run) {
    const uint64_t a = (run[0] & 0xFFFFFFull) | (static_cast<uint64_t>(run[1] & 0xFFFFFFu) << 32);
    const uint64_t b = (run[2] & 0xFFFFFFull) | (static_cast<uint64_t>(run[3] & 0xFFFFFFu) << 32);
    return Mix(a ^ Mix(b));
}

bool SameRun(const uint32_t* a, const uint32_t* b) {
    for (int i = 0; i < kRunPixels; ++i)
        if (((a[i] ^ b[i]) & 0xFFFFFFu) != 0) return false;
    return true;
}

int RepeatedRuns(const PixelGrid& key) {
    const size_t n = key.pixels.size();
    if (n < 2 * kRunPixels) return 0;
    // A small key is covered whole by disjoint runs; a large one is sampled
    // at positions from a fixed sequence, so a key always gets one verdict.
    const size_t disjoint = n / kRunPixels;
    const bool everyRun = disjoint <= kMaxRuns;
    const size_t runs = everyRun ? disjoint : kMaxRuns;
    size_t slots = 1;
    while (slots < 2 * runs) slots <<= 1;
    constexpr size_t kEmpty = std::numeric_limits<size_t>::max();
    struct Slot {
        uint64_t hash = 0;
        size_t position = kEmpty;
    };
    std::vector<Slot> table(slots);
    const uint32_t* pixels = key.pixels.data();
    uint64_t sequence = 0x6A09E667F3BCC909ull;
    int repeats = 0;
    for (size_t i = 0; i < runs; ++i) {
        size_t position;
        if (everyRun) {
            position = i * kRunPixels;
        } else {
            sequence += 0x9E3779B97F4A7C15ull;
            position = static_cast<size_t>(Mix(sequence) % (n - kRunPixels + 1));
        }
        const uint64_t hash = RunHash(pixels + position);
        for (size_t s = hash & (slots - 1);; s = (s + 1) & (slots - 1)) {
            Slot& slot = table[s];
            if (slot.position == kEmpty) {
                slot = {hash, position};
                break;
            }
            if (slot.position == position) break;  // the same run drawn twice
            if (slot.hash == hash && SameRun(pixels + slot.position, pixels + position)) {
                ++repeats;
                break;
            }
        }
    }
    return repeats;
}

}  // namespace

KeyRandomness ExamineKeyRandomness(const PixelGrid& key) {
    KeyRandomness result;
    if (key.width <= 0 || key.height <= 0) return result;
    const int64_t pixelCount = static_cast<int64_t>(key.width) * key.height;
    result.judged = true;
    // A grid whose store does not hold its pixels is no key at all, and must
    // not be read past its end.
    if (key.pixels.size() != static_cast<size_t>(pixelCount)) {
        result.looksRandom = false;
        return result;
    }
    if (pixelCount < kKeyRandomnessMinPixels) {
        result.judged = false;
        return result;
    }

    Cut across, down;
    CutIntoBlocks(key.width, key.height, across, down);
    const int64_t blocks = static_cast<int64_t>(across.count) * down.count;
    const int64_t examined = std::min(blocks, kMaxBlocks);
    const double* countLogCount = CountLogCount();
    Counts counts;
    for (int64_t i = 0; i < examined; ++i) {
        int bx, by;
        if (examined == blocks) {
            bx = static_cast<int>(i % across.count);
            by = static_cast<int>(i / across.count);
        } else {
            // A two-dimensional low-discrepancy sequence: the sample spreads
            // evenly whatever the key's shape, and no row or column of blocks
            // is left out systematically.
            const double u = std::fmod(0.5 + static_cast<double>(i) * 0.7548776662466927, 1.0);
            const double v = std::fmod(0.5 + static_cast<double>(i) * 0.5698402909980532, 1.0);
            bx = std::min(across.count - 1, static_cast<int>(u * across.count));
            by = std::min(down.count - 1, static_cast<int>(v * down.count));
        }
        const double deviation = BlockDeviation(key, across.Begin(bx), across.End(bx, key.width), down.Begin(by),
                                                down.End(by, key.height), counts, countLogCount);
        result.worstScore = std::max(result.worstScore, deviation / kDeviationThreshold);
        if (deviation >= kDeviationThreshold) {
            result.looksRandom = false;
            return result;
        }
    }

    result.repeatedRuns = RepeatedRuns(key);
    result.looksRandom = result.repeatedRuns == 0;
    return result;
}

}  // namespace corvane
