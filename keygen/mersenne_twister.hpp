#pragma once
// MT19937, the 32-bit Mersenne Twister of Matsumoto and Nishimura, with the
// seeding functions of their reference code so that a seed array gives the
// published sequence.
#include <array>
#include <cstdint>

namespace corvane {

class MersenneTwister {
public:
    static constexpr int kStateWords = 624;

    // An unseeded generator behaves as one seeded with 5489, like the
    // reference code.
    MersenneTwister() { init_genrand(5489u); }

    void init_genrand(uint32_t seed);
    // Signed words take part with their two's-complement bits. An empty key
    // counts as the single word 0.
    void init_by_array(const uint32_t* key, int length);
    void init_by_array(const int32_t* key, int length);

    uint32_t genrand_int32() {
        if (next_ >= kStateWords) Twist();
        uint32_t y = state_[next_++];
        y ^= y >> 11;
        y ^= (y << 7) & 0x9D2C5680u;
        y ^= (y << 15) & 0xEFC60000u;
        y ^= y >> 18;
        return y;
    }

private:
    void Twist();

    std::array<uint32_t, kStateWords> state_{};
    int next_ = kStateWords;
};

}  // namespace corvane
