#include "widgets/uni_text_breaks.hpp"

#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

namespace corvane::uni_text {

std::vector<std::u16string> LineBreaks::Of(std::u16string_view t) {
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

std::u16string_view LineBreaks::After(size_t index) const {
    return index < breaks_.size() ? std::u16string_view(breaks_[index]) : std::u16string_view(u"\r\n");
}

void LineBreaks::Set(std::u16string_view text, const QTextDocument& doc) {
    breaks_ = Of(text);
    breaks_.resize(static_cast<size_t>(doc.blockCount() - 1), u"\r\n");
    ResetHistory(&doc);
}

void LineBreaks::ResetHistory(const QTextDocument* doc) {
    undoSteps_ = doc ? doc->availableUndoSteps() : 0;
    newUndoStep_ = false;
    history_.assign(static_cast<size_t>(std::max(0, undoSteps_)) + 1, std::nullopt);
    history_.back() = breaks_;
}

void LineBreaks::ContentsChanged(const QTextDocument& doc, int position, int added) {
    const int steps = doc.availableUndoSteps();
    // Undo and redo move between steps without adding one; an edit adds a
    // step or merges into the newest.
    const bool edit = newUndoStep_ || steps == undoSteps_;
    newUndoStep_ = false;
    undoSteps_ = steps;
    const size_t step = static_cast<size_t>(std::max(0, steps));
    if (!edit && step < history_.size() && history_[step] &&
        history_[step]->size() == static_cast<size_t>(doc.blockCount() - 1)) {
        breaks_ = *history_[step];
        return;
    }
    Track(doc, position, added);
    if (edit || history_.size() <= step) history_.resize(step + 1);
    history_[step] = breaks_;
}

// The document tells only where it changed; what ends each new line comes
// from the text the box inserted itself (pending_), else it is the "\r\n"
// that Enter types.
void LineBreaks::Track(const QTextDocument& doc, int position, int added) {
    const int lastPos = std::min(position + added, doc.characterCount() - 1);
    const int first = doc.findBlock(position).blockNumber();
    const int last = doc.findBlock(lastPos).blockNumber();
    const int newBlocks = doc.blockCount();
    const int oldBlocks = static_cast<int>(breaks_.size()) + 1;
    const int addedBreaks = last - first;
    const int removedBreaks = oldBlocks - newBlocks + addedBreaks;
    if (first < 0 || last < first || removedBreaks < 0 || first + removedBreaks > static_cast<int>(breaks_.size())) {
        breaks_.assign(static_cast<size_t>(newBlocks - 1), u"\r\n");
        return;
    }
    const bool fromBox = pending_ && static_cast<int>(pending_->size()) == addedBreaks;
    // The same number of lines in the changed stretch without text from the
    // box: a format change or an edit inside lines, which keeps every break.
    if (!fromBox && removedBreaks == addedBreaks) return;
    std::vector<std::u16string> fresh =
        fromBox ? *pending_ : std::vector<std::u16string>(static_cast<size_t>(addedBreaks), u"\r\n");
    if (fromBox) pending_.reset();
    breaks_.erase(breaks_.begin() + first, breaks_.begin() + first + removedBreaks);
    breaks_.insert(breaks_.begin() + first, fresh.begin(), fresh.end());
}

}  // namespace corvane::uni_text
