#include "core/sequence_random.hpp"

#include <bit>

namespace corvane {

void SequenceRandom::Seed(double n) {
    const uint64_t bits = std::bit_cast<uint64_t>(n);
    const uint32_t hi = static_cast<uint32_t>(bits >> 32);
    const uint32_t t = ((hi & 0xFFFFu) ^ (hi >> 16)) & 0xFFFFu;
    state_ = (state_ & 0xFFu) | (t << 8);
}

SequenceRandom& ProgramRandom() {
    static SequenceRandom rng;
    return rng;
}

}  // namespace corvane
