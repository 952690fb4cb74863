// The text box's input: keys, mouse and typed text, as the edit control
// takes and reports them.
#include "widgets/uni_text.hpp"

#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QWheelEvent>

#include <algorithm>
#include <utility>

#include "widgets/controls.hpp"
#include "widgets/uni_text_editors.hpp"
#include "widgets/uni_text_keys.hpp"

namespace corvane {

using uni_text::AppendCode;
using uni_text::ButtonCode;
using uni_text::IsHighSurrogate;
using uni_text::ShiftState;
using uni_text::VirtualKey;

// ---- Typed text ----

int32_t UniText::RoomFor(int32_t replacedUnits) const { return maxLength_ - (Length() - replacedUnits); }

bool UniText::LineTextAllowed(qsizetype length) const {
    if (quiet_ > 0 || unlimited_ || maxLength_ <= 0) return true;
    // A text set longer than the limit may shrink, never grow.
    return length <= std::max<qsizetype>(maxLength_, lineLength_);
}

void UniText::InsertUserText(std::u16string text) {
    if (locked_ || text.empty()) return;
    if (maxLength_ > 0) {
        const int32_t room = RoomFor(SelLength());
        if (room <= 0) return;
        if (text.size() > static_cast<size_t>(room)) {
            size_t cut = static_cast<size_t>(room);
            // Never keep half of a surrogate pair or of a line break.
            if (IsHighSurrogate(text[cut - 1]) || (text[cut - 1] == u'\r' && text[cut] == u'\n')) --cut;
            text.resize(cut);
            if (text.empty()) return;
        }
    }
    ReplaceSelection(text);
    if (text_) text_->ensureCursorVisible();
}

// Takes typed characters as the edit window does: a carriage return or a
// line feed breaks the line of a multi-line box (a single line ignores both),
// a backspace deletes the selection or the character before the caret, and
// other control characters are ignored.
void UniText::InsertTyped(std::u16string_view typed) {
    std::u16string text;
    for (char16_t c : typed) {
        if (c == u'\r' || c == u'\n') {
            if (text_) text += u"\r\n";
        } else if (c == u'\b') {
            InsertUserText(std::exchange(text, {}));
            Backspace();
        } else if (c == u'\t' || (c >= 0x20 && c != 0x7F)) {
            text.push_back(c);
        }
    }
    InsertUserText(std::move(text));
}

void UniText::Backspace() {
    if (locked_) return;
    if (text_) {
        QTextCursor c = text_->textCursor();
        c.deletePreviousChar();
        text_->setTextCursor(c);
    } else {
        line_->backspace();
    }
}

void UniText::TypeCharacter(char16_t c) {
    int code = c;
    if (useEvents_) emit KeyPress(code);
    std::u16string typed;
    AppendCode(typed, code);
    InsertTyped(typed);
}

// ---- Events ----

bool UniText::BeforeEditorEvent(QEvent* e, QWidget* source) {
    switch (e->type()) {
        case QEvent::KeyPress:
            return BeforeKeyPress(static_cast<QKeyEvent*>(e));
        case QEvent::MouseButtonPress: {
            auto* m = static_cast<QMouseEvent*>(e);
            const QPoint p = source->mapTo(this, m->position().toPoint());
            if (useEvents_) emit MouseDown(ButtonCode(m->button()), ShiftState(m->modifiers()), p.x(), p.y());
            return false;
        }
        case QEvent::ContextMenu: {
            bool cancel = false;
            if (useEvents_) emit ContextMenu(cancel);
            if (!cancel) return false;
            e->accept();
            return true;
        }
        case QEvent::InputMethod: {
            auto* im = static_cast<QInputMethodEvent*>(e);
            if (text_ && maxLength_ > 0 && !im->commitString().isEmpty()) {
                const int32_t room = std::max(0, RoomFor(SelLength()));
                if (im->commitString().size() > room)
                    im->setCommitString(im->commitString().left(room), im->replacementStart(), im->replacementLength());
            }
            return false;
        }
        default:
            return false;
    }
}

void UniText::AfterEditorEvent(QEvent* e, QWidget* source) {
    switch (e->type()) {
        case QEvent::KeyRelease: {
            auto* k = static_cast<QKeyEvent*>(e);
            if (useEvents_) emit KeyUp(VirtualKey(k->key()), ShiftState(k->modifiers()));
            break;
        }
        case QEvent::MouseButtonRelease:
        case QEvent::MouseMove: {
            if (!useEvents_) break;
            auto* m = static_cast<QMouseEvent*>(e);
            const QPoint p = source->mapTo(this, m->position().toPoint());
            const int shift = ShiftState(m->modifiers());
            if (e->type() == QEvent::MouseMove) {
                emit MouseMove(ButtonCode(m->buttons()), shift, p.x(), p.y());
            } else {
                emit MouseUp(ButtonCode(m->button()), shift, p.x(), p.y());
                emit Click(ButtonCode(m->button()));
            }
            break;
        }
        case QEvent::MouseButtonDblClick:
            if (useEvents_) emit DblClick(ButtonCode(static_cast<QMouseEvent*>(e)->button()));
            break;
        case QEvent::Wheel: {
            const int dy = static_cast<QWheelEvent*>(e)->angleDelta().y();
            if (useEvents_ && dy != 0) emit MouseWheel(dy > 0 ? 1 : -1);
            break;
        }
        case QEvent::FocusIn:
        case QEvent::FocusOut:
            ApplyPalette();
            break;
        default:
            break;
    }
}

// Tab, Enter and Esc go to the window unless the box captures them.
bool UniText::BeforeWindowKey(QKeyEvent* k) {
    const int key = k->key();
    const Qt::KeyboardModifiers mods = k->modifiers();
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
        if (!captureTab_ || key == Qt::Key_Backtab || (mods & (Qt::ShiftModifier | Qt::ControlModifier)))
            return false;  // focus moves on as usual
        if (useEvents_) emit KeyDown(VirtualKey(key), ShiftState(mods));
        TypeCharacter(u'\t');
        k->accept();
        return true;
    }
    const bool enter = key != Qt::Key_Escape;
    // A message of several lines is typed, not only pasted: a multi-line
    // box always takes Enter as a line break.
    if (!(enter ? captureEnter_ || text_ : captureEsc_)) {
        // Left to the window (its default or cancel button): an ignored
        // key travels on to the parents.
        k->ignore();
        return true;
    }
    if (useEvents_) emit KeyDown(VirtualKey(key), ShiftState(mods));
    if (enter) {
        TypeCharacter(u'\r');
    } else {
        int code = 27;
        if (useEvents_) emit KeyPress(code);
    }
    k->accept();
    return true;
}

bool UniText::BeforeKeyPress(QKeyEvent* k) {
    const int key = k->key();
    const Qt::KeyboardModifiers mods = k->modifiers();
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Return || key == Qt::Key_Enter ||
        key == Qt::Key_Escape)
        return BeforeWindowKey(k);

    if (useEvents_) emit KeyDown(VirtualKey(key), ShiftState(mods));
    const std::u16string typed = key == Qt::Key_Delete ? std::u16string() : ToU16(k->text());
    std::u16string result;
    for (char16_t u : typed) {
        int code = u;
        if (useEvents_) emit KeyPress(code);
        AppendCode(result, code);
    }
    if (result != typed) {
        InsertTyped(result);
        k->accept();
        return true;
    }
    if (line_ && maxLength_ > 0 && k->matches(QKeySequence::Paste)) {
        // Paste what fits, as the edit control does, instead of refusing it all.
        if (!locked_) InsertUserText(ToU16(QGuiApplication::clipboard()->text()));
        k->accept();
        return true;
    }
    const bool command = (mods & Qt::ControlModifier) && !(mods & Qt::AltModifier);
    if (text_ && maxLength_ > 0 && !locked_ && !command && uni_text::IsInsertable(typed) &&
        RoomFor(SelLength()) < static_cast<int32_t>(typed.size())) {
        k->accept();  // the box is full: the key is dropped
        return true;
    }
    return false;
}

}  // namespace corvane
