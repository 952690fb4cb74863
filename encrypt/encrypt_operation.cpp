#include "encrypt/encrypt_operation.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "encrypt/encrypt_texts.hpp"
#include "core/code_page.hpp"
#include "core/image_file.hpp"
#include "core/number_format.hpp"
#include "core/platform.hpp"
#include "core/sha256.hpp"

namespace corvane {
namespace {

using encrypt_texts::kTooLarge;
// The generated names have 10,001 values; a folder that already holds this
// many of them in a row is treated as one that cannot be written.
constexpr int kMaxNameDraws = 64;

std::u16string Decimal(int64_t n) {
    const std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

// The five name digits: a draw times 10000 in single precision, rounded.
int DrawNameDigits(SequenceRandom& rng) {
    const float scaled = rng.Next() * 10000.0f;
    return static_cast<int>(Nearest(static_cast<double>(scaled)));
}

// Saves under prefix + digits + ending in `folder`, drawing new digits while
// the name is taken. `digits` holds the digits of the last name tried.
SaveStatus SaveUnderFreshName(const PixelGrid& grid, OutputKind kind, const std::string& folder,
                              std::u16string_view prefix, const SaveOptions& options, SequenceRandom& rng, int& digits,
                              std::string& path, std::string& reason) {
    SaveStatus status = SaveStatus::Failed;
    for (int draw = 0; draw < kMaxNameDraws; ++draw) {
        if (draw > 0) digits = DrawNameDigits(rng);
        path = JoinPath(folder, EncryptedFileName(prefix, digits, kind));
        status = SaveGridFile(grid, kind, path, options, &reason);
        if (status != SaveStatus::AlreadyExists) return status;
    }
    reason = "every name tried exists";
    return status;
}

}  // namespace

std::u16string EncryptFailureText(const EncryptResult& r) {
    switch (r.status) {
        case EncryptStatus::Saved:
            return Utf8ToText(r.keyWipeError.empty() ? r.carrierWipeError : r.keyWipeError);
        case EncryptStatus::Refused:
            return r.refusal;
        case EncryptStatus::CompressionError:
            return std::u16string(encrypt_texts::kCompressionError);
        case EncryptStatus::Unsuccessful:
            return std::u16string(encrypt_texts::kEncodeUnsuccessful) + u" " + std::u16string(encrypt_texts::kSaturation);
        case EncryptStatus::PositionsExhausted:
            return std::u16string(encrypt_texts::kEncodeUnsuccessful) + u" " +
                   std::u16string(encrypt_texts::kTooFewPixels);
        case EncryptStatus::NotSaved:
            return std::u16string(encrypt_texts::kNotSaved) + Utf8ToText(r.saveError);
        case EncryptStatus::NotReadBack:
            return std::u16string(encrypt_texts::kEncodeUnsuccessful) + u" " + std::u16string(encrypt_texts::kNotReadBack);
    }
    return u"failed";
}

void FixPixel(PixelGrid& carrier, int x, int y) {
    uint32_t& p = carrier.at(x, y);
    uint32_t fixed = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const uint32_t v = (p >> shift) & 0xFF;
        fixed |= (v >= 2 ? v - 2 : v + 2) << shift;
    }
    p = fixed;
}

std::string EncryptedFileName(std::u16string_view prefix, int digits, OutputKind kind) {
    std::string name = TextToUtf8(prefix);
    if (!name.empty()) name += "-";
    return name + FormatNumberAscii(digits, "00000") + OutputEnding(kind);
}

namespace {

// Why a container would not parse back to the message, or empty. The reader
// ends the payload at the first end delimiter after the start: a message
// holding it uncompressed would be saved and never read back whole.
std::u16string_view ReadBackRefusal(std::u16string_view container, const EncryptInputs& in, const std::string& digest) {
    std::u16string start, end;
    KeyDelimiters(in.keyComment, start, end);
    const ParsedContainer parsed = ParseContainer(container, start, end);
    if (parsed.status == ParseStatus::Found && parsed.message == in.message &&
        parsed.digestField == std::u16string(digest.begin(), digest.end()))
        return {};
    if (!in.compress && in.message.find(end) != std::u16string::npos) return encrypt_texts::kContainsEndDelimiter;
    return encrypt_texts::kWouldNotReadBack;
}

// Why a wipe that was asked for could not be done (a file with a second
// name, a link), or empty.
std::string WipeRefusals(const EncryptInputs& in) {
    if (in.wipeKey)
        if (std::string why = WipeRefusal(in.keyPath); !why.empty()) return why;
    if (in.wipeCarrier)
        if (std::string why = WipeRefusal(in.imagePath); !why.empty()) return why;
    return {};
}

// The input checks, in their order; false (the result says why) when one
// refuses. Only the digest label has changed then.
bool CheckInputs(const PixelGrid& carrier, const PixelGrid& key, const EncryptInputs& in, EmbeddingSteps& steps,
                 EncryptReporter& reporter, EncryptResult& r) {
    auto refuse = [&](std::u16string_view text) {
        reporter.Message(text, MessageIcon::Information);
        r.status = EncryptStatus::Refused;
        r.refusal.assign(text);
        return false;
    };
    const int w = carrier.width, h = carrier.height;
    if (in.message.empty()) return refuse(encrypt_texts::kNoMessage);
    if (in.keyPath.empty()) return refuse(encrypt_texts::kNoKey);
    if (in.imagePath.empty()) return refuse(encrypt_texts::kNoImage);
    if (key.width < w) return refuse(encrypt_texts::kKeyTooNarrow);
    if (key.height < h) return refuse(encrypt_texts::kKeyTooLow);
    if (16.0 * static_cast<double>(in.message.size()) > 0.8 * w * static_cast<double>(h)) return refuse(kTooLarge);
    // Without both whole delimiters the reader would look for the length
    // fields in the wrong place: the image could never be read back.
    if (in.keyComment.size() < 22) return refuse(encrypt_texts::kSelectKey);
    // The reader draws a fixed window of positions; a container that ends
    // past it would be saved but never found.
    std::u16string container;
    const BuildStatus built = steps.BuildContainerText(in.message, in.keyComment, in.compress, container);
    if (built == BuildStatus::CompressionError) {
        reporter.Message(encrypt_texts::kCompressionError, MessageIcon::Critical);
        r.status = EncryptStatus::CompressionError;
        return false;
    }
    if (built == BuildStatus::TooLong || !ContainerFitsWindow(static_cast<int64_t>(container.size()), w, h))
        return refuse(kTooLarge);
    if (const std::u16string_view why = ReadBackRefusal(container, in, r.digest); !why.empty()) return refuse(why);
    // Refused now rather than after the work, so that nothing is half done.
    if (const std::string why = WipeRefusals(in); !why.empty()) return refuse(Utf8ToText(why));
    return true;
}

// What the ledger knows of this key, for the entry made once the image is saved.
struct KeyUse {
    KeyIdentity id;
    std::string messageDigest;
    bool known = false;  // the ledger holds entries of the key
};

// Refuses a key that the ledger knows with another message, unless reuse
// was allowed: the caller asks and runs again. The same message again (a
// batch, another format) is no reuse. A ledger that cannot be read is
// reported and does not stop the work.
bool CheckKeyUse(const PixelGrid& key, const EncryptInputs& in, KeyUse& use, EncryptResult& r) {
    if (in.usedKeysPath.empty()) return true;
    use.id = IdentifyKey(key, in.keyComment);
    use.messageDigest = use.id.MessageDigest(in.message, in.compress);
    const UsedKeys ledger = ReadUsedKeys(in.usedKeysPath);
    r.ledgerWarning = ledger.warning;
    use.known = std::any_of(ledger.entries.begin(), ledger.entries.end(),
                            [&](const UsedKeyEntry& e) { return e.keyDigest == use.id.keyDigest; });
    // A message this key already hid (another carrier, another format, or a
    // reuse the user allowed before) adds nothing new to compare.
    const bool sameMessage = std::any_of(ledger.entries.begin(), ledger.entries.end(), [&](const UsedKeyEntry& e) {
        return e.keyDigest == use.id.keyDigest && e.messageDigest == use.messageDigest;
    });
    const UsedKeyEntry* other = OtherMessageOfKey(ledger, use.id.keyDigest, use.messageDigest);
    if (!other || sameMessage || in.allowKeyReuse) return true;
    r.status = EncryptStatus::Refused;
    r.keyReuse = *other;
    r.refusal = KeyReuseQuestion(*other);
    return false;
}

// Reads the container back from the output exactly as the decryptor will
// (its positions judged on the output, parities against the key, the text
// parsed between the key's delimiters) and requires the very message and
// its digest. Only the positions that hold the container are read: the
// decryptor's text has the same characters there, and only zeros after.
bool ReadsBack(const PixelGrid& key, const EncryptInputs& in, const EmbeddingSteps& steps, EncryptReporter& reporter,
               EncryptResult& r) {
    const PixelGrid& output = steps.OutputPlane();
    const int64_t want =
        std::min<int64_t>(ReadingWindowBits(output.width, output.height),
                          kSkippedPositions + 16 * static_cast<int64_t>(steps.ContainerText().size()));
    // A generator of its own: the program's must not go on with the key's
    // sequence (the name digits and the wipes draw from it next).
    SequenceRandom rng;
    PositionSequence positions(output, in.keySeed, rng, want);
    std::vector<uint8_t> bits;
    bits.reserve(static_cast<size_t>(std::max<int64_t>(want, 0)));
    PositionSequence::Position p;
    while (static_cast<int64_t>(bits.size()) < want && positions.Next(p))
        bits.push_back(static_cast<uint8_t>(ParityBit(output.at(p.x, p.y) ^ KeyAt(key, p.x, p.y))));
    std::u16string start, end;
    KeyDelimiters(in.keyComment, start, end);
    const ParsedContainer parsed = ParseContainer(BitsToText(bits, bits.size() + 1), start, end);
    if (parsed.status == ParseStatus::Found && parsed.message == in.message &&
        parsed.digestField == std::u16string(r.digest.begin(), r.digest.end()))
        return true;
    reporter.Log(encrypt_texts::kEncodeUnsuccessful);
    reporter.Log(encrypt_texts::kNotReadBack);
    reporter.EncodingFailed();
    r.status = EncryptStatus::NotReadBack;
    return false;
}

// Pass 1 and pass 2: the steps, then repairs of the carrier and the steps
// again until every taken position stays textured in the output (at most
// kMaxAdjustments more times). False (the result says why) when they fail.
bool EmbedAndVerify(PixelGrid& carrier, const PixelGrid& key, const EncryptInputs& in, EmbeddingSteps& steps,
                    EncryptReporter& reporter, SequenceRandom& rng, EncryptResult& r) {
    auto runSteps = [&] {
        steps.Step1(carrier, key);
        const StepStatus s =
            steps.Step2(carrier, key, in.message, in.keyComment, in.keySeed, in.compress, rng, reporter);
        if (s == StepStatus::Done) steps.Step3(carrier);
        return s;
    };
    auto stepsFailed = [&](StepStatus s) {
        if (s == StepStatus::Done) return false;
        if (s == StepStatus::CompressionError) {
            r.status = EncryptStatus::CompressionError;
        } else if (s == StepStatus::TooLong) {
            reporter.Message(kTooLarge, MessageIcon::Information);
            r.status = EncryptStatus::Refused;
            r.refusal.assign(kTooLarge);
        } else {
            reporter.Log(encrypt_texts::kEncodeUnsuccessful);
            reporter.Log(encrypt_texts::kTooFewPixels);
            reporter.EncodingFailed();
            r.status = EncryptStatus::PositionsExhausted;
        }
        return true;
    };

    reporter.Log(encrypt_texts::kPass1);
    if (stepsFailed(runSteps())) return false;

    // Flipping a position's own least significant bit can make its block too
    // smooth; the reader judges the saved image, so every taken position must
    // still pass there.
    reporter.Log(encrypt_texts::kPass2);
    int attempts = 0;
    int64_t badCount = 0;
    for (;;) {
        for (const auto& p : steps.Taken())
            if (EligibleChannel(steps.OutputPlane(), p.x, p.y) == 0) FixPixel(carrier, p.x, p.y);
        if (stepsFailed(runSteps())) return false;
        badCount = 0;
        for (const auto& p : steps.Taken())
            if (EligibleChannel(steps.OutputPlane(), p.x, p.y) == 0) ++badCount;
        if (badCount == 0 || attempts >= kMaxAdjustments) break;
        ++attempts;
        reporter.Log(std::u16string(encrypt_texts::kAdjustment) + Decimal(attempts) + u" (" + Decimal(badCount) +
                     u" pixels)");
    }
    r.adjustments = attempts;
    r.badCount = badCount;
    if (badCount > 0) {
        reporter.Log(encrypt_texts::kEncodeUnsuccessful);
        reporter.Log(encrypt_texts::kSaturation);
        reporter.EncodingFailed();
        r.status = EncryptStatus::Unsuccessful;
        return false;
    }
    return true;
}

// Saves the output to the given path, or under a fresh name in the working
// folder and else in the fallback root. False (with the folders tried and
// their reasons in the result) when no file was saved.
bool SaveOutput(const PixelGrid& output, const EncryptInputs& in, EncryptReporter& reporter, SequenceRandom& rng,
                EncryptResult& r) {
    // Before anything is destroyed, the saved file must be known to hold
    // what was meant: it is decoded again and compared.
    SaveOptions options;
    options.verify = in.wipeKey || in.wipeCarrier;
    std::string reason;
    if (!in.outputPath.empty()) {
        if (SaveGridFile(output, in.outputKind, in.outputPath, options, &reason) != SaveStatus::Saved) {
            r.saveError = in.outputPath + ": " + reason;
            return false;
        }
        r.savedPath = in.outputPath;
        reporter.Status(encrypt_texts::kSaved);
        reporter.Log(Utf8ToText(in.outputPath));
        return true;
    }
    int digits = DrawNameDigits(rng);
    const std::string root = in.root.empty() ? ApplicationFolder() : in.root;
    const std::string folder = JoinPath(root, kEncryptedFolder);
    std::string path;
    if (SaveUnderFreshName(output, in.outputKind, folder, in.prefix, options, rng, digits, path, reason) ==
        SaveStatus::Saved) {
        r.savedPath = path;
        reporter.Status(encrypt_texts::kSaved);
        reporter.Log(Utf8ToText(EncryptedFileName(in.prefix, digits, in.outputKind)));
        return true;
    }
    r.saveError = folder + ": " + reason;
    const std::string fallback = in.fallbackRoot.empty() ? FallbackRoot() : in.fallbackRoot;
    const std::string fallbackFolder = JoinPath(fallback, kEncryptedFolder);
    CreateFolders(fallbackFolder);
    if (SaveUnderFreshName(output, in.outputKind, fallbackFolder, u"", options, rng, digits, path, reason) !=
        SaveStatus::Saved) {
        r.saveError += "; " + fallbackFolder + ": " + reason;
        return false;
    }
    r.savedPath = path;
    r.savedToFallback = true;
    r.saveError.clear();
    reporter.Status(encrypt_texts::kSavedToFallback);
    reporter.Log(Utf8ToText(path));
    return true;
}

// The wipes asked for, after a save: the key, then the carrier's file. A
// key given as the carrier too is one file: it is wiped and reported once.
void WipeUsed(const EncryptInputs& in, EncryptReporter& reporter, SequenceRandom& rng, EncryptResult& r) {
    const bool oneFile = in.wipeKey && in.wipeCarrier && SameFile(in.keyPath, in.imagePath);
    if (in.wipeKey) {
        r.keyWiped = WipeUsedFile(in.keyPath, encrypt_texts::kWipingKey, rng, reporter, r.keyWipeError);
        reporter.Wiped(in.keyPath);
    }
    if (oneFile) {
        r.carrierWiped = r.keyWiped;
    } else if (in.wipeCarrier) {
        r.carrierWiped = WipeUsedFile(in.imagePath, encrypt_texts::kWipingCarrier, rng, reporter, r.carrierWipeError);
        reporter.Wiped(in.imagePath);
    }
}

// The ledger after a save. A key wiped now takes its entries with it: the
// wipe is what keeps it from hiding another message, and a line naming it
// would keep the link between this computer and the recipient's copy that
// the wipe was meant to break. A key whose file is gone (wiped earlier in a
// batch) gets no entry for the same reason.
void NoteKeyUse(const EncryptInputs& in, const KeyUse& use, EncryptReporter& reporter, EncryptResult& r) {
    if (in.usedKeysPath.empty()) return;
    std::string problem;
    if (r.keyWiped) {
        int removed = 0;
        if (use.known) problem = ForgetKey(in.usedKeysPath, use.id.keyDigest, removed);
    } else if (FileExists(in.keyPath)) {
        std::error_code ec;
        const std::filesystem::path saved = std::filesystem::absolute(r.savedPath, ec);
        const UsedKeyEntry entry{use.id.keyDigest, use.messageDigest, LedgerDateNow(),
                                 ec ? r.savedPath : saved.lexically_normal().string()};
        problem = RecordKeyUse(in.usedKeysPath, entry);
    }
    if (problem.empty()) return;
    r.ledgerWarning = "the used-key ledger was not updated: " + problem;
    reporter.Log(std::u16string(encrypt_texts::kLedgerWarning) + Utf8ToText(r.ledgerWarning));
}

}  // namespace

EncryptResult EncryptImage(PixelGrid& carrier, const PixelGrid& key, const EncryptInputs& in, EmbeddingSteps& steps,
                           EncryptReporter& reporter, SequenceRandom& rng) {
    EncryptResult r;
    const uint32_t startTick = static_cast<uint32_t>(TickCount());
    reporter.Status(u"");
    r.digest = CSHA256().SHA256(in.message);
    reporter.DigestComputed(UpperHex(r.digest));
    if (!CheckInputs(carrier, key, in, steps, reporter, r)) return r;
    KeyUse keyUse;
    if (!CheckKeyUse(key, in, keyUse, r)) return r;

    reporter.Status(encrypt_texts::kWorking);
    reporter.WorkStarted();
    if (!r.ledgerWarning.empty()) reporter.Log(std::u16string(encrypt_texts::kLedgerWarning) + Utf8ToText(r.ledgerWarning));
    if (!EmbedAndVerify(carrier, key, in, steps, reporter, rng, r) || !ReadsBack(key, in, steps, reporter, r)) {
        reporter.WorkEnded();
        return r;
    }

    const bool saved = SaveOutput(steps.OutputPlane(), in, reporter, rng, r);
    if (saved) {
        r.status = EncryptStatus::Saved;
        WipeUsed(in, reporter, rng, r);
        NoteKeyUse(in, keyUse, reporter, r);
    } else {
        // Keeping the key and the carrier is all that is left to do: without
        // a saved image they are the only copies of anything.
        reporter.Log(std::u16string(encrypt_texts::kNotSaved) + Utf8ToText(r.saveError));
        reporter.Log(encrypt_texts::kNothingWiped);
        r.status = EncryptStatus::NotSaved;
    }

    reporter.WorkEnded();
    const uint32_t elapsed = static_cast<uint32_t>(TickCount()) - startTick;
    r.elapsedSeconds = elapsed / 1000;
    reporter.Log(u"[" + Decimal(r.elapsedSeconds) + u" Seconds]");
    return r;
}

}  // namespace corvane
