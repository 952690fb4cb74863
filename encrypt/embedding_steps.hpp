#pragma once
// The three embedding steps of the encryptor: image XOR key, the message bits
// set into the parities of seeded positions, and the result XOR key again.
// The object keeps the three planes and the taken-positions grid between
// runs, so that the steps viewer can show them and the encrypt operation can
// verify the positions afterwards.
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

// What the steps show besides progress captions: the statistics label.
class StepsReporter : public Reporter {
public:
    virtual void StatsLabel(std::u16string_view caption, uint32_t backColour) {
        (void)caption;
        (void)backColour;
    }
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

    // XorPlane = carrier XOR key over the carrier's size; the key must be at
    // least as large.
    void Step1(const PixelGrid& carrier, const PixelGrid& key);
    // Builds the container, then sets its bits into a copy of XorPlane at the
    // positions drawn from the key's seed, judged on the carrier. Ends by
    // reseeding `rng` from the clock whenever it drew positions, so that
    // later draws (file names, wipes) do not continue the key's sequence.
    StepStatus Step2(const PixelGrid& carrier, std::u16string_view message, std::u16string_view keyComment,
                     int32_t keySeed, bool compress, SequenceRandom& rng, StepsReporter& reporter);
    // OutputPlane = MessagePlane XOR key.
    void Step3(const PixelGrid& key);

    const PixelGrid& XorPlane() const { return xorPlane_; }
    const PixelGrid& MessagePlane() const { return messagePlane_; }
    const PixelGrid& OutputPlane() const { return outputPlane_; }
    // W x H, row-major, 1 where the last step 2 took the position.
    const std::vector<int32_t>& Mark() const { return mark_; }
    // The same positions in the order they were taken.
    const std::vector<PositionSequence::Position>& Taken() const { return taken_; }
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
    PixelGrid xorPlane_;
    PixelGrid messagePlane_;
    PixelGrid outputPlane_;
    std::vector<int32_t> mark_;
    std::vector<PositionSequence::Position> taken_;
    EncodeStats stats_;
    std::u16string container_;
    ContainerBuilder builder_;
    std::function<int32_t()> clock_;
};

// Characters 2-11 and 13-22 of a key comment, however short it is.
void KeyDelimiters(std::u16string_view comment, std::u16string& start, std::u16string& end);

}  // namespace corvane
