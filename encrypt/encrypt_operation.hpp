#pragma once
// The encrypt operation: checks the inputs, embeds the message, verifies
// that every taken position stays textured in the result (repairing the
// carrier and embedding again where one does not), saves the result under a
// fresh name and optionally wipes the key and the carrier's file.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/image_formats.hpp"
#include "core/pixel_grid.hpp"
#include "core/sequence_random.hpp"
#include "core/wipe.hpp"
#include "encrypt/embedding_steps.hpp"
#include "encrypt/used_keys.hpp"

namespace corvane {

// Verification rounds after the first embedding that may still repair pixels.
inline constexpr int kMaxAdjustments = 6;

// The encryptor window's state that the operation reads.
struct EncryptInputs {
    std::u16string message;
    std::string imagePath;  // the carrier's file; empty when none is selected
    std::string keyPath;    // the key's file; empty when none is selected
    std::u16string keyComment;
    int32_t keySeed = 0;
    bool compress = true;
    OutputKind outputKind = OutputKind::Png;
    std::u16string prefix;  // the file-name prefix, without its dash
    bool wipeKey = false;
    bool wipeCarrier = false;
    // The application folder: images are saved below it, in "Encrypted Images".
    std::string root;
    // Where saving falls back to; empty for the user's fallback root.
    std::string fallbackRoot;
    // When set, the one path to save to (no generated name, no fallback).
    std::string outputPath;
    // The used-key ledger (UsedKeysPath()); empty when none is kept. With
    // one, a key that hid another message before is refused (keyReuse in
    // the result) unless allowKeyReuse is set, and every saved image adds
    // an entry, except that of a key wiped by now.
    std::string usedKeysPath;
    bool allowKeyReuse = false;
};

// What an encryption reports besides its log: the digest, when the work past
// the checks starts and ends, how the embedding failed, and the files wiped.
class EncryptReporter : public StepsReporter {
public:
    // The message digest in upper case, computed before any check.
    virtual void DigestComputed(std::u16string_view upperHex) { (void)upperHex; }
    // The checks passed: embedding, saving and wiping begin. WorkEnded
    // follows on every path from here, before the elapsed time is logged.
    virtual void WorkStarted() {}
    virtual void WorkEnded() {}
    // The embedding could not place the message (too few textured pixels, or
    // taken pixels that still fail after every adjustment).
    virtual void EncodingFailed() {}
    // The wipe of a used file has ended, whether or not it succeeded: the
    // file's folder has changed.
    virtual void Wiped(const std::string& path) { (void)path; }
};

enum class EncryptStatus {
    Saved,
    Refused,             // an input check failed; nothing changed but the digest
    CompressionError,    // "COMPRESSION ERROR"
    Unsuccessful,        // taken pixels still fail after every adjustment
    PositionsExhausted,  // the carrier has too few textured pixels
    NotSaved,            // no folder took the image; nothing wiped
    NotReadBack,         // the result would not give the message back; nothing saved or wiped
};

struct EncryptResult {
    EncryptStatus status = EncryptStatus::Refused;
    std::u16string refusal;  // the message of a failed check
    std::string digest;      // lowercase SHA-256 of the message
    std::string savedPath;   // full path of the saved image
    std::string saveError;   // why no image was saved: each folder tried and its reason
    bool savedToFallback = false;
    int adjustments = 0;     // "Adjustment" rounds run
    int64_t badCount = 0;    // taken positions failing after the last round
    bool keyWiped = false;
    bool carrierWiped = false;
    // Empty unless that wipe was asked for and failed.
    std::string keyWipeError;
    std::string carrierWipeError;
    int64_t elapsedSeconds = 0;
    // Refused because the ledger knows the key with another message: its
    // entry, and the question to ask in `refusal` (No is the safe answer;
    // Yes runs again with allowKeyReuse).
    std::optional<UsedKeyEntry> keyReuse;
    // A damaged, unreadable or unwritable ledger, also logged; it never
    // stops the work.
    std::string ledgerWarning;
    bool WipesFailed() const { return !keyWipeError.empty() || !carrierWipeError.empty(); }
};

// One press of "Encrypt Image". `carrier` is the displayed carrier and
// receives the repairs (a later encryption starts from them); `key` must be
// at least as large (checked). `steps` keeps the planes afterwards. `rng` is
// the program's generator: positions, name digits and wipe bytes come from it.
EncryptResult EncryptImage(PixelGrid& carrier, const PixelGrid& key, const EncryptInputs& inputs,
                           EmbeddingSteps& steps, EncryptReporter& reporter, SequenceRandom& rng = ProgramRandom());

// One key over several carriers (a batch, the command's carrier folder) is
// wiped at most once: after the run that wiped it, later runs leave it, since
// it is gone.
class KeyWipeOnce {
public:
    // Whether a run asked to wipe the key should still do so.
    bool Wanted(bool asked) const { return asked && !wiped_; }
    void After(const EncryptResult& result) { wiped_ = wiped_ || result.keyWiped; }
    bool Wiped() const { return wiped_; }
    // Another key: it has not been wiped.
    void Reset() { wiped_ = false; }

private:
    bool wiped_ = false;
};

// What a run that did not end well comes to, in one line: the refusal, the
// failure, or the wipe that failed.
std::u16string EncryptFailureText(const EncryptResult& result);

// Lowers every channel of a carrier pixel by 2 (raises those below 2), which
// changes its halved value and so its block's variation.
void FixPixel(PixelGrid& carrier, int x, int y);

// "prefix-" (or nothing) + five digits + the ending.
std::string EncryptedFileName(std::u16string_view prefix, int digits, OutputKind kind);

}  // namespace corvane
