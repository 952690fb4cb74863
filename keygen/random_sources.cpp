#include "keygen/random_sources.hpp"

#include <string.h>
#include <sys/random.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "core/code_page.hpp"
#include "core/number_format.hpp"
#include "core/platform.hpp"

namespace corvane {

bool KeySourceFromName(std::string_view name, KeySource& source) {
    std::string lower(name);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static const std::pair<const char*, KeySource> kNames[] = {
        {"mersenne", KeySource::MersenneTwister},
        {"rtlgenrandom", KeySource::RtlGenRandom},
        {"cryptgenrandom", KeySource::CryptGenRandom},
        {"rnd", KeySource::Rnd},
        {"isaac", KeySource::Isaac},
    };
    for (const auto& [n, s] : kNames)
        if (lower == n) {
            source = s;
            return true;
        }
    return false;
}

void SeedMersenneTwister(KeyGeneratorState& state, SequenceRandom& rng, const std::function<int32_t()>& tickCount) {
    for (int32_t& element : state.mtSeedArray) {
        const int64_t divisor = Nearest(static_cast<double>(rng.Next()) * 10000.0);
        const int32_t tick = tickCount ? tickCount() : TickCount();
        if (divisor != 0) element = static_cast<int32_t>(tick % divisor);
    }
    state.mt.init_by_array(state.mtSeedArray.data(), static_cast<int>(state.mtSeedArray.size()));
}

void PrepareKeyGenerator(KeyGeneratorState& state, SequenceRandom& rng) {
    rng.Seed(TickCount());
    SeedMersenneTwister(state, rng);
}

char16_t DelimiterCharacter(MersenneTwister& mt) {
    uint32_t b;
    do {
        b = mt.genrand_int32() & 0xFFu;
    } while (b < 33);
    return AnsiToUnicode(static_cast<uint8_t>(b));
}

SystemRandom::SystemRandom() : buffer_(64 * 1024), pos_(buffer_.size()) {}

SystemRandom::~SystemRandom() { explicit_bzero(buffer_.data(), buffer_.size()); }

void SystemRandom::Refill() {
    size_t filled = 0;
    while (filled < buffer_.size()) {
        const ssize_t n = getrandom(buffer_.data() + filled, buffer_.size() - filled, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "getrandom");
        }
        filled += static_cast<size_t>(n);
    }
    pos_ = 0;
}

}  // namespace corvane
