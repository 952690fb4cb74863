#include "decrypt/decrypt_operation.hpp"

#include <cctype>
#include <string_view>
#include <vector>

#include "decrypt/decrypt_texts.hpp"
#include "core/code_page.hpp"
#include "core/hidden_message.hpp"
#include "core/number_format.hpp"
#include "core/platform.hpp"
#include "core/sha256.hpp"
#include "core/wipe.hpp"

namespace corvane {
namespace {

// Watches the characters as they are read and tells when the container is
// complete: its start delimiter, its end delimiter after that, and the 64
// characters of the digest field after the end delimiter's ten. Parsing the
// text read up to there gives what parsing the whole window gives, since the
// container's first start delimiter, its first end delimiter and everything
// between them and the digest lie inside it.
class ContainerWatch {
public:
    ContainerWatch(std::u16string_view start, std::u16string_view end) : start_(start), end_(end) {}

    void Add(uint32_t bit) {
        unit_ |= (bit & 1u) << count_;
        if (++count_ < 16) return;
        text_.push_back(static_cast<char16_t>(unit_));
        unit_ = 0;
        count_ = 0;
        if (startAt_ == kNone) {
            if (EndsWith(start_)) {
                startAt_ = text_.size() - start_.size();
                // An end delimiter from the start on may already be complete.
                const size_t e = std::u16string_view(text_).find(end_, startAt_);
                if (e != std::u16string_view::npos) endAt_ = e;
            }
        } else if (endAt_ == kNone && EndsWith(end_) && text_.size() - end_.size() >= startAt_) {
            endAt_ = text_.size() - end_.size();
        }
    }
    bool Complete() const { return endAt_ != kNone && text_.size() >= endAt_ + 10 + 64; }

private:
    static constexpr size_t kNone = static_cast<size_t>(-1);
    bool EndsWith(std::u16string_view needle) const {
        return text_.size() >= needle.size() &&
               std::u16string_view(text_).substr(text_.size() - needle.size()) == needle;
    }

    std::u16string start_, end_;
    std::u16string text_;
    uint32_t unit_ = 0;
    int count_ = 0;
    size_t startAt_ = kNone;
    size_t endAt_ = kNone;
};

// Reads the parities at the drawn positions only, from the image and the key
// themselves, and stops once the container is complete (unless the whole
// window is asked for). False when asked to stop.
bool ReadBits(const PixelGrid& image, const PixelGrid& key, const DecryptInputs& in, const KeyParams& params,
              DecryptReporter& reporter, SequenceRandom& rng, std::vector<uint8_t>& bits) {
    const int64_t passes = ReadingPasses(image.width);
    const double passShare = image.width * 0.15;
    PositionSequence positions(image, in.keySeed, rng);
    ContainerWatch watch(params.startDelimiter, params.endDelimiter);
    PositionSequence::Position p;
    for (int64_t pass = 0; pass <= passes; ++pass) {
        if (reporter.StopRequested()) return false;
        reporter.ProgressFraction(passShare > 0 ? static_cast<double>(pass) / passShare : 0.0);
        for (int row = 0; row < image.height; ++row) {
            // A smooth image can hold fewer textured pixels than the window
            // has positions: what was read up to there is all it holds.
            if (!positions.Next(p)) return true;
            const uint8_t bit = static_cast<uint8_t>(ParityBit(image.at(p.x, p.y) ^ KeyAt(key, p.x, p.y)));
            bits.push_back(bit);
            watch.Add(bit);
            if (!in.readWholeWindow && watch.Complete()) return true;
        }
    }
    return true;
}

}  // namespace

std::u16string_view DecryptRefusal(const PixelGrid& image, const PixelGrid& key, const DecryptInputs& in) {
    if (in.imagePath.empty()) return decrypt_texts::kNoImage;
    if (in.keyPath.empty()) return decrypt_texts::kNoKey;
    KeyParams params;
    if (!KeyParameters(in.keyComment, params)) return decrypt_texts::kSelectKey;
    // Outside the key the XOR has nothing to work with: refuse rather than
    // read a message that cannot be there.
    if (key.width < image.width) return decrypt_texts::kKeyTooNarrow;
    if (key.height < image.height) return decrypt_texts::kKeyTooLow;
    return {};
}

void ReadHiddenMessage(const PixelGrid& image, const PixelGrid& key, const DecryptInputs& in,
                       DecryptReporter& reporter, SequenceRandom& rng, DecryptResult& r) {
    KeyParams params;
    KeyParameters(in.keyComment, params);
    reporter.ProgressFraction(0.0);
    std::vector<uint8_t> bits;
    const bool complete = ReadBits(image, key, in, params, reporter, rng, bits);
    r.positionsRead = static_cast<int64_t>(bits.size());
    if (!complete) {
        r.status = DecryptStatus::Stopped;
        return;
    }
    const uint64_t window = static_cast<uint64_t>(image.width) * static_cast<uint64_t>(image.height);
    const std::u16string text = BitsToText(bits, window);
    reporter.ProgressFraction(1.0);

    ParsedContainer parsed = ParseContainer(text, params.startDelimiter, params.endDelimiter);
    r.digestField = parsed.digestField;
    if (parsed.status == ParseStatus::Found) r.message = std::move(parsed.message);
    r.digest = CSHA256().SHA256(r.message);
    r.verified = r.digestField == std::u16string(r.digest.begin(), r.digest.end());
    switch (parsed.status) {
        case ParseStatus::Found: r.status = DecryptStatus::Found; break;
        case ParseStatus::DecompressionError: r.status = DecryptStatus::DecompressionError; break;
        default: r.status = DecryptStatus::NotFound; break;
    }
}

void DeliverAndWipe(const DecryptInputs& in, DecryptReporter& reporter, SequenceRandom& rng, DecryptResult& r) {
    r.delivered = reporter.MessageFound(r.message);
    if (!r.delivered) {
        reporter.Log(decrypt_texts::kNotDelivered);
        return;
    }
    if (!r.verified && (in.wipeKey || in.wipeImage)) {
        // A damaged message may still be mended from the image with its
        // key: neither is destroyed.
        reporter.Log(decrypt_texts::kDigestMismatchNothingWiped);
        return;
    }
    if (in.wipeKey) {
        r.keyWiped = WipeUsedFile(in.keyPath, decrypt_texts::kWipingKey, rng, reporter, r.keyWipeError);
        reporter.Wiped(in.keyPath, r.keyWiped);
    }
    // A key that could not be wiped ends the wiping: the image is kept.
    if (in.wipeImage && (!in.wipeKey || r.keyWiped)) {
        r.imageWiped = WipeUsedFile(in.imagePath, decrypt_texts::kWipingImage, rng, reporter, r.imageWipeError);
        reporter.Wiped(in.imagePath, r.imageWiped);
    } else if (in.wipeImage) {
        reporter.Log(decrypt_texts::kImageNotWiped);
    }
}

DecryptResult DecryptImage(const PixelGrid& image, const PixelGrid& key, const DecryptInputs& in,
                           DecryptReporter& reporter, SequenceRandom& rng) {
    DecryptResult r;
    if (const std::u16string_view refusal = DecryptRefusal(image, key, in); !refusal.empty()) {
        reporter.Message(refusal, MessageIcon::Information);
        r.refusal.assign(refusal);
        return r;
    }
    const uint32_t startTick = static_cast<uint32_t>(TickCount());
    ReadHiddenMessage(image, key, in, reporter, rng, r);
    if (r.status == DecryptStatus::Stopped) return r;
    if (r.status == DecryptStatus::Found)
        DeliverAndWipe(in, reporter, rng, r);
    else if (r.status == DecryptStatus::DecompressionError)
        reporter.Message(decrypt_texts::kDecompressionError, MessageIcon::Critical);
    else
        reporter.Message(decrypt_texts::kNotFound, MessageIcon::Information);
    reporter.DigestComputed(UpperHex(r.digest), r.verified);
    r.elapsedMilliseconds = static_cast<uint32_t>(TickCount()) - startTick;
    return r;
}

}  // namespace corvane
