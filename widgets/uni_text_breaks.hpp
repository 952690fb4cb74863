#pragma once
// What ends each line of the text box's multi-line editor. The editor's
// document keeps only that a line ends; the box's text keeps how ("\r\n",
// "\n", "\r", U+2029, ...), through edits, undo and redo.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QTextDocument;

namespace corvane::uni_text {

class LineBreaks {
public:
    // The characters that QTextCursor::insertText turns into a new line, in
    // the order they appear; "\r\n" counts once.
    static std::vector<std::u16string> Of(std::u16string_view text);

    // One entry per line but the last, in order.
    const std::vector<std::u16string>& list() const { return breaks_; }
    // The break after line `index`; the "\r\n" that Enter types where none is known.
    std::u16string_view After(size_t index) const;

    // The document was given `text` as a whole: its breaks, and a history
    // that starts there.
    void Set(std::u16string_view text, const QTextDocument& doc);
    void Clear() { breaks_.clear(); }
    // The document's undo history was emptied: it starts again here.
    void ResetHistory(const QTextDocument* doc);

    // Text that the box is about to insert itself: its own breaks are kept
    // rather than taken for typed ones.
    void BeginInsert(std::u16string_view text) { pending_ = Of(text); }
    void EndInsert() { pending_.reset(); }

    // The document added an undo step for the change under way.
    void UndoStepAdded() { newUndoStep_ = true; }
    // The document changed at `position`, `added` characters now standing
    // there: an undo or redo gives back the breaks of the step it returns to;
    // an edit works them out and becomes the newest step.
    void ContentsChanged(const QTextDocument& doc, int position, int added);

private:
    void Track(const QTextDocument& doc, int position, int added);

    std::vector<std::u16string> breaks_;
    std::optional<std::vector<std::u16string>> pending_;
    // breaks_ as they stood after each step of the editor's undo history.
    std::vector<std::optional<std::vector<std::u16string>>> history_;
    int undoSteps_ = 0;         // the editor's undo steps after the last change
    bool newUndoStep_ = false;  // the change under way added an undo step
};

}  // namespace corvane::uni_text
