#pragma once
// The tools under a message box: paste, copy, clear, font size and weight,
// the font dialog, the colour cycle, printing, and loading and saving a text
// file.
#include <QFont>
#include <QPointer>
#include <QRgb>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QClipboard;
class QPushButton;
class QPainter;
class QPrinter;
class QWidget;

namespace corvane {

class MessageBoxes;
class UniText;

// Print positions are fixed in printer units; the printer is asked for
// 600 dpi so that a page looks alike on every printer and in a PDF file.
inline constexpr int kPrintResolution = 600;
inline constexpr int kPrintLeft = 160;
inline constexpr int kPrintFirstTop = 210;
inline constexpr int kPrintLineStep = 110;
inline constexpr int kPrintFontPoints = 12;

// The printed lines of a text (UTF-16 units). A line takes 80 units, then one
// more while its last unit is not a space, up to 25 more; the next line
// starts after it. A line never ends between the two halves of a surrogate
// pair: the high half moves on to the next line.
// Line breaks ("\r\n", "\n" or "\r") end a line too and are not printed, so
// the rule runs on each paragraph; an empty paragraph prints as an empty
// line, and a break at the very end adds none.
std::vector<std::u16string> CutPrintLines(std::u16string_view text);
// Lines that fit on a page of that many printer units (at least one).
int PrintLinesPerPage(int pageHeight);
// Draws one line at its place on the page (slot 0 is the first line), its
// top at the line's y as the printer's text output places it.
void DrawPrintLine(QPainter& painter, int slot, std::u16string_view line);
// Prints the text in the face and weight of `font` at 12 points, starting a
// new page when a page is full. False when the printer failed anywhere.
bool PrintText(QPrinter& printer, const QFont& font, std::u16string_view text);

struct MessageColors {
    QRgb back;
    QRgb text;
};
// The colour schemes that "Colors" steps through, from state 0.
extern const std::array<MessageColors, 7> kMessageColorCycle;

// The encodings a message can be saved in (the text box's codes), in the
// order the save dialog offers them; the first is the default.
struct TextEncodingChoice {
    int32_t code;
    const char* name;
};
extern const std::array<TextEncodingChoice, 8> kTextEncodings;

// A file chosen to save a message in, and the encoding chosen with it.
struct TextFileChoice {
    std::string path;
    int32_t encoding = 0;
};

// What the tools reach outside the window; tests replace them.
struct MessageToolsHooks {
    // The clipboard; the application's when null.
    QClipboard* clipboard = nullptr;
    // The printer the print dialog starts from; the system's default printer when empty.
    std::function<std::unique_ptr<QPrinter>()> printer;
    // The print dialog for that printer: true when the user chose to print.
    std::function<bool(QWidget* owner, QPrinter& printer)> printDialog;
    // The font dialog: the chosen font, or nothing when cancelled.
    std::function<std::optional<QFont>(QWidget* owner, const QFont& current)> chooseFont;
    // The open-file dialog for a text file: the chosen path, or empty.
    std::function<std::string(QWidget* owner)> chooseTextFile;
    // The save dialog for a message, offering kTextEncodings with `encoding`
    // selected. The dialog does not ask about an existing file: the tools do.
    std::function<std::optional<TextFileChoice>(QWidget* owner, int32_t encoding)> chooseSaveFile;
};

// The buttons over a message box: Paste, Copy and Clear, the font buttons
// A+, A-, B, F, P, and Colors. Paste and Copy are named by the window
// (the windows number them differently); the others are Command9 (Clear),
// Command11 to Command15 (A+ to P) and Command7 (Colors) in both.
struct MessageToolButtons {
    QPushButton* paste = nullptr;
    QPushButton* copy = nullptr;
    QPushButton* clear = nullptr;
    QPushButton* larger = nullptr;
    QPushButton* smaller = nullptr;
    QPushButton* bold = nullptr;
    QPushButton* font = nullptr;
    QPushButton* print = nullptr;
    QPushButton* colors = nullptr;
    // "Save...", for the windows that offer it (named by the window); may be null.
    QPushButton* save = nullptr;
};
MessageToolButtons MakeMessageToolButtons(QWidget* parent, const char* pasteName, const char* copyName);
// The "Save..." button, as the tools label it.
QPushButton* MakeSaveMessageButton(QWidget* parent, const char* name);

class MessageTools {
public:
    MessageTools(UniText* box, QWidget* owner, MessageBoxes* messages, MessageToolsHooks hooks = {});

    void Paste();  // the whole text = the clipboard's text
    void Copy();   // the clipboard = the whole text, and nothing else
    void Clear();
    void FontLarger();   // + 1 point
    void FontSmaller();  // - 1 point, down to 1 point
    void ToggleBold();
    // Applies face, size and bold of the chosen font (not italic, underline or
    // strike-out), and only when the face has a name.
    void ChooseFont();
    // Applies the scheme of the current state and moves to the next.
    void NextColors();
    int ColorScheme() const { return colorScheme_; }
    // Prints once the user accepted the print dialog; on failure the user
    // sees "Printing caused an error.".
    void Print();
    // A ".txt" file from the open-file dialog into the box (byte order marks
    // detected, UTF-8 recognised without one). True when the text was loaded.
    bool LoadTextFile();
    // The whole text into a file chosen with the save dialog, in the encoding
    // chosen there, readable by its owner alone. An existing file is replaced
    // only when the user says so. True when the file was written.
    bool SaveTextFile();

    // Each button runs its tool.
    void Connect(const MessageToolButtons& buttons);

private:
    QClipboard* Clipboard() const;

    QPointer<UniText> box_;
    QPointer<QWidget> owner_;
    MessageBoxes* messages_;
    MessageToolsHooks hooks_;
    int colorScheme_ = 0;
    int32_t saveEncoding_ = kTextEncodings[0].code;  // the last one chosen
};

}  // namespace corvane
