#pragma once
// Text files of the Unicode text box and of the corvane command: byte-order
// mark detection, the "looks like UTF-8" guess, and the eight encodings.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/safe_file.hpp"

namespace corvane {

// Encoding codes as the text box's BOM property stores them.
inline constexpr int32_t kEncodingCodePage = 0;   // Windows-1252, no mark
inline constexpr int32_t kEncodingUtf8NoMark = 1;
inline constexpr int32_t kEncodingUtf16LE = 1200;
inline constexpr int32_t kEncodingUtf16BE = 1201;
inline constexpr int32_t kEncodingUtf32LE = 12000;
inline constexpr int32_t kEncodingUtf32BE = 12001;
inline constexpr int32_t kEncodingUtf7 = 65000;
inline constexpr int32_t kEncodingUtf8 = 65001;

// A loader refuses files larger than this rather than exhausting memory on
// something like /dev/zero; no message that fits in an image comes close.
inline constexpr size_t kMaxTextFileBytes = size_t{256} << 20;

bool IsEncodingCode(int32_t code);

// The mark the file starts with (0 when none), given the whole file, and how
// many bytes it takes.
struct ByteOrderMark {
    int32_t code = kEncodingCodePage;
    size_t length = 0;
};
ByteOrderMark DetectByteOrderMark(std::string_view file);

// True when the first 2048 bytes hold at least one well-formed multi-byte
// sequence and no stray continuation byte; pure ASCII does not qualify.
bool LooksLikeUtf8(std::string_view content);

struct DecodedText {
    std::u16string text;
    int32_t bom = kEncodingCodePage;
};
// The whole file's bytes to text. ifNoByteOrderMark = 1 lets a file without
// a mark be read as UTF-8 when it looks like UTF-8; any other value sends it
// through the code page. Never fails: malformed input decodes to U+FFFD.
DecodedText DecodeTextFile(std::string_view file, int32_t ifNoByteOrderMark);

// The file's bytes for text in the given encoding, mark included;
// nullopt for a code that is not an encoding code.
std::optional<std::string> EncodeTextFile(std::u16string_view text, int32_t encodingCode);

std::u16string Utf7ToText(std::string_view utf7);
std::string TextToUtf7(std::u16string_view text);

struct LoadFileResult {
    bool ok = false;
    std::u16string text;
    int32_t bom = kEncodingCodePage;
    std::string error;  // why it failed, for a terminal
};
LoadFileResult LoadTextFile(const std::string& path, int32_t ifNoByteOrderMark);

struct SaveFileResult {
    bool ok = false;
    std::string error;
};
// An empty path or an empty text creates no file. Without overwriteExisting
// an existing file is left alone and the save fails. The file is written
// whole or not at all (SafeFile).
SaveFileResult SaveTextFile(const std::string& path, std::u16string_view text,
                            int32_t byteOrderMark, bool overwriteExisting,
                            FileAccess access = FileAccess::Shared);

}  // namespace corvane
