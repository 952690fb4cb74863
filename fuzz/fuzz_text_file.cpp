// Feeds arbitrary bytes to the text-file loader as a file would: the first
// byte picks IfNoByteOrderMark, the rest is the file. Whatever decodes must
// also survive a save in every encoding and load back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/text_file.hpp"

namespace {

bool IsPairedText(std::u16string_view t) {
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] >= 0xD800 && t[i] <= 0xDBFF && i + 1 < t.size() && t[i + 1] >= 0xDC00 &&
            t[i + 1] <= 0xDFFF) {
            ++i;
        } else if (t[i] >= 0xD800 && t[i] <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int32_t flag = data[0] & 1;
    const std::string_view file(reinterpret_cast<const char*>(data + 1), size - 1);
    const corvane::DecodedText d = corvane::DecodeTextFile(file, flag);
    if (!corvane::IsEncodingCode(d.bom)) std::abort();

    using namespace corvane;
    for (int32_t code : {kEncodingUtf16LE, kEncodingUtf16BE, kEncodingUtf7, kEncodingUtf32LE,
                         kEncodingUtf32BE, kEncodingUtf8}) {
        // UTF-32 and UTF-8 cannot carry lone surrogates, so only paired text must survive them.
        const bool unitsOnly = code == kEncodingUtf16LE || code == kEncodingUtf16BE || code == kEncodingUtf7;
        if (d.text.empty() || (!unitsOnly && !IsPairedText(d.text))) continue;
        // FF FE 00 00 is the UTF-32 mark, so UTF-16LE text cannot start with U+0000.
        if (code == kEncodingUtf16LE && d.text[0] == 0) continue;
        const std::string bytes = *EncodeTextFile(d.text, code);
        const DecodedText back = DecodeTextFile(bytes, 1);
        if (back.text != d.text || back.bom != code) std::abort();
    }
    return 0;
}
