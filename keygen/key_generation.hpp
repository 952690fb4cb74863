#pragma once
// A run of the key generator: a batch of key images, each W x H random
// pixels from one source, with a comment of two random delimiters and a
// two-digit number, saved as PNG into Keys/<series>/ below a root folder.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/number_format.hpp"
#include "core/pixel_grid.hpp"
#include "core/reporter.hpp"
#include "core/sequence_random.hpp"
#include "keygen/random_sources.hpp"

namespace corvane {

enum class KeyNaming { Number, Date };

struct KeyGenerationInputs {
    // As typed: numeric text, rounded to the nearest integer.
    std::u16string widthText = u"1600";
    std::u16string heightText = u"1200";
    std::u16string seriesName;  // empty: today's date
    KeySource source = KeySource::MersenneTwister;
    std::u16string countText = u"1";
    KeyNaming naming = KeyNaming::Date;
    // The first key's date for date naming, as three separate numbers.
    int startYear = 0, startMonth = 0, startDay = 0;
    std::string root;          // keys go to root/Keys/<series>/
    std::string fallbackRoot;  // used for a key that cannot be saved under root
};

// What a run tells its window (or the command) beyond the common reports.
class KeyGenerationReporter : public Reporter {
public:
    // A window shows each key's preview; the command has no use for one and
    // saves its cost.
    virtual bool WantsPreview() const { return true; }
    virtual void Preview(const PixelGrid& preview) { (void)preview; }
    // The comment as the saved key holds it.
    virtual void KeyComment(std::u16string_view comment) { (void)comment; }
    // The time the last key took, e.g. "1,234ms".
    virtual void KeyTime(std::u16string_view caption) { (void)caption; }
    virtual void KeySaved(const std::string& path) { (void)path; }
    // Asked before each key, after the events of the previous one have run:
    // true ends the run there, keeping the keys already saved whole (a
    // window that is being closed).
    virtual bool StopRequested() { return false; }
};

struct KeyGenerationResult {
    bool completed = false;  // every key saved
    std::vector<std::string> savedPaths;
    std::u16string status;  // the status text the run ended with
};

// Runs one batch with rng as the program-wide generator. Input that cannot
// make keys is refused with a message before anything is written; an
// existing key file is never replaced.
KeyGenerationResult GenerateKeys(const KeyGenerationInputs& inputs, KeyGeneratorState& state, SequenceRandom& rng,
                                 KeyGenerationReporter& reporter);

// Fills the grid column by column from draw(). At row 20 a value of rng
// below 0.2 sends the column back to a row from 10 to 20 (nearest of
// 20 - 10 x a second value), which is drawn again from there on; the test
// repeats whenever the column comes back to row 20.
template <class Draw>
void FillKeyGrid(PixelGrid& grid, SequenceRandom& rng, Draw&& draw) {
    const int width = grid.width, height = grid.height;
    uint32_t* pixels = grid.pixels.data();
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < height; ++y) {
            if (y == 20 && static_cast<double>(rng.Next()) < 0.2)
                y = static_cast<int>(Nearest(y - static_cast<double>(rng.Next()) * 10.0));
            pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = draw();
        }
    }
}

// The key comment: "<" S "><" E "><" NN ">", S and E ten delimiter
// characters each from the twister, NN the integer part of 16 x a value of
// rng, two digits.
std::u16string MakeKeyComment(MersenneTwister& mt, SequenceRandom& rng);

// Numeric text as the pixel-size boxes take it: optional spaces, sign,
// digits with an optional decimal part, optional exponent.
bool ParseNumericText(std::u16string_view text, double& value);

}  // namespace corvane
