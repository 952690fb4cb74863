#pragma once
// How the text box reports keys and mouse buttons to its window, and which
// typed characters it takes.
#include <Qt>

#include <string>
#include <string_view>

namespace corvane::uni_text {

// 1 Shift, 2 Ctrl, 4 Alt, added up.
int ShiftState(Qt::KeyboardModifiers modifiers);
// 1 left, 2 right, 4 middle, added up.
int ButtonCode(Qt::MouseButtons buttons);
// The virtual-key code of a US keyboard for a Qt key; 0 for keys it lacks.
int VirtualKey(int key);
// Page and arrow keys never leave the box, even where the editor has no use
// for them (a single line has no up or down).
bool StaysInBox(int key);

// True when typing `typed` would insert something (a tab or a printable
// character) rather than only act (control characters).
bool IsInsertable(std::u16string_view typed);
// Appends the character `code` as the KeyPress handler left it; 0 (the key
// swallowed) and codes outside Unicode append nothing.
void AppendCode(std::u16string& out, int code);

inline bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

}  // namespace corvane::uni_text
