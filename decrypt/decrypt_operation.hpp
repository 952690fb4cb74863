#pragma once
// The decrypt operation: XORs the encrypted image with the key, reads the
// parities at the key's seeded positions, finds the container between the
// key's delimiters, checks the digest and optionally wipes both files.
//
// The steps run in this order: check the inputs, read the message, hand it
// over, wipe. DecryptImage runs them all; each is a function of its own so
// that a caller can see where a run stands.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/pixel_grid.hpp"
#include "core/reporter.hpp"
#include "core/sequence_random.hpp"

namespace corvane {

// What the decryptor reads: the selected files, the key's delimiters and
// seed, and whether both files go once the message is out.
struct DecryptInputs {
    std::string imagePath;  // empty when no image is selected
    std::string keyPath;    // empty when no key is selected
    std::u16string keyComment;
    int32_t keySeed = 0;
    bool wipeKey = false;
    bool wipeImage = false;
    // Read every position of the reader's window, even once the container
    // is complete (the result is the same; tests compare the two).
    bool readWholeWindow = false;
};

// What a decryption reports as it goes, beyond the progress fraction (which
// runs from 0 at the first pass to 1 once every bit is read), log lines and
// messages. It may be called from a worker thread.
class DecryptReporter : public Reporter {
public:
    // The message found. False when it could not be put where it belongs;
    // the files are then kept, since they would be the only way to read the
    // message again.
    virtual bool MessageFound(std::u16string_view text) {
        (void)text;
        return true;
    }
    // The wipe of `path` is over: the file is gone when `wiped`, else it may
    // be partly overwritten. Lists showing its folder are out of date.
    virtual void Wiped(const std::string& path, bool wiped) {
        (void)path;
        (void)wiped;
    }
    // The SHA-256 of the message read (of "" when none) in upper-case hex,
    // and whether it matches the digest the image carries.
    virtual void DigestComputed(std::u16string_view upperHex, bool verified) {
        (void)upperHex;
        (void)verified;
    }
};

enum class DecryptStatus {
    Found,               // the message; the digest may still differ
    Refused,             // an input check failed; nothing read
    NotFound,            // "Message Text Not Found."
    DecompressionError,  // "DECOMPRESSION ERROR"
    Stopped,             // asked to stop while reading: nothing handed over or wiped
};

struct DecryptResult {
    DecryptStatus status = DecryptStatus::Refused;
    std::u16string refusal;
    std::u16string message;
    std::string digest;          // lowercase SHA-256 of the message (of "" when none)
    std::u16string digestField;  // what the image stores after the end delimiter
    bool verified = false;
    bool delivered = false;      // the reporter took the message
    int64_t positionsRead = 0;   // fewer than the window once the container is complete
    bool keyWiped = false;
    bool imageWiped = false;
    std::string keyWipeError;    // empty unless that wipe was asked for and failed
    std::string imageWipeError;
    int64_t elapsedMilliseconds = 0;
    bool WipesFailed() const { return !keyWipeError.empty() || !imageWipeError.empty(); }
};

// The first input check that fails, as the message the user sees; empty when
// the image and key can be read together. The key must cover the image.
std::u16string_view DecryptRefusal(const PixelGrid& image, const PixelGrid& key, const DecryptInputs& inputs);

// Reads the container and fills status, message, digest, digestField,
// verified and positionsRead. Stops early (status Stopped) when the reporter
// asks. The inputs must have passed DecryptRefusal.
void ReadHiddenMessage(const PixelGrid& image, const PixelGrid& key, const DecryptInputs& inputs,
                       DecryptReporter& reporter, SequenceRandom& rng, DecryptResult& result);

// Hands a found message to the reporter and wipes what was asked for: the
// key first, the image only after the key is gone, neither when the message
// was not delivered or its digest does not match.
void DeliverAndWipe(const DecryptInputs& inputs, DecryptReporter& reporter, SequenceRandom& rng,
                    DecryptResult& result);

// One press of "Decrypt Image": the checks (a refusal is shown as a message),
// the reading, the hand-over and wipes, the message for a container not
// found, the digest and the time taken. `rng` is the program's generator:
// positions and wipe bytes come from it.
DecryptResult DecryptImage(const PixelGrid& image, const PixelGrid& key, const DecryptInputs& inputs,
                           DecryptReporter& reporter, SequenceRandom& rng = ProgramRandom());

}  // namespace corvane
