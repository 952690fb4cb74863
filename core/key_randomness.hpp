#pragma once
// Whether a key image carries real randomness. A photo, a drawing or a
// repeated pattern chosen as a key hides nothing, however long its comment;
// this check lets the programs say so when such a key is loaded. It looks for
// images without randomness, not for slight biases: every source of the key
// generator passes, the "Rnd" source too (a 24-bit generator with rounded
// bytes) up to about 5.5 million pixels. Beyond that an "Rnd" key repeats its
// own pixels and may rightly fail: part of it is used twice as a pad.
#include <cstdint>

#include "core/pixel_grid.hpp"

namespace corvane {

// Below this many pixels a key is not judged (it looks random): too few
// pixels to tell noise from a picture reliably, and such a key can hold only
// a few characters anyway. 16 x 16 is the smallest square that is judged.
inline constexpr int64_t kKeyRandomnessMinPixels = 256;

struct KeyRandomness {
    bool looksRandom = true;
    bool judged = false;  // false: too few pixels, looksRandom is true
    // The largest histogram statistic examined, as a share of its threshold:
    // 1 or more fails. About 0.35 to 0.47 for a random key. The examination
    // stops at the first failure, so a failing key's figures are partial.
    double worstScore = 0;
    // Sampled runs of pixels found again elsewhere in the key (0 for a
    // random key).
    int repeatedRuns = 0;
};

KeyRandomness ExamineKeyRandomness(const PixelGrid& key);

inline bool KeyLooksRandom(const PixelGrid& key) { return ExamineKeyRandomness(key).looksRandom; }

// What the programs say of a key that fails (a warning: the key is still used).
inline constexpr const char16_t* kKeyNotRandomWarning = u"Key image does not look random; it does not protect the message.";

}  // namespace corvane
