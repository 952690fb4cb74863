#pragma once
// The decrypt operation: XORs the encrypted image with the key, reads the
// parities at the key's seeded positions, finds the container between the
// key's delimiters, checks the digest and optionally wipes both files.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/pixel_grid.hpp"
#include "core/reporter.hpp"
#include "core/sequence_random.hpp"

namespace corvane {

inline constexpr uint32_t kDigestPendingColour = Rgb(200, 200, 200);
inline constexpr uint32_t kDigestVerifiedColour = Rgb(200, 225, 200);
inline constexpr uint32_t kDigestMismatchColour = Rgb(225, 200, 200);

// The decryptor window's state that the operation reads.
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

// What the window shows: the busy button, the message box, the digest and
// the time labels, the file lists.
class DecryptReporter : public Reporter {
public:
    // True: the button is disabled with "Working..." on the busy colour.
    // False: it shows "Decrypt Image" again, enabled.
    virtual void Busy(bool busy) { (void)busy; }
    // The message box is emptied as the operation starts.
    virtual void ClearMessage() {}
    // The message found, which becomes the message box's whole text. False
    // when it could not be put where it belongs; the files are then kept,
    // since they would be the only way to read the message again.
    virtual bool MessageText(std::u16string_view text) {
        (void)text;
        return true;
    }
    virtual void DigestLabel(std::u16string_view upperHex, uint32_t backColour) {
        (void)upperHex;
        (void)backColour;
    }
    // "[n Seconds]", or empty at the start.
    virtual void ElapsedLabel(std::u16string_view caption) { (void)caption; }
    virtual void RefreshKeyList() {}
    virtual void RefreshImageList() {}
};

enum class DecryptStatus {
    Found,               // the message; the digest may still differ
    Refused,             // an input check failed; nothing read
    NotFound,            // "Message Text Not Found."
    DecompressionError,  // "DECOMPRESSION ERROR"
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

// One press of "Decrypt Image" with the displayed image and key. The key must
// cover the image (checked). `rng` is the program's generator: positions and
// wipe bytes come from it.
DecryptResult DecryptImage(const PixelGrid& image, const PixelGrid& key, const DecryptInputs& inputs,
                           DecryptReporter& reporter, SequenceRandom& rng = ProgramRandom());

}  // namespace corvane
