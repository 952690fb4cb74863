#pragma once
// Positions and lines of the text box's multi-line editor. The box counts
// UTF-16 units of its text, where a line break has as many units as it has
// characters ("\r\n" is two); the editor's document counts one position per
// break. Lines are the lines shown: with word wrap a long line shows as
// several.
#include <cstdint>
#include <string>

class QTextBlock;
class QTextDocument;

namespace corvane::uni_text {

class LineBreaks;

// The text position of a document position.
int32_t TextPosition(const QTextDocument& doc, const LineBreaks& breaks, int docPos);
// The document position of a text position; a position inside a "\r\n"
// falls on the end of its line.
int DocumentPosition(const QTextDocument& doc, const LineBreaks& breaks, int32_t textPos);

int LinesInBlock(const QTextBlock& block, bool wraps);
// The shown line that holds a document position, counted from 0.
int32_t ShownLineOf(const QTextDocument& doc, int docPos, bool wraps);
int32_t ShownLineCount(const QTextDocument& doc, bool wraps);
// The text of a shown line without its break; empty past the last line.
std::u16string ShownLine(const QTextDocument& doc, int32_t line, bool wraps);

}  // namespace corvane::uni_text
