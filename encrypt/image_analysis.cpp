#include "encrypt/image_analysis.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "core/hidden_message.hpp"
#include "core/number_format.hpp"

namespace corvane {
namespace {

constexpr uint32_t kLsbMask = 0x010101u;

// A grid whose pixel store matches its size; anything else counts as empty
// so that no read can leave the store.
bool IsWhole(const PixelGrid& g) {
    return !g.empty() && g.pixels.size() == static_cast<size_t>(g.width) * static_cast<size_t>(g.height);
}

int SetLsbs(uint32_t c) { return static_cast<int>((c & 1u) + ((c >> 8) & 1u) + ((c >> 16) & 1u)); }

// A share 0...1 as a graph row 100...0.
int GraphRow(double share) { return static_cast<int>(Nearest(100.0 - share * 100.0)); }

uint32_t ViewColour(uint32_t c, int32_t mode) {
    const uint32_t r = (c & 0x1u) ? 255 : 0;
    const uint32_t g = (c & 0x100u) ? 255 : 0;
    const uint32_t b = (c & 0x10000u) ? 255 : 0;
    constexpr uint32_t kUnset = Rgb(200, 200, 200);
    switch (mode) {
        case kLsbViewRed: return r ? Rgb(200, 0, 0) : kUnset;
        case kLsbViewGreen: return g ? Rgb(0, 100, 0) : kUnset;
        case kLsbViewBlue: return b ? Rgb(0, 0, 200) : kUnset;
        default: return Rgb(r, g, b);
    }
}

// Level for each rounded mean deviation d: 50 x log10(255 / d), 255 when flat.
std::array<uint8_t, 256> MakeLevels() {
    std::array<uint8_t, 256> t{};
    t[0] = 255;
    for (int d = 1; d < 256; ++d) {
        const double s = static_cast<double>(d) * d;
        t[d] = static_cast<uint8_t>(Nearest(std::log10(255.0 / std::sqrt(s)) * 20 * 2.5));
    }
    return t;
}

}  // namespace

PixelGrid LsbView(const PixelGrid& image, int32_t mode, const PixelGrid& reference) {
    if (!IsWhole(image)) return {};
    PixelGrid view(image.width, image.height);
    if (mode != kLsbViewDiff) {
        for (size_t i = 0; i < image.pixels.size(); ++i) view.pixels[i] = ViewColour(image.pixels[i], mode);
        return view;
    }
    const bool referenceWhole = IsWhole(reference);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            uint32_t differing = kLsbMask;
            if (referenceWhole && x < reference.width && y < reference.height)
                differing = (image.at(x, y) ^ reference.at(x, y)) & kLsbMask;
            view.at(x, y) = differing * 255u;
        }
    }
    return view;
}

ColumnGraph ComputeColumnGraph(const PixelGrid& image) {
    ColumnGraph graph;
    if (!IsWhole(image)) return graph;
    const int w = image.width;
    const int h = image.height;
    std::vector<int64_t> sums(static_cast<size_t>(w), 0);
    std::vector<int64_t> steps(static_cast<size_t>(w), 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t c = image.at(x, y);
            sums[x] += SetLsbs(c);
            if (y > 0) steps[x] += SetLsbs((c ^ image.at(x, y - 1)) & kLsbMask);
        }
    }
    graph.green.resize(static_cast<size_t>(w));
    graph.yellow.resize(static_cast<size_t>(w));
    const double lsbs = 3.0 * h;
    const double rowSteps = 3.0 * h - 3.0;
    for (int x = 0; x < w; ++x) {
        graph.green[x] = GraphRow(static_cast<double>(sums[x]) / lsbs);
        // A single row has no steps between rows; show it as none instead of
        // dividing by zero.
        graph.yellow[x] = GraphRow(rowSteps > 0 ? static_cast<double>(steps[x]) / rowSteps : 0.0);
    }
    return graph;
}

double ChiSquaredStatistic(std::span<const double> observed, std::span<const double> expected) {
    const size_t n = std::min(observed.size(), expected.size());
    double x = 0;
    for (size_t i = 0; i < n; ++i) {
        const double e = expected[i] == 0 ? 0.00001 : expected[i];
        const double d = observed[i] - e;
        x += d * d / e;
    }
    return x;
}

double ChiSquaredStep(double x) {
    if (x < 0.1026) return 0.0;
    static constexpr struct {
        double upTo;
        double step;
    } kTable[] = {{0.325, 0.1},  {0.5754, 0.2}, {0.8616, 0.3}, {1.1957, 0.4}, {1.597, 0.5},
                  {2.0996, 0.6}, {2.7726, 0.7}, {3.7942, 0.8}, {5.9915, 0.9}};
    for (const auto& row : kTable)
        if (x <= row.upTo) return row.step;
    return 1.0;
}

double ChiSquaredProbability(std::span<const double> observed, std::span<const double> expected) {
    return ChiSquaredStep(ChiSquaredStatistic(observed, expected));
}

std::optional<ChiSquaredColumns> ComputeChiSquared(const PixelGrid& image, const PixelGrid& reference) {
    if (!IsWhole(image) || !IsWhole(reference) || image.width != reference.width ||
        image.height != reference.height)
        return std::nullopt;
    const int w = image.width;
    // Set-LSB counts per column and channel, gathered row by row.
    std::vector<std::array<int64_t, 3>> observed(static_cast<size_t>(w)), expected(static_cast<size_t>(w));
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t o = image.at(x, y);
            const uint32_t e = reference.at(x, y);
            for (int c = 0; c < 3; ++c) {
                observed[x][c] += (o >> (8 * c)) & 1u;
                expected[x][c] += (e >> (8 * c)) & 1u;
            }
        }
    }
    ChiSquaredColumns result;
    result.probability.resize(static_cast<size_t>(w));
    result.red.resize(static_cast<size_t>(w));
    double total = 0;
    for (int x = 0; x < w; ++x) {
        const std::array<double, 3> o{static_cast<double>(observed[x][0]), static_cast<double>(observed[x][1]),
                                      static_cast<double>(observed[x][2])};
        const std::array<double, 3> e{static_cast<double>(expected[x][0]), static_cast<double>(expected[x][1]),
                                      static_cast<double>(expected[x][2])};
        const double p = ChiSquaredProbability(o, e);
        result.probability[x] = p;
        result.red[x] = GraphRow(p);
        total += p;
    }
    result.average = static_cast<float>(total) / static_cast<float>(w);
    result.averageText = FormatNumber(result.average, "0.000%");
    return result;
}

PsnrResult ComputePsnr(const PixelGrid& reference, const PixelGrid& image) {
    PsnrResult result;
    if (!IsWhole(reference)) {
        result.text = kNoReferenceMessage;
        return result;
    }
    if (!IsWhole(image) || image.width < reference.width || image.height < reference.height) {
        result.text = kImageSmallerMessage;
        return result;
    }
    int64_t sums[3] = {0, 0, 0};
    for (int y = 0; y < reference.height; ++y) {
        for (int x = 0; x < reference.width; ++x) {
            const uint32_t a = reference.at(x, y);
            const uint32_t b = image.at(x, y);
            for (int c = 0; c < 3; ++c) {
                const int64_t d = static_cast<int64_t>((a >> (8 * c)) & 0xFF) - static_cast<int64_t>((b >> (8 * c)) & 0xFF);
                sums[c] += d * d;
            }
        }
    }
    const double pixels = static_cast<double>(reference.width) * reference.height;
    double psnr[3];
    for (int c = 0; c < 3; ++c) {
        const double mse = static_cast<double>(sums[c]) / pixels;
        psnr[c] = mse <= 0 ? 100.0 : 20.0 * std::log10(255.0 / std::sqrt(mse));
    }
    result.ok = true;
    result.red = psnr[0];
    result.green = psnr[1];
    result.blue = psnr[2];
    result.text = u"R:" + FormatNumber(psnr[0], "00.00") + u" G:" + FormatNumber(psnr[1], "00.00") + u" B:" +
                  FormatNumber(psnr[2], "00.00");
    return result;
}

PixelGrid VariationMapOfChannel(const PixelGrid& image, int channel) {
    if (!IsWhole(image) || channel < 1 || channel > 3) return {};
    static const std::array<uint8_t, 256> kLevels = MakeLevels();
    const int shift = 8 * (channel - 1);
    PixelGrid map(image.width, image.height, kClearedViewColour);
    for (int y = 1; y <= image.height - 2; ++y) {
        for (int x = 1; x <= image.width - 2; ++x) {
            int v[9];
            for (int i = 0; i < 9; ++i) v[i] = static_cast<int>((image.at(x - 1 + i % 3, y - 1 + i / 3) >> shift) & 0xFF);
            const uint32_t grey = 255u - kLevels[BlockDeviation(v)];
            map.at(x, y) = Rgb(grey, grey, grey);
        }
    }
    return map;
}

std::optional<PixelGrid> VariationMap(const PixelGrid& image, int32_t lsbViewMode, Reporter& reporter) {
    if (lsbViewMode < kLsbViewRed || lsbViewMode > kLsbViewBlue) {
        reporter.Message(kNoVariationColourMessage, MessageIcon::Information);
        return std::nullopt;
    }
    return VariationMapOfChannel(image, lsbViewMode);
}

ImageAnalysisResult AnalyseImage(const PixelGrid& image, int32_t lsbViewMode, const PixelGrid& reference) {
    ImageAnalysisResult result;
    result.view = LsbView(image, lsbViewMode, reference);
    result.graph = ComputeColumnGraph(image);
    result.chiSquared = ComputeChiSquared(image, reference);
    return result;
}

}  // namespace corvane
