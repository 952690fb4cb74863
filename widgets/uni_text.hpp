#pragma once
// The Unicode text box of the three windows: one line or many, exact UTF-16
// text, the edit-control style of selection positions (a line break is the
// two units "\r\n" of the text), key capture rules, and text files in the
// encodings of core/text_file.hpp.
//
// The box is built in uni_text.cpp (editors, properties, text and selection),
// uni_text_input.cpp (keys, mouse and typing) and uni_text_files.cpp; its
// parts are the key codes (uni_text_keys.hpp), the line endings and their
// undo history (uni_text_breaks.hpp) and the mapping of positions and lines
// (uni_text_positions.hpp).
#include <QColor>
#include <QFont>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "widgets/uni_text_breaks.hpp"

class QKeyEvent;
class QStyle;

namespace corvane {

class UniText : public QWidget {
    Q_OBJECT

public:
    explicit UniText(QWidget* parent = nullptr);
    ~UniText() override;

    // Properties.
    std::u16string Text() const;
    void SetText(std::u16string_view text);
    std::u16string SelText() const;
    void SetSelText(std::u16string_view text);

    QColor BackColor() const;
    void SetBackColor(const QColor& color);
    // The text colour set, else the one that reads on the back colour set.
    QColor ForeColor() const;
    void SetForeColor(const QColor& color);

    QFont Font() const { return font(); }
    void SetFont(const QFont& f) { setFont(f); }
    QString FontName() const;
    void SetFontName(const QString& name);
    double FontSize() const;
    void SetFontSize(double points);
    bool FontBold() const { return font().bold(); }
    void SetFontBold(bool on);
    bool FontItalic() const { return font().italic(); }
    void SetFontItalic(bool on);
    bool FontStrikethru() const { return font().strikeOut(); }
    void SetFontStrikethru(bool on);
    bool FontUnderline() const { return font().underline(); }
    void SetFontUnderline(bool on);

    int32_t Alignment() const { return alignment_; }  // 0 left, 1 right, 2 centre
    void SetAlignment(int32_t alignment);
    int32_t BorderStyle() const { return borderStyle_; }  // 0 none, 1 plain, 2 sunken
    void SetBorderStyle(int32_t style);
    bool Locked() const { return locked_; }
    void SetLocked(bool locked);
    int32_t MaxLength() const { return maxLength_; }  // -1: no limit
    void SetMaxLength(int32_t units);
    bool MultiLine() const { return multiLine_; }
    void SetMultiLine(bool multiLine);
    std::u16string PasswordChar() const { return passwordChar_; }
    void SetPasswordChar(std::u16string_view c);
    bool RightToLeft() const { return rightToLeft_; }
    void SetRightToLeft(bool on);
    int32_t ScrollBars() const { return scrollBars_; }  // 0 none, 1 horizontal, 2 vertical, 3 both
    void SetScrollBars(int32_t bars);
    bool HideSelection() const { return hideSelection_; }
    void SetHideSelection(bool hide);
    // Enter, Esc and Tab go to the window unless captured; a multi-line box
    // takes Enter as a line break either way.
    bool CaptureEnter() const { return captureEnter_; }
    void SetCaptureEnter(bool on) { captureEnter_ = on; }
    bool CaptureEsc() const { return captureEsc_; }
    void SetCaptureEsc(bool on) { captureEsc_ = on; }
    bool CaptureTab() const { return captureTab_; }
    void SetCaptureTab(bool on) { captureTab_ = on; }
    bool UseEvents() const { return useEvents_; }
    void SetUseEvents(bool on) { useEvents_ = on; }
    int32_t BOM() const { return bom_; }
    void SetBOM(int32_t code) { bom_ = code; }
    bool Modified() const;
    void SetModified(bool modified);
    bool Enabled() const { return isEnabled(); }
    void SetEnabled(bool on) { setEnabled(on); }

    // Methods. Positions and lengths count UTF-16 units of Text().
    bool CanUndo() const;
    void Undo();
    void ClearUndo();
    int32_t Length() const;
    int32_t Lines() const;
    int32_t Line(bool selection = false) const;
    std::u16string GetLine(int32_t line) const;
    int32_t FirstVisibleLine() const;
    int32_t LastVisibleLine() const;
    int32_t LineHeight() const;
    void GetSel(int32_t& selStart, int32_t& selEnd) const;
    // selStart -1 removes the selection; selEnd -1 runs to the end; the
    // caret goes to selEnd.
    void SetSel(int32_t selStart, int32_t selEnd);
    int32_t SelStart() const;
    int32_t SelLength() const;
    void ScrollToCaret();
    bool MouseOver() const { return underMouse(); }
    bool LoadFile(const std::string& filename, int32_t ifNoByteOrderMark);
    bool SaveFile(const std::string& filename, int32_t byteOrderMark, bool overwriteExisting);

    // The inner edit widget, which holds the focus and takes the keys.
    QWidget* Editor() const;

signals:
    void Change();
    void Click(int Button);
    void ContextMenu(bool& Cancel);
    void DblClick(int Button);
    void FontChanged();
    void KeyDown(int KeyCode, int Shift);
    // Setting KeyAscii to 0 swallows the key; another value replaces it.
    void KeyPress(int& KeyAscii);
    void KeyUp(int KeyCode, int Shift);
    void MouseDown(int Button, int Shift, int X, int Y);
    void MouseEnter();
    void MouseLeave();
    void MouseMove(int Button, int Shift, int X, int Y);
    void MouseUp(int Button, int Shift, int X, int Y);
    void MouseWheel(int Direction);
    void Scroll(int Direction);
    void Update();

protected:
    bool event(QEvent* e) override;

private:
    class LineEditor;
    class TextEditor;
    class LengthValidator;

    void CreateEditor();
    void ApplyEditorProperties();
    void ApplyPalette();
    void ApplyPasswordChar();
    void ApplyTextOptions();

    // Event hooks of the inner editor: Before may consume the event.
    bool BeforeEditorEvent(QEvent* e, QWidget* source);
    void AfterEditorEvent(QEvent* e, QWidget* source);
    bool BeforeKeyPress(QKeyEvent* k);
    bool BeforeWindowKey(QKeyEvent* k);
    void TypeCharacter(char16_t c);
    void InsertTyped(std::u16string_view typed);
    void Backspace();
    void InsertUserText(std::u16string text);
    void ReplaceSelection(std::u16string_view text);
    int32_t RoomFor(int32_t replacedUnits) const;
    bool LineTextAllowed(qsizetype length) const;
    void OnTextChanged();
    void OnContentsChange(int position, int removed, int added);
    void RaiseChange();

    // Text positions <-> document positions of the multi-line editor.
    int32_t TextPos(int docPos) const;
    int DocPos(int32_t textPos) const;
    int32_t VisualLineOf(int docPos) const;
    bool Wraps() const { return multiLine_ && scrollBars_ == 2; }

    LineEditor* line_ = nullptr;
    TextEditor* text_ = nullptr;
    std::unique_ptr<QStyle> passwordStyle_;
    LengthValidator* validator_ = nullptr;

    // What ends each line of the multi-line editor.
    uni_text::LineBreaks breaks_;
    bool settingText_ = false;
    bool unlimited_ = false;  // programmatic edits ignore MaxLength
    int quiet_ = 0;  // no Change while the box itself rebuilds its editor
    qsizetype lineLength_ = 0;

    int32_t alignment_ = 0;
    int32_t borderStyle_ = 2;
    bool locked_ = false;
    int32_t maxLength_ = -1;
    bool multiLine_ = false;
    std::u16string passwordChar_;
    bool rightToLeft_ = false;
    int32_t scrollBars_ = 0;
    bool hideSelection_ = true;
    bool captureEnter_ = false;
    bool captureEsc_ = false;
    bool captureTab_ = false;
    bool useEvents_ = true;
    int32_t bom_ = 0;
    std::optional<QColor> backColor_;
    std::optional<QColor> foreColor_;
};

}  // namespace corvane
