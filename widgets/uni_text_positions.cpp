#include "widgets/uni_text_positions.hpp"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>

#include "widgets/controls.hpp"
#include "widgets/uni_text_breaks.hpp"

namespace corvane::uni_text {

int32_t TextPosition(const QTextDocument& doc, const LineBreaks& breaks, int docPos) {
    const QTextBlock block = doc.findBlock(docPos);
    const size_t n = std::min(static_cast<size_t>(std::max(0, block.blockNumber())), breaks.list().size());
    int32_t pos = docPos;
    for (size_t i = 0; i < n; ++i) pos += static_cast<int32_t>(breaks.list()[i].size()) - 1;
    return pos;
}

int DocumentPosition(const QTextDocument& doc, const LineBreaks& breaks, int32_t textPos) {
    if (textPos <= 0) return 0;
    int32_t start = 0;
    size_t i = 0;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next(), ++i) {
        const int len = b.length() - 1;
        if (textPos <= start + len) return b.position() + (textPos - start);
        const int32_t brk = i < breaks.list().size() ? static_cast<int32_t>(breaks.list()[i].size()) : 1;
        if (textPos < start + len + brk) return b.position() + len;  // inside a "\r\n"
        start += len + brk;
    }
    return doc.characterCount() - 1;
}

int LinesInBlock(const QTextBlock& block, bool wraps) {
    if (!wraps) return 1;
    QTextLayout* layout = block.layout();
    // The plain-text layout lays out lazily; asking for the block's box forces it.
    if (layout->lineCount() == 0) block.document()->documentLayout()->blockBoundingRect(block);
    return std::max(1, layout->lineCount());
}

int32_t ShownLineOf(const QTextDocument& doc, int docPos, bool wraps) {
    const QTextBlock block = doc.findBlock(docPos);
    if (!wraps) return std::max(0, block.blockNumber());
    int32_t n = 0;
    for (QTextBlock b = doc.begin(); b.isValid() && b != block; b = b.next()) n += LinesInBlock(b, wraps);
    LinesInBlock(block, wraps);
    const QTextLine line = block.layout()->lineForTextPosition(docPos - block.position());
    if (line.isValid()) n += line.lineNumber();
    return n;
}

int32_t ShownLineCount(const QTextDocument& doc, bool wraps) {
    if (!wraps) return doc.blockCount();
    int32_t n = 0;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) n += LinesInBlock(b, wraps);
    return n;
}

std::u16string ShownLine(const QTextDocument& doc, int32_t line, bool wraps) {
    if (line < 0) return {};
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        const int count = LinesInBlock(b, wraps);
        if (line < count) {
            if (!wraps) return ToU16(b.text());
            const QTextLine l = b.layout()->lineAt(line);
            return ToU16(b.text().mid(l.textStart(), l.textLength()));
        }
        line -= count;
    }
    return {};
}

}  // namespace corvane::uni_text
