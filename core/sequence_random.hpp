#pragma once
// The program-wide 24-bit pseudo-random generator. Every build must draw the
// same values from the same state: hidden-message positions depend on it.
#include <cstdint>

namespace corvane {

class SequenceRandom {
public:
    static constexpr uint32_t kStartState = 0x50000;

    // Next value in [0, 1), exactly state / 2^24.
    float Next() { return static_cast<float>(NextState()) / 16777216.0f; }
    // The same step, giving the new state itself (the value times 2^24).
    uint32_t NextState() {
        state_ = (state_ * 0x43FD43FDu + 0xC39EC3u) & 0xFFFFFFu;
        return state_;
    }
    // The draw with argument -1: back to the fixed state, one value discarded.
    void Reset() {
        state_ = (0xBF800000u + 0xBFu) & 0xFFFFFFu;
        Next();
    }
    // Reseed with a number: mixes the upper word of the double's bits into
    // bits 8-23 and keeps the low byte of the state.
    void Seed(double n);

    uint32_t State() const { return state_; }
    void SetState(uint32_t s) { state_ = s & 0xFFFFFFu; }

private:
    uint32_t state_ = kStartState;
};

// The one generator that a program shares between positions, wipes and names.
SequenceRandom& ProgramRandom();

// Reset, then seed: the state a key's seed puts the generator in.
inline void SetUpGenerator(SequenceRandom& rng, int32_t seed) {
    rng.Reset();
    rng.Seed(seed);
}

}  // namespace corvane
