#pragma once
// The three embedding steps of the encryptor: image XOR key, the message bits
// set into the parities of seeded positions, and the result XOR key again.
// The object keeps the taken positions and the output between runs, so that
// the encrypt operation can verify the positions afterwards and the steps
// viewer can show the planes.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/hidden_message.hpp"
#include "core/pixel_grid.hpp"
#include "core/reporter.hpp"
#include "core/sequence_random.hpp"

namespace corvane {

// Good, warning and bad back colours of the statistics label.
inline constexpr uint32_t kStatsGoodColour = Rgb(200, 255, 200);
inline constexpr uint32_t kStatsWarningColour = Rgb(255, 255, 200);
inline constexpr uint32_t kStatsBadColour = Rgb(255, 200, 200);

// How much of the carrier one embedding changed.
struct EncodeStats {
    int64_t changedCount = 0;  // pixels whose colour was changed
    int64_t totalBits = 0;     // container bits placed
    int width = 0;
    int height = 0;

    // Changed least significant bits per channel value of the image.
    double Share() const;
    // "0.123% / 0.456bpp": the share, then container bits per pixel.
    std::u16string Text() const;
    uint32_t Colour() const;
};

// What the steps report besides their progress: how much one embedding
// changed, once it has placed its bits.
class StepsReporter : public Reporter {
public:
    virtual void Statistics(const EncodeStats& stats) { (void)stats; }
};

enum class StepStatus {
    Done,
    CompressionError,    // zlib refused the message; nothing was embedded
    TooLong,             // a length field cannot hold the message
    PositionsExhausted,  // fewer free textured pixels than container bits
    NeedsStep1,          // no image XOR key plane of the carrier's size yet
};

class EmbeddingSteps {
public:
    using ContainerBuilder = std::function<BuildStatus(std::u16string_view message, std::u16string_view start,
                                                       std::u16string_view end, bool compress,
                                                       std::u16string& container)>;

    EmbeddingSteps();

    // Image XOR key over the carrier's size; the key must be at least as
    // large. The plane itself is made only when something shows it
    // (XorPlane): the next step reads the two images at its positions.
    void Step1(const PixelGrid& carrier, const PixelGrid& key);
    // Builds the container, then sets its bits into the parities of
    // carrier XOR key at the positions drawn from the key's seed, judged on
    // the carrier: it records where a least significant bit is flipped.
    // Ends by reseeding `rng` from the clock whenever it drew positions, so
    // that later draws (file names, wipes) do not continue the key's sequence.
    StepStatus Step2(const PixelGrid& carrier, const PixelGrid& key, std::u16string_view message,
                     std::u16string_view keyComment, int32_t keySeed, bool compress, SequenceRandom& rng,
                     StepsReporter& reporter);
    // OutputPlane = MessagePlane XOR key, which is the carrier with the
    // flipped bits: the one full plane the steps keep.
    void Step3(const PixelGrid& carrier);

    const PixelGrid& OutputPlane() const { return outputPlane_; }
    // The other planes, made when asked for (the steps viewer): carrier XOR
    // key, and that with the flips of the last step 2.
    PixelGrid XorPlane(const PixelGrid& carrier, const PixelGrid& key) const;
    PixelGrid MessagePlane(const PixelGrid& carrier, const PixelGrid& key) const;
    // W x H bytes, row-major, 1 where the last step 2 took the position;
    // empty before any step 2.
    std::vector<uint8_t> Mark() const;
    // The positions in the order they were taken, and whether each one's
    // bit was flipped.
    const std::vector<PositionSequence::Position>& Taken() const { return taken_; }
    const std::vector<uint8_t>& Flipped() const { return flipped_; }
    const EncodeStats& Stats() const { return stats_; }
    const std::u16string& ContainerText() const { return container_; }

    // zlib never fails on a message with the capacity the format gives it,
    // so its failure can only be exercised through a builder of the test's.
    void SetContainerBuilder(ContainerBuilder builder) { builder_ = std::move(builder); }
    // The clock that reseeds the generator (the tick count by default).
    void SetClock(std::function<int32_t()> clock) { clock_ = std::move(clock); }

    // The container the steps would embed: the key comment's delimiters
    // around the message, as step 2 builds it.
    BuildStatus BuildContainerText(std::u16string_view message, std::u16string_view keyComment, bool compress,
                                   std::u16string& container) const;

private:
    int width_ = 0;   // the carrier size step 1 ran for
    int height_ = 0;
    PixelGrid outputPlane_;
    std::vector<PositionSequence::Position> taken_;
    std::vector<uint8_t> flipped_;
    EncodeStats stats_;
    std::u16string container_;
    ContainerBuilder builder_;
    std::function<int32_t()> clock_;
};


}  // namespace corvane
