#pragma once
// ISAAC, Bob Jenkins' 32-bit cryptographic generator (256-word state), and
// the CISAAC class that the key generator draws from. A context is made,
// seeded with bytes and drawn from through a few small functions; CISAAC
// owns one context for the life of one generation run.
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

#include "core/sequence_random.hpp"

namespace corvane {

struct IsaacContext {
    static constexpr int kWords = 256;
    uint32_t randrsl[kWords] = {};  // results of the last generation; also the seed on initialisation
    uint32_t randmem[kWords] = {};
    uint32_t randa = 0, randb = 0, randc = 0;
    uint32_t randcnt = 0;  // results of randrsl not yet handed out (taken from the top down)
};

// One generation: 256 new results into randrsl.
void IsaacGenerate(IsaacContext& ctx);
// With useSeed the current randrsl seeds the state; otherwise a fixed
// state is built. Ends with a first generation ready to be handed out.
void IsaacInitialise(IsaacContext& ctx, bool useSeed);

struct IsaacContextDeleter {
    void operator()(IsaacContext* ctx) const;  // wipes the state before freeing it
};
using IsaacContextPtr = std::unique_ptr<IsaacContext, IsaacContextDeleter>;

IsaacContextPtr AllocCtx();
// Releases the context; returns the handle's new value (none).
IsaacContextPtr FreeCtx(IsaacContextPtr ctx);

// flag 1: the seed bytes, repeated as often as needed, fill the 1024 bytes
// of randrsl (word i from bytes 4i..4i+3, little-endian) and initialise the
// state; no bytes give the all-zero seed. flag 0: the unseeded state.
void iSeed(IsaacContext& ctx, const uint8_t* bytes, int32_t count, int32_t flag);

inline uint32_t iRandom(IsaacContext& ctx) {
    if (ctx.randcnt == 0) {
        IsaacGenerate(ctx);
        ctx.randcnt = IsaacContext::kWords;
    }
    return ctx.randrsl[--ctx.randcnt];
}
// The low byte of the next result.
uint8_t iRandB(IsaacContext& ctx);
// A printable character code 33-126, uniform (bytes outside are redrawn).
uint8_t iRandA(IsaacContext& ctx);
// count bytes, four from each result, little-endian.
void iRandBuff(IsaacContext& ctx, uint8_t* buffer, int32_t count);

// The seed text of a new CISAAC: n characters of codes 33-126 (n from 1 to
// 64), then the process id, the timer in tenths of seconds and the tick
// count in decimal. Reseeds rng with the process id before drawing.
std::u16string MakeIsaacSeedText(SequenceRandom& rng, int32_t tickCount, int32_t processId, double timerSeconds);

class CISAAC {
public:
    // Makes the context and seeds it from MakeSeedText, which reseeds rng
    // with the process id: every later use of rng follows from that.
    explicit CISAAC(SequenceRandom& rng = ProgramRandom());
    ~CISAAC();
    CISAAC(const CISAAC&) = delete;
    CISAAC& operator=(const CISAAC&) = delete;

    // An empty text seeds from MakeSeedText. The text goes through the
    // code page, one byte per character. False when there is no context.
    bool RngSeed(std::u16string_view seedText = {});

    int32_t RndLong() { return static_cast<int32_t>(iRandom(*context_)); }
    uint8_t RndByte() { return iRandB(*context_); }
    uint8_t RndChar() { return iRandA(*context_); }
    // count random bytes as code-page characters.
    std::u16string RndBuff(int32_t count);
    // text XOR RndBuff(count), character code by character code, over the
    // first count characters (no further than the text goes).
    std::u16string CryptBuff(std::u16string_view text, int32_t count);
    // XORs the whole input with the keystream into the output. The keystream
    // comes in blocks of 1024 bytes, each used from its last byte to its
    // first. False when reading or writing failed.
    bool CryptStream(std::istream& input, std::ostream& output);

private:
    std::u16string MakeSeedText();

    IsaacContextPtr context_;
    SequenceRandom& rng_;
};

}  // namespace corvane
