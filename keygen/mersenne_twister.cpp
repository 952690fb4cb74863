#include "keygen/mersenne_twister.hpp"

#include <vector>

namespace corvane {
namespace {

constexpr int kShift = 397;
constexpr uint32_t kUpper = 0x80000000u;
constexpr uint32_t kLower = 0x7FFFFFFFu;

inline uint32_t Mix(uint32_t upperFrom, uint32_t lowerFrom, uint32_t far) {
    const uint32_t y = (upperFrom & kUpper) | (lowerFrom & kLower);
    return far ^ (y >> 1) ^ ((0u - (y & 1u)) & 0x9908B0DFu);
}

}  // namespace

void MersenneTwister::init_genrand(uint32_t seed) {
    state_[0] = seed;
    for (int i = 1; i < kStateWords; ++i)
        state_[i] = 1812433253u * (state_[i - 1] ^ (state_[i - 1] >> 30)) + static_cast<uint32_t>(i);
    next_ = kStateWords;
}

void MersenneTwister::init_by_array(const uint32_t* key, int length) {
    static constexpr uint32_t kZero = 0;
    if (!key || length <= 0) {
        key = &kZero;
        length = 1;
    }
    init_genrand(19650218u);
    int i = 1, j = 0;
    for (int k = kStateWords > length ? kStateWords : length; k > 0; --k) {
        state_[i] = (state_[i] ^ ((state_[i - 1] ^ (state_[i - 1] >> 30)) * 1664525u)) + key[j] +
                    static_cast<uint32_t>(j);
        ++i;
        ++j;
        if (i >= kStateWords) {
            state_[0] = state_[kStateWords - 1];
            i = 1;
        }
        if (j >= length) j = 0;
    }
    for (int k = kStateWords - 1; k > 0; --k) {
        state_[i] = (state_[i] ^ ((state_[i - 1] ^ (state_[i - 1] >> 30)) * 1566083941u)) - static_cast<uint32_t>(i);
        ++i;
        if (i >= kStateWords) {
            state_[0] = state_[kStateWords - 1];
            i = 1;
        }
    }
    state_[0] = 0x80000000u;  // the first word's low bits never matter; this keeps the state non-zero
    next_ = kStateWords;
}

void MersenneTwister::init_by_array(const int32_t* key, int length) {
    std::vector<uint32_t> words;
    if (key && length > 0) words.assign(key, key + length);
    init_by_array(words.data(), static_cast<int>(words.size()));
}

void MersenneTwister::Twist() {
    constexpr int N = kStateWords;
    int k = 0;
    for (; k < N - kShift; ++k) state_[k] = Mix(state_[k], state_[k + 1], state_[k + kShift]);
    for (; k < N - 1; ++k) state_[k] = Mix(state_[k], state_[k + 1], state_[k + kShift - N]);
    state_[N - 1] = Mix(state_[N - 1], state_[0], state_[kShift - 1]);
    next_ = 0;
}

}  // namespace corvane
