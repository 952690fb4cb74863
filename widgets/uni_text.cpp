// The text box itself: its two editors, its properties, its text and
// selection.
#include "widgets/uni_text.hpp"

#include <QFontInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QValidator>

#include <algorithm>
#include <limits>
#include <utility>

#include "widgets/controls.hpp"
#include "widgets/uni_text_editors.hpp"
#include "widgets/uni_text_keys.hpp"
#include "widgets/uni_text_positions.hpp"
#include "widgets/window_style.hpp"

namespace corvane {
namespace {

using uni_text::IsHighSurrogate;

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
    breaks_.Clear();
    lineLength_ = 0;

    if (multiLine_) {
        text_ = new TextEditor(*this);
        text_->setTabChangesFocus(true);
        text_->viewport()->setMouseTracking(true);
        connect(text_, &QPlainTextEdit::textChanged, this, &UniText::OnTextChanged);
        connect(text_->document(), &QTextDocument::contentsChange, this, &UniText::OnContentsChange);
        connect(text_->document(), &QTextDocument::undoCommandAdded, this, [this] { breaks_.UndoStepAdded(); });
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
        // A back colour of its own brings a text colour that reads on it.
        if (foreColor_ || backColor_) p.setColor(g, QPalette::Text, fore);
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
        if (b.next().isValid()) out += breaks_.After(i);
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
        breaks_.Set(text, *text_->document());
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
        breaks_.BeginInsert(text);
        QTextCursor c = text_->textCursor();
        c.insertText(q);
        text_->setTextCursor(c);
        breaks_.EndInsert();
    } else {
        line_->insert(q);
    }
}

// ---- Changes ----

void UniText::OnTextChanged() {
    if (line_) lineLength_ = line_->text().size();
    if (quiet_ == 0) RaiseChange();
}

void UniText::RaiseChange() {
    if (!useEvents_) return;
    emit Update();
    emit Change();
}

void UniText::OnContentsChange(int position, int /*removed*/, int added) {
    if (!text_ || settingText_) return;
    breaks_.ContentsChanged(*text_->document(), position, added);
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

QColor UniText::ForeColor() const {
    if (foreColor_) return *foreColor_;
    return backColor_ ? TextColorOn(*backColor_) : palette().color(QPalette::Active, QPalette::Text);
}

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
        breaks_.ResetHistory(text_->document());
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
    for (const std::u16string& b : breaks_.list()) n += static_cast<int32_t>(b.size());
    return n;
}

int32_t UniText::TextPos(int docPos) const { return uni_text::TextPosition(*text_->document(), breaks_, docPos); }

int UniText::DocPos(int32_t textPos) const { return uni_text::DocumentPosition(*text_->document(), breaks_, textPos); }

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

int32_t UniText::VisualLineOf(int docPos) const { return uni_text::ShownLineOf(*text_->document(), docPos, Wraps()); }

int32_t UniText::Lines() const { return line_ ? 1 : uni_text::ShownLineCount(*text_->document(), Wraps()); }

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
    return uni_text::ShownLine(*text_->document(), line, Wraps());
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

}  // namespace corvane
