#include "encrypt/embedding_steps.hpp"

#include <algorithm>

#include "core/number_format.hpp"
#include "core/platform.hpp"

namespace corvane {
namespace {

// out = image XOR key over the image's size, the key aligned top-left. The
// operation refuses keys smaller than the image; a step run on its own with
// one leaves the uncovered pixels as they are rather than read past the key.
void XorInto(const PixelGrid& image, const PixelGrid& key, PixelGrid& out) {
    const size_t w = static_cast<size_t>(std::max(image.width, 0));
    const size_t h = static_cast<size_t>(std::max(image.height, 0));
    const size_t kw = static_cast<size_t>(std::max(key.width, 0));
    const size_t kh = static_cast<size_t>(std::max(key.height, 0));
    out.width = image.width;
    out.height = image.height;
    out.pixels.resize(w * h);
    for (size_t y = 0; y < h; ++y) {
        const uint32_t* c = image.pixels.data() + y * w;
        uint32_t* o = out.pixels.data() + y * w;
        const size_t covered = y < kh ? std::min(w, kw) : 0;
        if (covered > 0) {
            const uint32_t* k = key.pixels.data() + y * kw;
            for (size_t x = 0; x < covered; ++x) o[x] = (c[x] ^ k[x]) & 0xFFFFFFu;
        }
        for (size_t x = covered; x < w; ++x) o[x] = c[x] & 0xFFFFFFu;
    }
}

}  // namespace

double EncodeStats::Share() const {
    const double values = 3.0 * width * height;
    return values > 0 ? static_cast<double>(changedCount) / values : 0.0;
}

std::u16string EncodeStats::Text() const {
    const double pixels = static_cast<double>(width) * height;
    const double bpp = pixels > 0 ? static_cast<double>(totalBits) / pixels : 0.0;
    return FormatNumber(Share(), "0.000%") + u" / " + FormatNumber(bpp, "0.000") + u"bpp";
}

uint32_t EncodeStats::Colour() const {
    const double s = Share();
    if (s <= 0.05) return kStatsGoodColour;
    if (s <= 0.1) return kStatsWarningColour;
    return kStatsBadColour;
}

void KeyDelimiters(std::u16string_view comment, std::u16string& start, std::u16string& end) {
    auto mid = [&](size_t from1, size_t length) {
        if (from1 - 1 >= comment.size()) return std::u16string();
        return std::u16string(comment.substr(from1 - 1, length));
    };
    start = mid(2, 10);
    end = mid(13, 10);
}

EmbeddingSteps::EmbeddingSteps() : builder_(&BuildContainer), clock_(&TickCount) {}

BuildStatus EmbeddingSteps::BuildContainerText(std::u16string_view message, std::u16string_view keyComment,
                                               bool compress, std::u16string& container) const {
    std::u16string start, end;
    KeyDelimiters(keyComment, start, end);
    return builder_(message, start, end, compress, container);
}

void EmbeddingSteps::Step1(const PixelGrid& carrier, const PixelGrid& key) {
    XorInto(carrier, key, xorPlane_);
}

StepStatus EmbeddingSteps::Step2(const PixelGrid& carrier, std::u16string_view message,
                                 std::u16string_view keyComment, int32_t keySeed, bool compress,
                                 SequenceRandom& rng, StepsReporter& reporter) {
    const int w = carrier.width, h = carrier.height;
    if (xorPlane_.width != w || xorPlane_.height != h) return StepStatus::NeedsStep1;
    const BuildStatus built = BuildContainerText(message, keyComment, compress, container_);
    if (built == BuildStatus::CompressionError) {
        reporter.Message(u"COMPRESSION ERROR", MessageIcon::Critical);
        return StepStatus::CompressionError;
    }
    if (built == BuildStatus::TooLong) return StepStatus::TooLong;
    const std::vector<uint8_t> bits = TextToBits(container_);
    const int64_t totalBits = static_cast<int64_t>(bits.size());

    messagePlane_ = xorPlane_;
    mark_.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    taken_.clear();
    stats_ = EncodeStats{0, totalBits, w, h};

    // The search takes the skipped positions, one per bit, and one more.
    const int64_t wanted = kSkippedPositions + totalBits + 1;
    taken_.reserve(static_cast<size_t>(wanted));
    PositionSequence positions(carrier, keySeed, rng, wanted);
    int64_t bitIndex = 1;  // the next bit to place, from 1
    int64_t takenCount = 0;
    bool placedAll = false;
    for (int column = 0; column < w && !placedAll; ++column) {
        reporter.Progress(FormatNumber(static_cast<double>(bitIndex) / static_cast<double>(totalBits), "0.00%"));
        reporter.PendingEvents();
        for (int row = 0; row < h; ++row) {
            PositionSequence::Position p;
            if (!positions.Next(p)) {
                // Running out just after the last bit costs nothing: the
                // extra position carries none.
                placedAll = bitIndex > totalBits;
                break;
            }
            mark_[static_cast<size_t>(p.y) * w + p.x] = 1;
            taken_.push_back(p);
            if (takenCount < kSkippedPositions) {
                ++takenCount;
                continue;
            }
            ++takenCount;
            const uint32_t pix = xorPlane_.at(p.x, p.y);
            if (bitIndex > totalBits) {
                placedAll = true;
                break;
            }
            if (ParityBit(pix) == bits[static_cast<size_t>(bitIndex - 1)]) {
                messagePlane_.at(p.x, p.y) = pix;
            } else {
                messagePlane_.at(p.x, p.y) = pix ^ ChannelBit(p.channel);
                ++stats_.changedCount;
            }
            ++bitIndex;
        }
        if (positions.Exhausted()) break;
    }
    if (!placedAll) placedAll = bitIndex > totalBits;
    reporter.Progress(u"100.00%");
    reporter.PendingEvents();
    rng.Seed(clock_());
    reporter.StatsLabel(stats_.Text(), stats_.Colour());
    return placedAll ? StepStatus::Done : StepStatus::PositionsExhausted;
}

void EmbeddingSteps::Step3(const PixelGrid& key) {
    XorInto(messagePlane_, key, outputPlane_);
}

}  // namespace corvane
