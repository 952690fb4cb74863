#include "keygen/isaac.hpp"

#include <string.h>

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "core/code_page.hpp"
#include "core/number_format.hpp"
#include "core/platform.hpp"

namespace corvane {
namespace {

constexpr int kWords = IsaacContext::kWords;

inline void Mix(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, uint32_t& f, uint32_t& g,
                uint32_t& h) {
    a ^= b << 11; d += a; b += c;
    b ^= c >> 2;  e += b; c += d;
    c ^= d << 8;  f += c; d += e;
    d ^= e >> 16; g += d; e += f;
    e ^= f << 10; h += e; f += g;
    f ^= g >> 4;  a += f; g += h;
    g ^= h << 8;  b += g; h += a;
    h ^= a >> 9;  c += h; a += b;
}

}  // namespace

void IsaacGenerate(IsaacContext& ctx) {
    uint32_t* mem = ctx.randmem;
    uint32_t* out = ctx.randrsl;
    uint32_t a = ctx.randa;
    uint32_t b = ctx.randb + (++ctx.randc);
    // Each step: the accumulator takes a shifted copy of itself and the word
    // half a state away; the new word and the result come from indirect
    // lookups into the state.
    auto step = [&](int i, uint32_t mixed, int far) {
        const uint32_t x = mem[i];
        a = (a ^ mixed) + mem[far];
        const uint32_t y = mem[(x >> 2) & (kWords - 1)] + a + b;
        mem[i] = y;
        b = mem[(y >> 10) & (kWords - 1)] + x;
        out[i] = b;
    };
    constexpr int kHalf = kWords / 2;
    for (int i = 0; i < kWords; i += 4) {
        const int far = (i + kHalf) % kWords;
        step(i, a << 13, far);
        step(i + 1, a >> 6, far + 1);
        step(i + 2, a << 2, far + 2);
        step(i + 3, a >> 16, far + 3);
    }
    ctx.randa = a;
    ctx.randb = b;
}

void IsaacInitialise(IsaacContext& ctx, bool useSeed) {
    ctx.randa = ctx.randb = ctx.randc = 0;
    uint32_t a, b, c, d, e, f, g, h;
    a = b = c = d = e = f = g = h = 0x9E3779B9u;  // the golden ratio
    for (int i = 0; i < 4; ++i) Mix(a, b, c, d, e, f, g, h);
    auto pass = [&](const uint32_t* add) {
        for (int i = 0; i < kWords; i += 8) {
            if (add) {
                a += add[i]; b += add[i + 1]; c += add[i + 2]; d += add[i + 3];
                e += add[i + 4]; f += add[i + 5]; g += add[i + 6]; h += add[i + 7];
            }
            Mix(a, b, c, d, e, f, g, h);
            uint32_t* m = &ctx.randmem[i];
            m[0] = a; m[1] = b; m[2] = c; m[3] = d; m[4] = e; m[5] = f; m[6] = g; m[7] = h;
        }
    };
    if (useSeed) {
        pass(ctx.randrsl);
        pass(ctx.randmem);  // a second pass lets every seed word reach every state word
    } else {
        pass(nullptr);
    }
    IsaacGenerate(ctx);
    ctx.randcnt = kWords;
}

void IsaacContextDeleter::operator()(IsaacContext* ctx) const {
    if (!ctx) return;
    explicit_bzero(ctx, sizeof *ctx);
    delete ctx;
}

IsaacContextPtr AllocCtx() {
    IsaacContextPtr ctx(new IsaacContext);
    IsaacInitialise(*ctx, false);
    return ctx;
}

IsaacContextPtr FreeCtx(IsaacContextPtr ctx) {
    ctx.reset();
    return ctx;
}

void iSeed(IsaacContext& ctx, const uint8_t* bytes, int32_t count, int32_t flag) {
    if (flag == 0) {
        IsaacInitialise(ctx, false);
        return;
    }
    uint8_t seed[kWords * 4] = {};
    if (bytes && count > 0)
        for (size_t i = 0; i < sizeof seed; ++i) seed[i] = bytes[i % static_cast<size_t>(count)];
    for (int w = 0; w < kWords; ++w)
        ctx.randrsl[w] = uint32_t{seed[4 * w]} | (uint32_t{seed[4 * w + 1]} << 8) | (uint32_t{seed[4 * w + 2]} << 16) |
                         (uint32_t{seed[4 * w + 3]} << 24);
    explicit_bzero(seed, sizeof seed);
    IsaacInitialise(ctx, true);
}

uint8_t iRandB(IsaacContext& ctx) { return static_cast<uint8_t>(iRandom(ctx) & 0xFFu); }

uint8_t iRandA(IsaacContext& ctx) {
    for (;;) {
        const uint8_t b = iRandB(ctx);
        if (b >= 33 && b <= 126) return b;
    }
}

void iRandBuff(IsaacContext& ctx, uint8_t* buffer, int32_t count) {
    if (!buffer) return;
    for (int32_t i = 0; i < count; i += 4) {
        const uint32_t v = iRandom(ctx);
        for (int32_t k = 0; k < 4 && i + k < count; ++k) buffer[i + k] = static_cast<uint8_t>(v >> (8 * k));
    }
}

std::u16string MakeIsaacSeedText(SequenceRandom& rng, int32_t tickCount, int32_t processId, double timerSeconds) {
    rng.Seed(processId);
    auto randomInRange = [&rng](int low, int high) {
        return static_cast<int>(static_cast<double>(rng.Next()) * (high - low + 1) + low);
    };
    std::u16string text;
    const int n = randomInRange(1, 64);
    for (int i = 0; i < n; ++i) text.push_back(static_cast<char16_t>(randomInRange(33, 126)));
    const std::string digits =
        std::to_string(processId) + std::to_string(Nearest(timerSeconds * 10.0)) + std::to_string(tickCount);
    text.append(digits.begin(), digits.end());
    return text;
}

CISAAC::CISAAC(SequenceRandom& rng) : context_(AllocCtx()), rng_(rng) { RngSeed(MakeSeedText()); }

CISAAC::~CISAAC() { context_ = FreeCtx(std::move(context_)); }

std::u16string CISAAC::MakeSeedText() { return MakeIsaacSeedText(rng_, TickCount(), ProcessId(), TimerSeconds()); }

bool CISAAC::RngSeed(std::u16string_view seedText) {
    if (!context_) return false;
    const std::u16string text = seedText.empty() ? MakeSeedText() : std::u16string(seedText);
    std::string bytes = TextToAnsi(text);
    iSeed(*context_, reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()), 1);
    explicit_bzero(bytes.data(), bytes.size());
    return true;
}

std::u16string CISAAC::RndBuff(int32_t count) {
    if (count <= 0) return {};
    std::string bytes(static_cast<size_t>(count), '\0');
    iRandBuff(*context_, reinterpret_cast<uint8_t*>(bytes.data()), count);
    return AnsiToText(bytes);
}

std::u16string CISAAC::CryptBuff(std::u16string_view text, int32_t count) {
    const std::u16string pad = RndBuff(count);
    std::u16string out(text.substr(0, pad.size()));
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<char16_t>(out[i] ^ pad[i]);
    return out;
}

bool CISAAC::CryptStream(std::istream& input, std::ostream& output) {
    constexpr int32_t kBlock = 1024;
    uint8_t keystream[kBlock];
    int32_t left = 0;
    std::vector<char> chunk(64 * 1024);
    while (input) {
        input.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const std::streamsize got = input.gcount();
        if (input.bad()) return false;
        for (std::streamsize i = 0; i < got; ++i) {
            if (left == 0) {
                iRandBuff(*context_, keystream, kBlock);
                left = kBlock;
            }
            chunk[static_cast<size_t>(i)] = static_cast<char>(chunk[static_cast<size_t>(i)] ^ keystream[--left]);
        }
        output.write(chunk.data(), got);
        if (!output) return false;
    }
    explicit_bzero(keystream, sizeof keystream);
    return !input.bad();
}

}  // namespace corvane
