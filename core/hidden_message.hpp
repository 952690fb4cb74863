#pragma once
// The hidden-message format shared by the writer and the reader: the key's
// delimiters and seed, the seeded position sequence over textured pixels,
// the parity bit, and the container text with its optional compression and
// digest. Any change here makes existing encrypted images unreadable.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/pixel_grid.hpp"
#include "core/sequence_random.hpp"

namespace corvane {

// Positions that carry no container bit before the first one that does.
inline constexpr int kSkippedPositions = 96;
// Draws in a row without an accepted position after which none can come:
// the generator's (u, v) pairs repeat after 2^23 pairs.
inline constexpr int64_t kMaxRejectedDraws = int64_t{1} << 23;
// Characters of a container besides its payload: delimiters, two length
// fields and the digest.
inline constexpr int kContainerOverhead = 10 + 7 + 7 + 10 + 64;
inline constexpr int64_t kMaxLengthField = 9999999;

struct KeyParams {
    std::u16string startDelimiter;  // comment characters 2-11
    std::u16string endDelimiter;    // comment characters 13-22
    int32_t seed = 0;               // characters 5 x 6 as signed 16-bit codes
    int flagX = 0;                  // seed AND 1
    int flagY = 0;                  // 1 when seed AND 2
};
// False when the comment is shorter than 6 characters (it has no seed).
bool KeyParameters(std::u16string_view comment, KeyParams& params);
// Characters 2-11 and 13-22 of a key comment, however short it is.
void KeyDelimiters(std::u16string_view comment, std::u16string& start, std::u16string& end);

// nearest(s / 9): with nine terms a quotient never ends in exactly one half,
// so it is floor((2s + 9) / 18).
inline int NearestNinth(int s) { return (2 * s + 9) / 18; }
// The rounded mean absolute deviation of a 3 x 3 block's values from their
// rounded mean: the measure of texture of the eligibility test (on halved
// channel values) and of the variation map (on the values themselves).
int BlockDeviation(const int values[9]);

// 0 when the 3 x 3 block around (x, y) is too smooth in every channel, else
// the channel (1 red, 2 green, 3 blue) with the strictly greatest variation
// score. Needs 1 <= x <= W-2 and 1 <= y <= H-2.
int EligibleChannel(const PixelGrid& image, int x, int y);

// The key's pixel at (x, y), 0 where the key does not reach: a key smaller
// than the image leaves those pixels as they are.
inline uint32_t KeyAt(const PixelGrid& key, int x, int y) {
    return x < key.width && y < key.height ? key.at(x, y) & 0xFFFFFFu : 0;
}
// image XOR key over the image's size, the key aligned top-left.
PixelGrid ImageXorKey(const PixelGrid& image, const PixelGrid& key);

// Parity of the least significant bits of red, green and blue.
inline int ParityBit(uint32_t xorValue) { return static_cast<int>((xorValue ^ (xorValue >> 8) ^ (xorValue >> 16)) & 1u); }
// The bit that a position's channel flips.
inline uint32_t ChannelBit(int channel) { return channel == 1 ? 0x1u : channel == 2 ? 0x100u : 0x10000u; }

// Accepted positions of one writing or reading run. Construction resets the
// generator and seeds it with the key's seed; eligibility is judged on
// `image`, which must not change while the sequence is used.
class PositionSequence {
public:
    struct Position {
        int x = 0;
        int y = 0;
        int channel = 0;
    };

    // `expectedPositions` is a hint: when a run will take a good share of
    // the candidates, judging them all in one sequential sweep is far faster
    // than judging each at its random draw.
    PositionSequence(const PixelGrid& image, int32_t seed, SequenceRandom& rng, int64_t expectedPositions = 0);

    // The next accepted position; false once no free eligible candidate is
    // left or kMaxRejectedDraws draws in a row were rejected.
    bool Next(Position& position);
    bool Exhausted() const { return exhausted_; }
    int64_t Accepted() const { return accepted_; }
    int64_t Draws() const { return draws_; }

    bool IsTaken(int x, int y) const;
    // The taken-positions grid, W x H, 1 = taken.
    std::vector<int32_t> MarkGrid() const;

private:
    static constexpr uint8_t kUnknown = 0xFF;
    static constexpr uint8_t kTaken = 0x80;

    size_t Index(int x, int y) const { return static_cast<size_t>(y >> 1) * static_cast<size_t>(cols_) + (x >> 1); }
    uint8_t Evaluate(size_t index, int x, int y);
    void EvaluateAll();
    bool CheckExhausted();

    const PixelGrid& image_;
    SequenceRandom& rng_;
    int width_;
    int height_;
    int flagX_;
    int flagY_;
    int cols_;
    std::vector<uint8_t> state_;  // per sub-grid cell: kUnknown, or channel | kTaken
    int64_t unknown_ = 0;
    int64_t eligibleFree_ = 0;
    int64_t accepted_ = 0;
    int64_t draws_ = 0;
    int64_t rejectedInRow_ = 0;
    bool evaluatedAll_ = false;
    bool exhausted_ = false;
};

// The reader's window: N = nearest(W x 0.15) passes plus one, H positions each.
int64_t ReadingPasses(int width);  // N
int64_t ReadingWindowBits(int width, int height);  // (N + 1) x H
// True when a container of this many characters lies inside the window.
bool ContainerFitsWindow(int64_t containerLength, int width, int height);

enum class BuildStatus { Ok, CompressionError, TooLong };
// start + A + B + payload + end + digest; A and B "0000000" when not compressed.
BuildStatus BuildContainer(std::u16string_view message, std::u16string_view startDelimiter,
                           std::u16string_view endDelimiter, bool compress, std::u16string& container);

std::vector<uint8_t> TextToBits(std::u16string_view text);
// Characters from 16 bits each, bit 0 first, for t = 1, 17, ... while
// t <= totalBits - 16; bits past `bits` count as 0. So the text has
// floor((totalBits - 1) / 16) characters.
std::u16string BitsToText(const std::vector<uint8_t>& bits, uint64_t totalBits);

enum class ParseStatus { Found, NotFound, DecompressionError };
struct ParsedContainer {
    ParseStatus status = ParseStatus::NotFound;
    std::u16string message;
    // The 64 characters after the end delimiter's ten (from character 10 of
    // the text when no end delimiter was found).
    std::u16string digestField;
    size_t start = 0;  // 1-based position of the start delimiter, 0 when absent
    size_t end = 0;    // 1-based position of the end delimiter, 0 when absent
    bool compressed = false;
};
ParsedContainer ParseContainer(std::u16string_view text, std::u16string_view startDelimiter,
                               std::u16string_view endDelimiter);

}  // namespace corvane
