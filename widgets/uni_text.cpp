#include "widgets/uni_text.hpp"

#include "widgets/controls.hpp"

#include "core/code_page.hpp"

#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QValidator>
#include <QWheelEvent>

#include <algorithm>
#include <limits>
#include <utility>

#include "core/text_file.hpp"

namespace corvane {
namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// The characters that QTextCursor::insertText turns into a new line, in the
// order they appear; "\r\n" counts once.
std::vector<std::u16string> BreaksOf(std::u16string_view t) {
    std::vector<std::u16string> out;
    for (size_t i = 0; i < t.size(); ++i) {
        const char16_t c = t[i];
        if (c == u'\r' && i + 1 < t.size() && t[i + 1] == u'\n') {
            out.emplace_back(u"\r\n");
            ++i;
        } else if (c == u'\r' || c == u'\n' || c == 0x2029 || c == 0xFDD0 || c == 0xFDD1) {
            out.emplace_back(1, c);
        }
    }
    return out;
}

int ShiftState(Qt::KeyboardModifiers m) {
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) | (m & Qt::AltModifier ? 4 : 0);
}

// Qt's left, right and middle buttons already have the values 1, 2 and 4.
int ButtonCode(Qt::MouseButtons b) {
    return static_cast<int>(b & (Qt::LeftButton | Qt::RightButton | Qt::MiddleButton));
}

// Virtual-key codes of a US keyboard, which is what KeyDown and KeyUp report.
int VirtualKey(int key) {
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9) || key == Qt::Key_Space)
        return key;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return 0x70 + (key - Qt::Key_F1);
    switch (key) {
        case Qt::Key_Backspace: return 0x08;
        case Qt::Key_Tab:
        case Qt::Key_Backtab: return 0x09;
        case Qt::Key_Return:
        case Qt::Key_Enter: return 0x0D;
        case Qt::Key_Shift: return 0x10;
        case Qt::Key_Control: return 0x11;
        case Qt::Key_Alt: return 0x12;
        case Qt::Key_Pause: return 0x13;
        case Qt::Key_CapsLock: return 0x14;
        case Qt::Key_Escape: return 0x1B;
        case Qt::Key_PageUp: return 0x21;
        case Qt::Key_PageDown: return 0x22;
        case Qt::Key_End: return 0x23;
        case Qt::Key_Home: return 0x24;
        case Qt::Key_Left: return 0x25;
        case Qt::Key_Up: return 0x26;
        case Qt::Key_Right: return 0x27;
        case Qt::Key_Down: return 0x28;
        case Qt::Key_Insert: return 0x2D;
        case Qt::Key_Delete: return 0x2E;
        case Qt::Key_Menu: return 0x5D;
        case Qt::Key_NumLock: return 0x90;
        case Qt::Key_ScrollLock: return 0x91;
        case Qt::Key_ParenRight: return '0';
        case Qt::Key_Exclam: return '1';
        case Qt::Key_At: return '2';
        case Qt::Key_NumberSign: return '3';
        case Qt::Key_Dollar: return '4';
        case Qt::Key_Percent: return '5';
        case Qt::Key_AsciiCircum: return '6';
        case Qt::Key_Ampersand: return '7';
        case Qt::Key_Asterisk: return '8';
        case Qt::Key_ParenLeft: return '9';
        case Qt::Key_Semicolon:
        case Qt::Key_Colon: return 0xBA;
        case Qt::Key_Equal:
        case Qt::Key_Plus: return 0xBB;
        case Qt::Key_Comma:
        case Qt::Key_Less: return 0xBC;
        case Qt::Key_Minus:
        case Qt::Key_Underscore: return 0xBD;
        case Qt::Key_Period:
        case Qt::Key_Greater: return 0xBE;
        case Qt::Key_Slash:
        case Qt::Key_Question: return 0xBF;
        case Qt::Key_QuoteLeft:
        case Qt::Key_AsciiTilde: return 0xC0;
        case Qt::Key_BracketLeft:
        case Qt::Key_BraceLeft: return 0xDB;
        case Qt::Key_Backslash:
        case Qt::Key_Bar: return 0xDC;
        case Qt::Key_BracketRight:
        case Qt::Key_BraceRight: return 0xDD;
        case Qt::Key_Apostrophe:
        case Qt::Key_QuoteDbl: return 0xDE;
        default: return 0;
    }
}

// Page and arrow keys never leave the box, even where the editor has no use
// for them (a single line has no up or down).
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

class PasswordStyle : public QProxyStyle {
public:
    explicit PasswordStyle(char16_t c) : c_(c) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* ret) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return c_;
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }

private:
    char16_t c_;
};

}  // namespace

// MaxLength for the single-line editor. QLineEdit's own limit would also cut
// texts that the program sets, which must arrive whole.
class UniText::LengthValidator : public QValidator {
public:
    explicit LengthValidator(UniText& owner) : QValidator(&owner), owner_(owner) {}
    State validate(QString& input, int&) const override {
        return owner_.LineTextAllowed(input.size()) ? Acceptable : Invalid;
    }

private:
    UniText& owner_;
};

class UniText::LineEditor : public QLineEdit {
public:
    explicit LineEditor(UniText& owner) : QLineEdit(&owner), owner_(owner) {}

protected:
    bool event(QEvent* e) override {
        if (owner_.BeforeEditorEvent(e, this)) return true;
        const bool focusOut = e->type() == QEvent::FocusOut;
        const int start = selectionStart(), length = selectionLength(), caret = cursorPosition();
        const bool handled = QLineEdit::event(e);
        // QLineEdit drops its selection with the focus; the box keeps it.
        if (focusOut && start >= 0 && length > 0 && !hasSelectedText()) {
            if (caret == start)
                setSelection(start + length, -length);
            else
                setSelection(start, length);
        }
        owner_.AfterEditorEvent(e, this);
        return handled;
    }
    void keyPressEvent(QKeyEvent* k) override {
        QLineEdit::keyPressEvent(k);
        if (StaysInBox(k->key())) k->accept();
    }

private:
    UniText& owner_;
};

class UniText::TextEditor : public QPlainTextEdit {
public:
    explicit TextEditor(UniText& owner) : QPlainTextEdit(&owner), owner_(owner) {}

protected:
    bool event(QEvent* e) override {
        if (owner_.BeforeEditorEvent(e, this)) return true;
        const bool handled = QPlainTextEdit::event(e);
        owner_.AfterEditorEvent(e, this);
        return handled;
    }
    bool viewportEvent(QEvent* e) override {
        if (owner_.BeforeEditorEvent(e, viewport())) return true;
        const bool handled = QPlainTextEdit::viewportEvent(e);
        owner_.AfterEditorEvent(e, viewport());
        return handled;
    }
    void keyPressEvent(QKeyEvent* k) override {
        QPlainTextEdit::keyPressEvent(k);
        if (StaysInBox(k->key())) k->accept();
    }
    // Copy and drag carry the selection as the text has it, "\r\n" and all.
    QMimeData* createMimeDataFromSelection() const override {
        auto* data = new QMimeData;
        data->setText(ToQString(owner_.SelText()));
        return data;
    }
    bool canInsertFromMimeData(const QMimeData* source) const override { return source->hasText(); }
    // Paste and drop go through the box so that MaxLength and the line
    // breaks of the pasted text are kept.
    void insertFromMimeData(const QMimeData* source) override {
        if (source->hasText()) owner_.InsertUserText(ToU16(source->text()));
        ensureCursorVisible();
    }

private:
    UniText& owner_;
};

UniText::UniText(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    validator_ = new LengthValidator(*this);
    CreateEditor();
}

UniText::~UniText() {
    ++quiet_;
    useEvents_ = false;
    QWidget* editor = Editor();
    line_ = nullptr;
    text_ = nullptr;
    delete editor;
}

QWidget* UniText::Editor() const {
    if (line_) return line_;
    return text_;
}

void UniText::CreateEditor() {
    QWidget* old = Editor();
    std::u16string keep;
    int32_t selStart = 0, selEnd = 0;
    bool modified = false, focused = false;
    if (old) {
        keep = Text();
        GetSel(selStart, selEnd);
        modified = Modified();
        focused = old->hasFocus();
    }
    ++quiet_;
    line_ = nullptr;
    text_ = nullptr;
    delete old;
    breaks_.clear();
    lineLength_ = 0;

    if (multiLine_) {
        text_ = new TextEditor(*this);
        text_->setTabChangesFocus(true);
        text_->viewport()->setMouseTracking(true);
        connect(text_, &QPlainTextEdit::textChanged, this, &UniText::OnTextChanged);
        connect(text_->document(), &QTextDocument::contentsChange, this, &UniText::OnContentsChange);
        connect(text_->document(), &QTextDocument::undoCommandAdded, this, [this] { newUndoStep_ = true; });
        connect(text_->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] {
            if (useEvents_ && quiet_ == 0) emit Scroll(1);
        });
        connect(text_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
            if (useEvents_ && quiet_ == 0) emit Scroll(2);
        });
    } else {
        line_ = new LineEditor(*this);
        line_->setMaxLength(std::numeric_limits<int>::max());
        line_->setValidator(validator_);
        line_->setMouseTracking(true);
        connect(line_, &QLineEdit::textChanged, this, &UniText::OnTextChanged);
    }
    layout()->addWidget(Editor());
    // A child made after the box was shown stays hidden unless told.
    Editor()->show();
    setFocusProxy(Editor());
    ApplyEditorProperties();
    ApplyPasswordChar();
    if (old) {
        SetText(keep);
        SetSel(selStart, selEnd);
        SetModified(modified);
        if (focused) Editor()->setFocus();
    }
    --quiet_;
}

void UniText::ApplyEditorProperties() {
    ApplyPalette();
    Editor()->setLayoutDirection(rightToLeft_ ? Qt::RightToLeft : Qt::LeftToRight);
    if (text_) {
        text_->setReadOnly(locked_);
        text_->setFrameShape(borderStyle_ == 0 ? QFrame::NoFrame : borderStyle_ == 1 ? QFrame::Box : QFrame::StyledPanel);
        text_->setFrameShadow(borderStyle_ == 1 ? QFrame::Plain : QFrame::Sunken);
        const bool h = scrollBars_ == 1 || scrollBars_ == 3, v = scrollBars_ >= 2;
        text_->setHorizontalScrollBarPolicy(h ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        text_->setVerticalScrollBarPolicy(v ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        text_->setLineWrapMode(Wraps() ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
        ApplyTextOptions();
    } else {
        line_->setReadOnly(locked_);
        line_->setFrame(borderStyle_ != 0);
    }
}

// The password character only hides a single line, as in the edit control;
// a multi-line box shows its text.
void UniText::ApplyPasswordChar() {
    if (!line_) return;
    std::unique_ptr<QStyle> old = std::move(passwordStyle_);
    if (!passwordChar_.empty()) {
        const char16_t c = IsHighSurrogate(passwordChar_[0]) ? u'*' : passwordChar_[0];
        passwordStyle_ = std::make_unique<PasswordStyle>(c);
        line_->setStyle(passwordStyle_.get());
        // The line edit reads the character when its echo mode is set.
        line_->setEchoMode(QLineEdit::Normal);
        line_->setEchoMode(QLineEdit::Password);
    } else if (old) {
        line_->setStyle(nullptr);
        line_->setEchoMode(QLineEdit::Normal);
    }
}

void UniText::ApplyTextOptions() {
    if (!text_) return;
    QTextDocument* doc = text_->document();
    QTextOption o = doc->defaultTextOption();
    o.setAlignment(alignment_ == 1 ? Qt::AlignTrailing : alignment_ == 2 ? Qt::AlignHCenter : Qt::AlignLeading);
    ++quiet_;
    doc->setDefaultTextOption(o);
    --quiet_;
}

void UniText::ApplyPalette() {
    QWidget* editor = Editor();
    if (!editor) return;
    QPalette p = palette();
    const QColor base = BackColor(), fore = ForeColor();
    const bool hide = hideSelection_ && !editor->hasFocus();
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
        if (backColor_) p.setColor(g, QPalette::Base, base);
        if (foreColor_) p.setColor(g, QPalette::Text, fore);
        if (hide) {
            p.setColor(g, QPalette::Highlight, base);
            p.setColor(g, QPalette::HighlightedText, fore);
        }
    }
    editor->setPalette(p);
}

// ---- Text and selection ----

std::u16string UniText::Text() const {
    if (line_) return ToU16(line_->text());
    std::u16string out;
    size_t i = 0;
    for (QTextBlock b = text_->document()->begin(); b.isValid(); b = b.next(), ++i) {
        out += ToU16(b.text());
        if (b.next().isValid()) out += i < breaks_.size() ? breaks_[i] : u"\r\n";
    }
    return out;
}

void UniText::SetText(std::u16string_view text) {
    ++quiet_;
    const QString q = ToQString(text);
    if (text_) {
        settingText_ = true;
        text_->setPlainText(q);
        settingText_ = false;
        breaks_ = BreaksOf(text);
        breaks_.resize(static_cast<size_t>(text_->document()->blockCount() - 1), u"\r\n");
        ResetBreakHistory();
    } else {
        line_->setText(q);
    }
    --quiet_;
    if (quiet_ == 0) RaiseChange();
}

std::u16string UniText::SelText() const {
    int32_t s = 0, e = 0;
    GetSel(s, e);
    return Text().substr(static_cast<size_t>(s), static_cast<size_t>(e - s));
}

void UniText::SetSelText(std::u16string_view text) {
    unlimited_ = true;
    ReplaceSelection(text);
    unlimited_ = false;
}

void UniText::ReplaceSelection(std::u16string_view text) {
    const QString q = ToQString(text);
    if (text_) {
        pendingBreaks_ = BreaksOf(text);
        QTextCursor c = text_->textCursor();
        c.insertText(q);
        text_->setTextCursor(c);
        pendingBreaks_.reset();
    } else {
        line_->insert(q);
    }
}

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

bool UniText::BeforeKeyPress(QKeyEvent* k) {
    const int key = k->key();
    const Qt::KeyboardModifiers mods = k->modifiers();
    const int shift = ShiftState(mods);
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
        if (!captureTab_ || key == Qt::Key_Backtab || (mods & (Qt::ShiftModifier | Qt::ControlModifier)))
            return false;  // focus moves on as usual
        if (useEvents_) emit KeyDown(VirtualKey(key), shift);
        TypeCharacter(u'\t');
        k->accept();
        return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
        const bool enter = key != Qt::Key_Escape;
        if (!(enter ? captureEnter_ : captureEsc_)) {
            // Left to the window (its default or cancel button): an ignored
            // key travels on to the parents.
            k->ignore();
            return true;
        }
        if (useEvents_) emit KeyDown(VirtualKey(key), shift);
        if (enter) {
            TypeCharacter(u'\r');
        } else {
            int code = 27;
            if (useEvents_) emit KeyPress(code);
        }
        k->accept();
        return true;
    }

    if (useEvents_) emit KeyDown(VirtualKey(key), shift);
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
    if (text_ && maxLength_ > 0 && !locked_ && !command && IsInsertable(typed) &&
        RoomFor(SelLength()) < static_cast<int32_t>(typed.size())) {
        k->accept();  // the box is full: the key is dropped
        return true;
    }
    return false;
}

void UniText::OnTextChanged() {
    if (line_) lineLength_ = line_->text().size();
    if (quiet_ == 0) RaiseChange();
}

void UniText::RaiseChange() {
    if (!useEvents_) return;
    emit Update();
    emit Change();
}

// An undo or redo gives back the line endings of the step it returns to; an
// edit works them out from the change and becomes the newest step.
void UniText::OnContentsChange(int position, int /*removed*/, int added) {
    if (!text_ || settingText_) return;
    const QTextDocument* doc = text_->document();
    const int steps = doc->availableUndoSteps();
    // Undo and redo move between steps without adding one; an edit adds a
    // step or merges into the newest.
    const bool edit = newUndoStep_ || steps == undoSteps_;
    newUndoStep_ = false;
    undoSteps_ = steps;
    const size_t step = static_cast<size_t>(std::max(0, steps));
    if (!edit && step < breakHistory_.size() && breakHistory_[step] &&
        breakHistory_[step]->size() == static_cast<size_t>(doc->blockCount() - 1)) {
        breaks_ = *breakHistory_[step];
        return;
    }
    TrackBreaks(position, added);
    if (edit || breakHistory_.size() <= step) breakHistory_.resize(step + 1);
    breakHistory_[step] = breaks_;
}

void UniText::ResetBreakHistory() {
    undoSteps_ = text_ ? text_->document()->availableUndoSteps() : 0;
    newUndoStep_ = false;
    breakHistory_.assign(static_cast<size_t>(std::max(0, undoSteps_)) + 1, std::nullopt);
    breakHistory_.back() = breaks_;
}

// Keeps breaks_ in step with the editor's lines. The document tells only
// where it changed; what ends each new line comes from the text the box
// inserted itself (pendingBreaks_), else it is the "\r\n" that Enter types.
void UniText::TrackBreaks(int position, int added) {
    const QTextDocument* doc = text_->document();
    const int lastPos = std::min(position + added, doc->characterCount() - 1);
    const int first = doc->findBlock(position).blockNumber();
    const int last = doc->findBlock(lastPos).blockNumber();
    const int newBlocks = doc->blockCount();
    const int oldBlocks = static_cast<int>(breaks_.size()) + 1;
    const int addedBreaks = last - first;
    const int removedBreaks = oldBlocks - newBlocks + addedBreaks;
    if (first < 0 || last < first || removedBreaks < 0 || first + removedBreaks > static_cast<int>(breaks_.size())) {
        breaks_.assign(static_cast<size_t>(newBlocks - 1), u"\r\n");
        return;
    }
    const bool fromBox = pendingBreaks_ && static_cast<int>(pendingBreaks_->size()) == addedBreaks;
    // The same number of lines in the changed stretch without text from the
    // box: a format change or an edit inside lines, which keeps every break.
    if (!fromBox && removedBreaks == addedBreaks) return;
    std::vector<std::u16string> fresh =
        fromBox ? *pendingBreaks_ : std::vector<std::u16string>(static_cast<size_t>(addedBreaks), u"\r\n");
    if (fromBox) pendingBreaks_.reset();
    breaks_.erase(breaks_.begin() + first, breaks_.begin() + first + removedBreaks);
    breaks_.insert(breaks_.begin() + first, fresh.begin(), fresh.end());
}

bool UniText::event(QEvent* e) {
    switch (e->type()) {
        case QEvent::Enter:
            if (useEvents_) emit MouseEnter();
            break;
        case QEvent::Leave:
            if (useEvents_) emit MouseLeave();
            break;
        case QEvent::FontChange:
            if (useEvents_) emit FontChanged();
            break;
        case QEvent::PaletteChange:
            ApplyPalette();
            break;
        default:
            break;
    }
    return QWidget::event(e);
}

// ---- Properties ----

QColor UniText::BackColor() const { return backColor_.value_or(palette().color(QPalette::Active, QPalette::Base)); }

void UniText::SetBackColor(const QColor& color) {
    backColor_ = color;
    ApplyPalette();
}

QColor UniText::ForeColor() const { return foreColor_.value_or(palette().color(QPalette::Active, QPalette::Text)); }

void UniText::SetForeColor(const QColor& color) {
    foreColor_ = color;
    ApplyPalette();
}

QString UniText::FontName() const { return QFontInfo(font()).family(); }

void UniText::SetFontName(const QString& name) {
    QFont f = font();
    f.setFamilies({name});
    setFont(f);
}

double UniText::FontSize() const { return QFontInfo(font()).pointSizeF(); }

void UniText::SetFontSize(double points) {
    if (!(points > 0)) return;
    QFont f = font();
    f.setPointSizeF(points);
    setFont(f);
}

void UniText::SetFontBold(bool on) {
    QFont f = font();
    f.setBold(on);
    setFont(f);
}

void UniText::SetFontItalic(bool on) {
    QFont f = font();
    f.setItalic(on);
    setFont(f);
}

void UniText::SetFontStrikethru(bool on) {
    QFont f = font();
    f.setStrikeOut(on);
    setFont(f);
}

void UniText::SetFontUnderline(bool on) {
    QFont f = font();
    f.setUnderline(on);
    setFont(f);
}

void UniText::SetAlignment(int32_t alignment) {
    if (alignment < 0 || alignment > 2) return;
    alignment_ = alignment;
    ApplyTextOptions();
}

void UniText::SetBorderStyle(int32_t style) {
    if (style < 0 || style > 2) return;
    borderStyle_ = style;
    ApplyEditorProperties();
}

void UniText::SetLocked(bool locked) {
    locked_ = locked;
    ApplyEditorProperties();
}

void UniText::SetMaxLength(int32_t units) { maxLength_ = units > 0 ? units : -1; }

void UniText::SetMultiLine(bool multiLine) {
    if (multiLine == multiLine_) return;
    multiLine_ = multiLine;
    CreateEditor();
}

void UniText::SetPasswordChar(std::u16string_view c) {
    passwordChar_.clear();
    if (!c.empty()) passwordChar_ = std::u16string(c.substr(0, IsHighSurrogate(c[0]) && c.size() > 1 ? 2 : 1));
    ApplyPasswordChar();
}

void UniText::SetRightToLeft(bool on) {
    rightToLeft_ = on;
    ApplyEditorProperties();
}

void UniText::SetScrollBars(int32_t bars) {
    if (bars < 0 || bars > 3) return;
    scrollBars_ = bars;
    ApplyEditorProperties();
}

void UniText::SetHideSelection(bool hide) {
    hideSelection_ = hide;
    ApplyPalette();
}

bool UniText::Modified() const { return text_ ? text_->document()->isModified() : line_->isModified(); }

void UniText::SetModified(bool modified) {
    if (text_)
        text_->document()->setModified(modified);
    else
        line_->setModified(modified);
}

// ---- Methods ----

bool UniText::CanUndo() const { return text_ ? text_->document()->isUndoAvailable() : line_->isUndoAvailable(); }

void UniText::Undo() {
    if (text_)
        text_->undo();
    else
        line_->undo();
}

void UniText::ClearUndo() {
    if (text_) {
        const bool modified = Modified();
        text_->document()->clearUndoRedoStacks();
        ResetBreakHistory();
        SetModified(modified);
        return;
    }
    // Setting its text is the only way to empty a line edit's history.
    int32_t s = 0, e = 0;
    GetSel(s, e);
    const bool modified = line_->isModified();
    ++quiet_;
    line_->setText(line_->text());
    --quiet_;
    SetSel(s, e);
    line_->setModified(modified);
}

int32_t UniText::Length() const {
    if (line_) return static_cast<int32_t>(line_->text().size());
    const QTextDocument* doc = text_->document();
    int32_t n = doc->characterCount() - doc->blockCount();
    for (const std::u16string& b : breaks_) n += static_cast<int32_t>(b.size());
    return n;
}

int32_t UniText::TextPos(int docPos) const {
    const QTextBlock block = text_->document()->findBlock(docPos);
    const size_t n = std::min(static_cast<size_t>(std::max(0, block.blockNumber())), breaks_.size());
    int32_t pos = docPos;
    for (size_t i = 0; i < n; ++i) pos += static_cast<int32_t>(breaks_[i].size()) - 1;
    return pos;
}

int UniText::DocPos(int32_t textPos) const {
    if (textPos <= 0) return 0;
    int32_t start = 0;
    size_t i = 0;
    for (QTextBlock b = text_->document()->begin(); b.isValid(); b = b.next(), ++i) {
        const int len = b.length() - 1;
        if (textPos <= start + len) return b.position() + (textPos - start);
        const int32_t brk = i < breaks_.size() ? static_cast<int32_t>(breaks_[i].size()) : 1;
        if (textPos < start + len + brk) return b.position() + len;  // inside a "\r\n"
        start += len + brk;
    }
    return text_->document()->characterCount() - 1;
}

void UniText::GetSel(int32_t& selStart, int32_t& selEnd) const {
    if (text_) {
        const QTextCursor c = text_->textCursor();
        const int32_t a = TextPos(c.anchor()), p = TextPos(c.position());
        selStart = std::min(a, p);
        selEnd = std::max(a, p);
    } else if (line_->hasSelectedText()) {
        selStart = line_->selectionStart();
        selEnd = selStart + line_->selectionLength();
    } else {
        selStart = selEnd = line_->cursorPosition();
    }
}

void UniText::SetSel(int32_t selStart, int32_t selEnd) {
    if (selStart < 0) {
        if (text_) {
            QTextCursor c = text_->textCursor();
            c.clearSelection();
            text_->setTextCursor(c);
        } else {
            line_->deselect();
        }
        return;
    }
    const int32_t length = Length();
    if (selEnd < 0 || selEnd > length) selEnd = length;
    selStart = std::min(selStart, length);
    if (text_) {
        QTextCursor c = text_->textCursor();
        c.setPosition(DocPos(selStart));
        c.setPosition(DocPos(selEnd), QTextCursor::KeepAnchor);
        text_->setTextCursor(c);
    } else {
        line_->setSelection(selStart, selEnd - selStart);
    }
}

int32_t UniText::SelStart() const {
    int32_t s = 0, e = 0;
    GetSel(s, e);
    return s;
}

int32_t UniText::SelLength() const {
    int32_t s = 0, e = 0;
    GetSel(s, e);
    return e - s;
}

int UniText::LinesInBlock(const QTextBlock& block) const {
    if (!Wraps()) return 1;
    QTextLayout* layout = block.layout();
    // The plain-text layout lays out lazily; asking for the block's box forces it.
    if (layout->lineCount() == 0) text_->document()->documentLayout()->blockBoundingRect(block);
    return std::max(1, layout->lineCount());
}

int32_t UniText::VisualLineOf(int docPos) const {
    const QTextBlock block = text_->document()->findBlock(docPos);
    if (!Wraps()) return std::max(0, block.blockNumber());
    int32_t n = 0;
    for (QTextBlock b = text_->document()->begin(); b.isValid() && b != block; b = b.next()) n += LinesInBlock(b);
    LinesInBlock(block);
    const QTextLine line = block.layout()->lineForTextPosition(docPos - block.position());
    if (line.isValid()) n += line.lineNumber();
    return n;
}

int32_t UniText::Lines() const {
    if (line_) return 1;
    if (!Wraps()) return text_->document()->blockCount();
    int32_t n = 0;
    for (QTextBlock b = text_->document()->begin(); b.isValid(); b = b.next()) n += LinesInBlock(b);
    return n;
}

int32_t UniText::Line(bool selection) const {
    if (line_) return 0;
    int docPos = text_->textCursor().position();
    if (selection) {
        int32_t s = 0, e = 0;
        GetSel(s, e);
        docPos = DocPos(e);
    }
    return VisualLineOf(docPos);
}

std::u16string UniText::GetLine(int32_t line) const {
    if (line_) return line == 0 ? ToU16(line_->text()) : std::u16string();
    if (line < 0) return {};
    for (QTextBlock b = text_->document()->begin(); b.isValid(); b = b.next()) {
        const int count = LinesInBlock(b);
        if (line < count) {
            if (!Wraps()) return ToU16(b.text());
            const QTextLine l = b.layout()->lineAt(line);
            return ToU16(b.text().mid(l.textStart(), l.textLength()));
        }
        line -= count;
    }
    return {};
}

int32_t UniText::FirstVisibleLine() const {
    if (line_) return 0;
    return VisualLineOf(text_->cursorForPosition(QPoint(0, 0)).position());
}

int32_t UniText::LastVisibleLine() const {
    if (line_) return 0;
    const int bottom = std::max(0, text_->viewport()->height() - 1);
    return VisualLineOf(text_->cursorForPosition(QPoint(0, bottom)).position());
}

int32_t UniText::LineHeight() const { return QFontMetrics(Editor()->font()).height(); }

void UniText::ScrollToCaret() {
    // A line edit always keeps its caret in view.
    if (text_) text_->ensureCursorVisible();
}

bool UniText::LoadFile(const std::string& filename, int32_t ifNoByteOrderMark) {
    LoadFileResult r = LoadTextFile(filename, ifNoByteOrderMark);
    if (!r.ok) return false;
    bom_ = r.bom;
    SetText(r.text);
    return true;
}

bool UniText::SaveFile(const std::string& filename, int32_t byteOrderMark, bool overwriteExisting) {
    if (!SaveTextFile(filename, Text(), byteOrderMark, overwriteExisting).ok) return false;
    bom_ = byteOrderMark;
    return true;
}

}  // namespace corvane
