#pragma once
// The two inner editors of the text box (a line edit for one line, a plain
// text edit for many) and the line edit's length check. They hand their
// events to the box first; only the box's own files include this.
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QValidator>

#include "widgets/controls.hpp"
#include "widgets/uni_text.hpp"
#include "widgets/uni_text_keys.hpp"

namespace corvane {

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
        if (uni_text::StaysInBox(k->key())) k->accept();
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
        if (uni_text::StaysInBox(k->key())) k->accept();
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

}  // namespace corvane
