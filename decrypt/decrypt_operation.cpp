#include "decrypt/decrypt_operation.hpp"

#include <cctype>
#include <vector>

#include "core/code_page.hpp"
#include "core/hidden_message.hpp"
#include "core/number_format.hpp"
#include "core/platform.hpp"
#include "core/sha256.hpp"
#include "core/wipe.hpp"

namespace corvane {
namespace {

std::u16string UpperHex(const std::string& hex) {
    std::u16string out;
    out.reserve(hex.size());
    for (char c : hex) out.push_back(static_cast<char16_t>(std::toupper(static_cast<unsigned char>(c))));
    return out;
}

// image XOR key over the image's size; the key covers the image.
PixelGrid XorPlane(const PixelGrid& image, const PixelGrid& key) {
    PixelGrid out(image.width, image.height);
    const size_t w = static_cast<size_t>(image.width);
    for (size_t y = 0; y < static_cast<size_t>(image.height); ++y) {
        const uint32_t* a = image.pixels.data() + y * w;
        const uint32_t* k = key.pixels.data() + y * static_cast<size_t>(key.width);
        uint32_t* o = out.pixels.data() + y * w;
        for (size_t x = 0; x < w; ++x) o[x] = (a[x] ^ k[x]) & 0xFFFFFFu;
    }
    return out;
}

}  // namespace

DecryptResult DecryptImage(const PixelGrid& image, const PixelGrid& key, const DecryptInputs& in,
                           DecryptReporter& reporter, SequenceRandom& rng) {
    DecryptResult r;
    auto refuse = [&](std::u16string_view text) {
        reporter.Message(text, MessageIcon::Information);
        r.status = DecryptStatus::Refused;
        r.refusal.assign(text);
        return r;
    };
    if (in.imagePath.empty()) return refuse(u"No Image File Selected.");
    if (in.keyPath.empty()) return refuse(u"No Keyfile Selected.");
    KeyParams params;
    if (!KeyParameters(in.keyComment, params)) return refuse(u"Please select a Key image file.");
    // Outside the key the XOR has nothing to work with: refuse rather than
    // read a message that cannot be there.
    if (key.width < image.width) return refuse(u"Key Pixel Width Too Small.");
    if (key.height < image.height) return refuse(u"Key Pixel Height Too Small.");

    const uint32_t startTick = static_cast<uint32_t>(TickCount());
    reporter.ElapsedLabel(u"");
    reporter.Busy(true);
    reporter.MessageText(u"");
    reporter.DigestLabel(u"", kDigestPendingColour);
    reporter.PendingEvents();

    const int w = image.width, h = image.height;
    r.xorPlane = XorPlane(image, key);
    reporter.Progress(u"0.00%");
    reporter.PendingEvents();

    const int64_t passes = ReadingPasses(w);
    const double passShare = w * 0.15;
    std::vector<uint8_t> bits;
    bits.reserve(static_cast<size_t>(ReadingWindowBits(w, h)));
    {
        PositionSequence positions(image, in.keySeed, rng, ReadingWindowBits(w, h));
        PositionSequence::Position p;
        // A smooth image can hold fewer textured pixels than the window has
        // positions: what was read up to there is all the image holds.
        bool exhausted = false;
        for (int64_t pass = 0; pass <= passes && !exhausted; ++pass) {
            reporter.Progress(FormatNumber(passShare > 0 ? static_cast<double>(pass) / passShare : 0.0, "0.00%"));
            reporter.PendingEvents();
            for (int row = 0; row < h; ++row) {
                if (!positions.Next(p)) {
                    exhausted = true;
                    break;
                }
                bits.push_back(static_cast<uint8_t>(ParityBit(r.xorPlane.at(p.x, p.y))));
            }
        }
        r.positionsRead = static_cast<int64_t>(bits.size());
    }
    const std::u16string text = BitsToText(bits, static_cast<uint64_t>(w) * static_cast<uint64_t>(h));
    reporter.Progress(u"100.00%");
    reporter.PendingEvents();

    ParsedContainer parsed = ParseContainer(text, params.startDelimiter, params.endDelimiter);
    r.digestField = parsed.digestField;
    if (parsed.status == ParseStatus::Found) r.message = std::move(parsed.message);
    r.digest = CSHA256().SHA256(r.message);
    r.verified = r.digestField == std::u16string(r.digest.begin(), r.digest.end());
    if (parsed.status == ParseStatus::Found) {
        r.status = DecryptStatus::Found;
        r.delivered = reporter.MessageText(r.message);
        if (!r.delivered) {
            reporter.Log(u"The message could not be delivered: nothing was wiped.");
        } else if (!r.verified && (in.wipeKey || in.wipeImage)) {
            // A damaged message may still be mended from the image with its
            // key: neither is destroyed.
            reporter.Log(u"Digest Mismatch: Nothing Wiped.");
        } else {
            if (in.wipeKey) {
                r.keyWiped = WipeUsedFile(in.keyPath, u"Wiping Key File.", rng, reporter, r.keyWipeError);
                reporter.RefreshKeyList();
            }
            // A key that could not be wiped ends the wiping: the image is kept.
            if (in.wipeImage && (!in.wipeKey || r.keyWiped)) {
                r.imageWiped = WipeUsedFile(in.imagePath, u"Wiping Image File.", rng, reporter, r.imageWipeError);
                reporter.RefreshImageList();
            } else if (in.wipeImage) {
                reporter.Log(u"Image File Not Wiped.");
            }
        }
    } else if (parsed.status == ParseStatus::DecompressionError) {
        r.status = DecryptStatus::DecompressionError;
        reporter.Message(u"DECOMPRESSION ERROR", MessageIcon::Critical);
    } else {
        r.status = DecryptStatus::NotFound;
        reporter.Message(u"Message Text Not Found.", MessageIcon::Information);
    }

    reporter.DigestLabel(UpperHex(r.digest), r.verified ? kDigestVerifiedColour : kDigestMismatchColour);
    r.elapsedMilliseconds = static_cast<uint32_t>(TickCount()) - startTick;
    reporter.ElapsedLabel(u"[" + FormatNumber(static_cast<double>(r.elapsedMilliseconds) * 0.001, "#,##0") +
                          u" Seconds]");
    reporter.Busy(false);
    return r;
}

}  // namespace corvane
