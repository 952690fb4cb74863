#include "widgets/uni_text_keys.hpp"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "core/code_page.hpp"

namespace corvane::uni_text {
namespace {

// Keys outside the letter, digit and function-key runs. A shifted symbol has
// the code of its unshifted key, as on the keyboard the codes come from.
constexpr std::pair<int, int> kVirtualKeys[] = {
    {Qt::Key_Backspace, 0x08},  {Qt::Key_Tab, 0x09},         {Qt::Key_Backtab, 0x09},
    {Qt::Key_Return, 0x0D},     {Qt::Key_Enter, 0x0D},       {Qt::Key_Shift, 0x10},
    {Qt::Key_Control, 0x11},    {Qt::Key_Alt, 0x12},         {Qt::Key_Pause, 0x13},
    {Qt::Key_CapsLock, 0x14},   {Qt::Key_Escape, 0x1B},      {Qt::Key_PageUp, 0x21},
    {Qt::Key_PageDown, 0x22},   {Qt::Key_End, 0x23},         {Qt::Key_Home, 0x24},
    {Qt::Key_Left, 0x25},       {Qt::Key_Up, 0x26},          {Qt::Key_Right, 0x27},
    {Qt::Key_Down, 0x28},       {Qt::Key_Insert, 0x2D},      {Qt::Key_Delete, 0x2E},
    {Qt::Key_Menu, 0x5D},       {Qt::Key_NumLock, 0x90},     {Qt::Key_ScrollLock, 0x91},
    {Qt::Key_ParenRight, '0'},  {Qt::Key_Exclam, '1'},       {Qt::Key_At, '2'},
    {Qt::Key_NumberSign, '3'},  {Qt::Key_Dollar, '4'},       {Qt::Key_Percent, '5'},
    {Qt::Key_AsciiCircum, '6'}, {Qt::Key_Ampersand, '7'},    {Qt::Key_Asterisk, '8'},
    {Qt::Key_ParenLeft, '9'},   {Qt::Key_Semicolon, 0xBA},   {Qt::Key_Colon, 0xBA},
    {Qt::Key_Equal, 0xBB},      {Qt::Key_Plus, 0xBB},        {Qt::Key_Comma, 0xBC},
    {Qt::Key_Less, 0xBC},       {Qt::Key_Minus, 0xBD},       {Qt::Key_Underscore, 0xBD},
    {Qt::Key_Period, 0xBE},     {Qt::Key_Greater, 0xBE},     {Qt::Key_Slash, 0xBF},
    {Qt::Key_Question, 0xBF},   {Qt::Key_QuoteLeft, 0xC0},   {Qt::Key_AsciiTilde, 0xC0},
    {Qt::Key_BracketLeft, 0xDB}, {Qt::Key_BraceLeft, 0xDB},  {Qt::Key_Backslash, 0xDC},
    {Qt::Key_Bar, 0xDC},        {Qt::Key_BracketRight, 0xDD}, {Qt::Key_BraceRight, 0xDD},
    {Qt::Key_Apostrophe, 0xDE}, {Qt::Key_QuoteDbl, 0xDE},
};

}  // namespace

int ShiftState(Qt::KeyboardModifiers m) {
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) | (m & Qt::AltModifier ? 4 : 0);
}

// Qt's left, right and middle buttons already have the values 1, 2 and 4.
int ButtonCode(Qt::MouseButtons b) {
    return static_cast<int>(b & (Qt::LeftButton | Qt::RightButton | Qt::MiddleButton));
}

int VirtualKey(int key) {
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9) || key == Qt::Key_Space)
        return key;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return 0x70 + (key - Qt::Key_F1);
    for (const auto& [qtKey, code] : kVirtualKeys)
        if (qtKey == key) return code;
    return 0;
}

bool StaysInBox(int key) {
    switch (key) {
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_End:
        case Qt::Key_Home:
        case Qt::Key_Left:
        case Qt::Key_Up:
        case Qt::Key_Right:
        case Qt::Key_Down: return true;
        default: return false;
    }
}

bool IsInsertable(std::u16string_view typed) {
    return std::any_of(typed.begin(), typed.end(), [](char16_t c) { return c == u'\t' || (c >= 0x20 && c != 0x7F); });
}

void AppendCode(std::u16string& out, int code) {
    if (code <= 0 || code > 0x10FFFF) return;
    AppendCodePoint(out, static_cast<uint32_t>(code));
}

}  // namespace corvane::uni_text
