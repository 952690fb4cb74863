#include "encrypt/embedding_steps.hpp"

#include <algorithm>

#include "encrypt/encrypt_texts.hpp"
#include "core/number_format.hpp"
#include "core/platform.hpp"

namespace corvane {
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

EmbeddingSteps::EmbeddingSteps() : builder_(&BuildContainer), clock_(&TickCount) {}

BuildStatus EmbeddingSteps::BuildContainerText(std::u16string_view message, std::u16string_view keyComment,
                                               bool compress, std::u16string& container) const {
    std::u16string start, end;
    KeyDelimiters(keyComment, start, end);
    return builder_(message, start, end, compress, container);
}

void EmbeddingSteps::Step1(const PixelGrid& carrier, const PixelGrid& key) {
    (void)key;
    width_ = carrier.width;
    height_ = carrier.height;
}

StepStatus EmbeddingSteps::Step2(const PixelGrid& carrier, const PixelGrid& key, std::u16string_view message,
                                 std::u16string_view keyComment, int32_t keySeed, bool compress,
                                 SequenceRandom& rng, StepsReporter& reporter) {
    const int w = carrier.width, h = carrier.height;
    if (width_ != w || height_ != h || carrier.empty()) return StepStatus::NeedsStep1;
    const BuildStatus built = BuildContainerText(message, keyComment, compress, container_);
    if (built == BuildStatus::CompressionError) {
        reporter.Message(encrypt_texts::kCompressionError, MessageIcon::Critical);
        return StepStatus::CompressionError;
    }
    if (built == BuildStatus::TooLong) return StepStatus::TooLong;
    const std::vector<uint8_t> bits = TextToBits(container_);
    const int64_t totalBits = static_cast<int64_t>(bits.size());

    taken_.clear();
    flipped_.clear();
    stats_ = EncodeStats{0, totalBits, w, h};

    // The search takes the skipped positions, one per bit, and one more.
    const int64_t wanted = kSkippedPositions + totalBits + 1;
    taken_.reserve(static_cast<size_t>(wanted));
    flipped_.reserve(static_cast<size_t>(wanted));
    PositionSequence positions(carrier, keySeed, rng, wanted);
    int64_t bitIndex = 1;  // the next bit to place, from 1
    int64_t takenCount = 0;
    bool placedAll = false;
    for (int column = 0; column < w && !placedAll; ++column) {
        reporter.ProgressFraction(static_cast<double>(bitIndex) / static_cast<double>(totalBits));
        for (int row = 0; row < h; ++row) {
            PositionSequence::Position p;
            if (!positions.Next(p)) {
                // Running out just after the last bit costs nothing: the
                // extra position carries none.
                placedAll = bitIndex > totalBits;
                break;
            }
            taken_.push_back(p);
            flipped_.push_back(0);
            // The first positions are skipped: they carry no bit.
            if (takenCount++ < kSkippedPositions) continue;
            if (bitIndex > totalBits) {
                placedAll = true;
                break;
            }
            if (ParityBit(carrier.at(p.x, p.y) ^ KeyAt(key, p.x, p.y)) != bits[static_cast<size_t>(bitIndex - 1)]) {
                flipped_.back() = 1;
                ++stats_.changedCount;
            }
            ++bitIndex;
        }
        if (positions.Exhausted()) break;
    }
    if (!placedAll) placedAll = bitIndex > totalBits;
    reporter.ProgressFraction(1.0);
    rng.Seed(clock_());
    reporter.Statistics(stats_);
    return placedAll ? StepStatus::Done : StepStatus::PositionsExhausted;
}

void EmbeddingSteps::Step3(const PixelGrid& carrier) {
    outputPlane_ = carrier;
    for (size_t i = 0; i < taken_.size(); ++i)
        if (flipped_[i]) outputPlane_.at(taken_[i].x, taken_[i].y) ^= ChannelBit(taken_[i].channel);
}

PixelGrid EmbeddingSteps::XorPlane(const PixelGrid& carrier, const PixelGrid& key) const {
    return ImageXorKey(carrier, key);
}

PixelGrid EmbeddingSteps::MessagePlane(const PixelGrid& carrier, const PixelGrid& key) const {
    PixelGrid plane = ImageXorKey(carrier, key);
    for (size_t i = 0; i < taken_.size(); ++i)
        if (flipped_[i]) plane.at(taken_[i].x, taken_[i].y) ^= ChannelBit(taken_[i].channel);
    return plane;
}

std::vector<uint8_t> EmbeddingSteps::Mark() const {
    if (width_ <= 0 || height_ <= 0 || (taken_.empty() && container_.empty())) return {};
    std::vector<uint8_t> mark(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0);
    for (const auto& p : taken_) mark[static_cast<size_t>(p.y) * static_cast<size_t>(width_) + p.x] = 1;
    return mark;
}

}  // namespace corvane
