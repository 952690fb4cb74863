#pragma once
// The five sources a key's pixels can come from, the delimiter characters,
// and the seeding of the Mersenne Twister that the key generator keeps for
// its whole life.
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "core/sequence_random.hpp"
#include "keygen/mersenne_twister.hpp"

namespace corvane {

// The index of the selected source button.
enum class KeySource : int16_t { MersenneTwister = 0, RtlGenRandom = 1, CryptGenRandom = 2, Rnd = 3, Isaac = 4 };
inline constexpr int kKeySourceCount = 5;

// "mersenne", "rtlgenrandom", "cryptgenrandom", "rnd", "isaac" (any case).
bool KeySourceFromName(std::string_view name, KeySource& source);

// What the key generator keeps from one run to the next: the Mersenne
// Twister and the array it is seeded from (all zero at first).
struct KeyGeneratorState {
    static constexpr int kSeedWords = 10000;
    std::vector<int32_t> mtSeedArray = std::vector<int32_t>(kSeedWords, 0);
    MersenneTwister mt;
};

// Each element of the seed array becomes the tick count modulo a divisor
// drawn from rng (nearest of value x 10000; the remainder takes the tick
// count's sign). A divisor of 0 leaves the element as it was. Then the
// twister is seeded from the whole array.
void SeedMersenneTwister(KeyGeneratorState& state, SequenceRandom& rng,
                         const std::function<int32_t()>& tickCount = {});

// What the key generator does once when it starts: rng reseeded with the
// tick count, then the twister seeded from the array.
void PrepareKeyGenerator(KeyGeneratorState& state, SequenceRandom& rng);

// One byte 33-255 from the twister (lower bytes are drawn again), as the
// code-page character it stands for.
char16_t DelimiterCharacter(MersenneTwister& mt);

// One colour component from rng: nearest(value x 256), at most 255.
// value x 256 is state / 2^16 exactly, so the rounding is done on the state:
// the same result as the floating-point rule, without a library call per
// component.
inline uint32_t RndComponent(SequenceRandom& rng) {
    rng.Next();
    const uint32_t s = rng.State();
    uint32_t q = s >> 16;
    const uint32_t rest = s & 0xFFFFu;
    if (rest > 0x8000u || (rest == 0x8000u && (q & 1u))) ++q;
    return q > 255u ? 255u : q;
}

// A pixel of the "Rnd()" source: red, green, blue drawn in that order.
inline uint32_t RndPixel(SequenceRandom& rng) {
    const uint32_t r = RndComponent(rng);
    const uint32_t g = RndComponent(rng);
    const uint32_t b = RndComponent(rng);
    return r | (g << 8) | (b << 16);
}

// The operating system's cryptographic random bytes, four per draw, read
// from the kernel in large blocks: a call per pixel would cost more than the
// key's PNG save. The buffer is wiped when the object goes.
class SystemRandom {
public:
    SystemRandom();
    ~SystemRandom();
    SystemRandom(const SystemRandom&) = delete;
    SystemRandom& operator=(const SystemRandom&) = delete;

    // Throws std::system_error when the kernel gives no random bytes.
    uint32_t Next() {
        if (pos_ + 4 > buffer_.size()) Refill();
        const uint8_t* p = &buffer_[pos_];
        pos_ += 4;
        return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
    }

private:
    void Refill();

    std::vector<uint8_t> buffer_;
    size_t pos_;
};

}  // namespace corvane
