#pragma once
// The single-byte code page used for image comments, code page 0 text files
// and the ISAAC seed text: Windows-1252, with the five undefined bytes mapped
// to the C1 controls of the same value.
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

char16_t AnsiToUnicode(uint8_t byte);
// The byte that stands for c, or '?' when the code page has none.
uint8_t UnicodeToAnsi(char16_t c);
// True when c has a byte of its own in the code page.
bool HasAnsiByte(char16_t c);

std::u16string AnsiToText(std::string_view bytes);
std::string TextToAnsi(std::u16string_view text);

// UTF-8 <-> UTF-16 for paths, terminals and arguments. Malformed input
// decodes to U+FFFD; an unpaired surrogate encodes as U+FFFD.
std::u16string Utf8ToText(std::string_view utf8);
// Appends a code point as one UTF-16 unit or a surrogate pair.
void AppendCodePoint(std::u16string& out, uint32_t codePoint);
std::string TextToUtf8(std::u16string_view text);

}  // namespace corvane
