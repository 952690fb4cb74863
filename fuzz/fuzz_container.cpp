// Decoded bits from an untrusted image go through BitsToText and
// ParseContainer: neither may read outside its input or allocate beyond the
// lengths that fit.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/hidden_message.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    // First byte: delimiter length; then the delimiters; the rest are bits.
    const size_t delimiterLength = data[0] % 11;
    size_t pos = 1;
    auto take = [&](size_t n) {
        std::u16string s;
        for (size_t i = 0; i < n && pos + 1 < size; ++i, pos += 2)
            s.push_back(static_cast<char16_t>(data[pos] | (data[pos + 1] << 8)));
        return s;
    };
    const std::u16string start = take(delimiterLength);
    const std::u16string end = take(delimiterLength);
    std::vector<uint8_t> bits;
    for (; pos < size; ++pos)
        for (int k = 0; k < 8; ++k) bits.push_back((data[pos] >> k) & 1);
    const std::u16string text = corvane::BitsToText(bits, bits.size() + 16 * 80);
    const corvane::ParsedContainer parsed = corvane::ParseContainer(text, start, end);
    if (parsed.digestField.size() > 64) __builtin_trap();
    if (parsed.status == corvane::ParseStatus::Found && parsed.message.size() > 5000000) __builtin_trap();
    return 0;
}
