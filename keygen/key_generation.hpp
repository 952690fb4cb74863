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

// One key of a batch, saved whole.
struct SavedKey {
    std::string path;
    int32_t number = 0;  // from 1
    int32_t count = 0;   // keys in the batch
    uint32_t milliseconds = 0;  // the time the key took, drawing to saving
};

// What a run tells whoever runs it beyond the common reports. A run raises a
// message only as it ends: a refusal before anything is written, or the
// reason it stopped.
class KeyGenerationReporter : public Reporter {
public:
    // A window shows each key's preview; the command has no use for one and
    // saves its cost.
    virtual bool WantsPreview() const { return true; }
    virtual void Preview(const PixelGrid& preview) { (void)preview; }
    // The comment as the saved key holds it.
    virtual void KeyComment(std::u16string_view comment) { (void)comment; }
    virtual void KeySaved(const SavedKey& key) { (void)key; }
};

struct KeyGenerationResult {
    bool completed = false;  // every key saved
    std::vector<std::string> savedPaths;
    std::u16string status;  // the status text the run ended with
};

// A batch whose inputs passed every check, ready to run.
struct KeyBatch {
    int width = 0, height = 0;
    int32_t count = 0;
    KeySource source = KeySource::MersenneTwister;
    KeyNaming naming = KeyNaming::Date;
    CivilDate start;
    std::string seriesPath;    // the series folder's name
    std::string folder;        // root/Keys/<series>
    std::string fallbackRoot;  // empty: no second place to save to
    PixelGrid grid;            // the key being made, allocated by the run
};

// Checks the inputs and prepares the batch without writing anything. False
// with the reason in refusal when they cannot make keys or when a key name
// of the batch is taken.
bool CheckKeyGeneration(const KeyGenerationInputs& inputs, KeyBatch& batch, std::u16string& refusal);

// Makes and saves the keys of a checked batch with rng as the program-wide
// generator. A key too large for the memory is refused with an information
// message and an empty status before anything is written. Before each key
// it asks reporter.StopRequested(): a stopped run keeps the keys already
// saved, each whole. An existing key file is never replaced.
KeyGenerationResult RunKeyGeneration(KeyBatch& batch, KeyGeneratorState& state, SequenceRandom& rng,
                                     KeyGenerationReporter& reporter);

// Check, then run; a refusal is reported as an information message.
KeyGenerationResult GenerateKeys(const KeyGenerationInputs& inputs, KeyGeneratorState& state, SequenceRandom& rng,
                                 KeyGenerationReporter& reporter);

// How far a batch has come, as its status shows it after key number of
// count is saved: "2 of 10 - Percent Complete: 20%", with the count as it
// was typed.
std::u16string KeyProgressText(int32_t number, int32_t count, std::u16string_view countText);

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
