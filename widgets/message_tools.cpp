#include "widgets/message_tools.hpp"

#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QFontDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

#include <algorithm>
#include <exception>

#include "core/code_page.hpp"
#include "core/number_format.hpp"
#include "core/platform.hpp"
#include "core/text_file.hpp"
#include "widgets/controls.hpp"
#include "widgets/message_boxes.hpp"
#include "widgets/uni_text.hpp"

namespace corvane {
namespace {

constexpr size_t kLineUnits = 80;
constexpr size_t kMostAdded = 25;

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

void CutParagraph(std::u16string_view para, std::vector<std::u16string>& lines) {
    if (para.empty()) {
        lines.emplace_back();
        return;
    }
    const size_t n = para.size();
    size_t start = 0;
    while (start < n) {
        size_t end = std::min(start + kLineUnits, n);
        for (size_t added = 0; added < kMostAdded && end < n && para[end - 1] != u' '; ++added) ++end;
        if (end < n && end - start > 1 && IsHighSurrogate(para[end - 1])) --end;
        lines.emplace_back(para.substr(start, end - start));
        start = end;
    }
}

}  // namespace

const std::array<MessageColors, 7> kMessageColorCycle = {{
    {qRgb(50, 50, 50), qRgb(50, 255, 50)},
    {qRgb(0, 0, 0), qRgb(255, 255, 255)},
    {qRgb(255, 255, 255), qRgb(0, 0, 0)},
    {qRgb(0, 0, 100), qRgb(255, 255, 255)},
    {qRgb(0, 50, 100), qRgb(255, 255, 0)},
    {qRgb(50, 50, 50), qRgb(50, 255, 255)},
    {qRgb(228, 231, 233), qRgb(0, 0, 128)},
}};

// Unmarked UTF-8 first: what every Linux tool reads as plain text.
const std::array<TextEncodingChoice, 8> kTextEncodings = {{
    {kEncodingUtf8NoMark, "UTF-8"},
    {kEncodingUtf8, "UTF-8 with byte order mark"},
    {kEncodingUtf16LE, "UTF-16 little-endian"},
    {kEncodingUtf16BE, "UTF-16 big-endian"},
    {kEncodingUtf32LE, "UTF-32 little-endian"},
    {kEncodingUtf32BE, "UTF-32 big-endian"},
    {kEncodingUtf7, "UTF-7"},
    {kEncodingCodePage, "Windows-1252"},
}};

std::vector<std::u16string> CutPrintLines(std::u16string_view text) {
    std::vector<std::u16string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t brk = text.find_first_of(u"\r\n", start);
        if (brk == std::u16string_view::npos) {
            CutParagraph(text.substr(start), lines);
            break;
        }
        CutParagraph(text.substr(start, brk - start), lines);
        start = brk + ((text[brk] == u'\r' && brk + 1 < text.size() && text[brk + 1] == u'\n') ? 2 : 1);
    }
    return lines;
}

int PrintLinesPerPage(int pageHeight) { return std::max(1, (pageHeight - kPrintFirstTop) / kPrintLineStep); }

void DrawPrintLine(QPainter& painter, int slot, std::u16string_view line) {
    // The printer's text output places a line by its top, QPainter by its baseline.
    const int top = kPrintFirstTop + slot * kPrintLineStep;
    painter.drawText(kPrintLeft, top + painter.fontMetrics().ascent(), ToQString(line));
}

bool PrintText(QPrinter& printer, const QFont& font, std::u16string_view text) {
    printer.setResolution(kPrintResolution);
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    QFont face;
    face.setFamilies(font.families());
    face.setBold(font.bold());
    face.setPointSize(kPrintFontPoints);
    painter.setFont(face);

    const std::vector<std::u16string> lines = CutPrintLines(text);
    const int perPage = PrintLinesPerPage(printer.height());
    for (size_t i = 0; i < lines.size(); ++i) {
        const int slot = static_cast<int>(i % static_cast<size_t>(perPage));
        // Lines below the paper's edge would be lost without a word.
        if (i > 0 && slot == 0 && !printer.newPage()) {
            painter.end();
            return false;
        }
        DrawPrintLine(painter, slot, lines[i]);
    }
    if (!painter.end()) return false;
    return printer.printerState() != QPrinter::Error && printer.printerState() != QPrinter::Aborted;
}

MessageToolButtons MakeMessageToolButtons(QWidget* parent, const char* pasteName, const char* copyName) {
    MessageToolButtons b;
    b.paste = MakeButton(parent, pasteName, QStringLiteral("Paste"));
    b.copy = MakeButton(parent, copyName, QStringLiteral("Copy"));
    b.clear = MakeButton(parent, "Command9", QStringLiteral("Clear"), QStringLiteral("Clear textbox text."));
    b.larger = MakeButton(parent, "Command11", QStringLiteral("A+"), QStringLiteral("Font larger."));
    b.smaller = MakeButton(parent, "Command12", QStringLiteral("A-"), QStringLiteral("Font smaller."));
    b.bold = MakeButton(parent, "Command13", QStringLiteral("B"), QStringLiteral("Font bold."));
    QFont bold = b.bold->font();
    bold.setBold(true);
    b.bold->setFont(bold);
    b.font = MakeButton(parent, "Command14", QStringLiteral("F"), QStringLiteral("Select font."));
    b.print = MakeButton(parent, "Command15", QStringLiteral("P"), QStringLiteral("Print."));
    b.colors = MakeButton(parent, "Command7", QStringLiteral("Colors"));
    return b;
}

QPushButton* MakeSaveMessageButton(QWidget* parent, const char* name) {
    return MakeButton(parent, name, QStringLiteral("Save..."), QStringLiteral("Save the message to a text file."));
}

void MessageTools::Connect(const MessageToolButtons& b) {
    QObject::connect(b.paste, &QPushButton::clicked, owner_, [this] { Paste(); });
    QObject::connect(b.copy, &QPushButton::clicked, owner_, [this] { Copy(); });
    QObject::connect(b.clear, &QPushButton::clicked, owner_, [this] { Clear(); });
    QObject::connect(b.larger, &QPushButton::clicked, owner_, [this] { FontLarger(); });
    QObject::connect(b.smaller, &QPushButton::clicked, owner_, [this] { FontSmaller(); });
    QObject::connect(b.bold, &QPushButton::clicked, owner_, [this] { ToggleBold(); });
    QObject::connect(b.font, &QPushButton::clicked, owner_, [this] { ChooseFont(); });
    QObject::connect(b.print, &QPushButton::clicked, owner_, [this] { Print(); });
    QObject::connect(b.colors, &QPushButton::clicked, owner_, [this] { NextColors(); });
    if (b.save) QObject::connect(b.save, &QPushButton::clicked, owner_, [this] { SaveTextFile(); });
}

MessageTools::MessageTools(UniText* box, QWidget* owner, MessageBoxes* messages, MessageToolsHooks hooks)
    : box_(box), owner_(owner), messages_(messages), hooks_(std::move(hooks)) {}

QClipboard* MessageTools::Clipboard() const {
    return hooks_.clipboard ? hooks_.clipboard : QGuiApplication::clipboard();
}

void MessageTools::Paste() {
    QClipboard* clipboard = Clipboard();
    if (!box_ || !clipboard) return;
    box_->SetText(ToU16(clipboard->text()));
}

void MessageTools::Copy() {
    QClipboard* clipboard = Clipboard();
    if (!box_ || !clipboard) return;
    clipboard->clear();
    clipboard->setText(ToQString(box_->Text()));
}

void MessageTools::Clear() {
    if (box_) box_->SetText(u"");
}

namespace {

// The size asked for, not the one the font system settled on, so that A+ and
// A- undo each other.
double RequestedPoints(const UniText& box) {
    const double asked = box.Font().pointSizeF();
    return asked > 0 ? asked : box.FontSize();
}

}  // namespace

void MessageTools::FontLarger() {
    if (box_) box_->SetFontSize(RequestedPoints(*box_) + 1);
}

void MessageTools::FontSmaller() {
    if (box_) box_->SetFontSize(std::max(1.0, RequestedPoints(*box_) - 1));
}

void MessageTools::ToggleBold() {
    if (box_) box_->SetFontBold(!box_->FontBold());
}

void MessageTools::ChooseFont() {
    if (!box_) return;
    std::optional<QFont> chosen;
    if (hooks_.chooseFont) {
        chosen = hooks_.chooseFont(owner_, box_->Font());
    } else {
        bool ok = false;
        const QFont f = QFontDialog::getFont(&ok, box_->Font(), owner_, QString(), QFontDialog::ScalableFonts);
        if (ok) chosen = f;
    }
    if (!chosen || chosen->families().value(0).isEmpty()) return;
    double points = chosen->pointSizeF();
    if (points <= 0 && chosen->pixelSize() > 0) {
        const int dpi = owner_ ? owner_->logicalDpiY() : box_->logicalDpiY();
        points = static_cast<double>(Nearest(chosen->pixelSize() * 72.0 / dpi));
    }
    box_->SetFontName(chosen->families().value(0));
    box_->SetFontSize(points);
    box_->SetFontBold(chosen->weight() > QFont::Normal);
}

void MessageTools::NextColors() {
    if (!box_) return;
    const MessageColors& scheme = kMessageColorCycle[static_cast<size_t>(colorScheme_)];
    box_->SetBackColor(QColor(scheme.back));
    box_->SetForeColor(QColor(scheme.text));
    colorScheme_ = (colorScheme_ + 1) % static_cast<int>(kMessageColorCycle.size());
}

void MessageTools::Print() {
    if (!box_) return;
    bool printed = false;
    try {
        std::unique_ptr<QPrinter> printer =
            hooks_.printer ? hooks_.printer() : std::make_unique<QPrinter>(QPrinter::HighResolution);
        if (printer) {
            // The user picks the printer and may still decline: nothing is
            // printed behind their back, and declining is no error.
            const bool accepted = hooks_.printDialog
                                      ? hooks_.printDialog(owner_, *printer)
                                      : QPrintDialog(printer.get(), owner_).exec() == QDialog::Accepted;
            if (!accepted) return;
            QFont font;
            font.setFamilies({box_->FontName()});
            font.setBold(box_->FontBold());
            printed = PrintText(*printer, font, box_->Text());
        }
    } catch (const std::exception&) {
        printed = false;
    }
    if (!printed && messages_) messages_->Information(u"Printing caused an error.");
}

bool MessageTools::LoadTextFile() {
    if (!box_) return false;
    std::string path;
    if (hooks_.chooseTextFile) {
        path = hooks_.chooseTextFile(owner_);
    } else {
        const QString chosen = QFileDialog::getOpenFileName(owner_, QStringLiteral("Select Text File"),
                                                            QString::fromStdString(WorkingRoot(ApplicationFolder())),
                                                            QStringLiteral("TXT Files (*.txt)"));
        path = QFile::encodeName(chosen).toStdString();
    }
    if (!path.ends_with(".txt")) return false;
    return box_->LoadFile(path, 1);
}

namespace {

std::optional<TextFileChoice> AskSaveTextFile(QWidget* owner, int32_t encoding) {
    QStringList filters;
    QString selected;
    for (const TextEncodingChoice& e : kTextEncodings) {
        filters << QStringLiteral("%1 (*.txt)").arg(QString::fromLatin1(e.name));
        if (e.code == encoding) selected = filters.back();
    }
    QFileDialog dialog(owner, QStringLiteral("Save Message"), QString::fromStdString(WorkingRoot(ApplicationFolder())));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    // The tools ask about an existing file themselves, through the window's
    // message boxes.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(selected);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const auto at = filters.indexOf(dialog.selectedNameFilter());
    return TextFileChoice{QFile::encodeName(dialog.selectedFiles().front()).toStdString(),
                          kTextEncodings[static_cast<size_t>(std::max<qsizetype>(at, 0))].code};
}

std::u16string FileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return Utf8ToText(slash == std::string::npos ? path : path.substr(slash + 1));
}

}  // namespace

bool MessageTools::SaveTextFile() {
    if (!box_) return false;
    const std::u16string text = box_->Text();
    if (text.empty()) {
        if (messages_) messages_->Information(u"There is no message to save.");
        return false;
    }
    const std::optional<TextFileChoice> choice =
        hooks_.chooseSaveFile ? hooks_.chooseSaveFile(owner_, saveEncoding_) : AskSaveTextFile(owner_, saveEncoding_);
    if (!choice || choice->path.empty()) return false;
    const std::u16string name = FileNameOf(choice->path);
    // The code page holds few characters; the rest would be lost without a word.
    if (choice->encoding == kEncodingCodePage && !std::all_of(text.begin(), text.end(), HasAnsiByte)) {
        if (messages_)
            messages_->Information(u"The message has characters that Windows-1252 cannot hold; " + name +
                                   u" was not saved. Choose a UTF encoding.");
        return false;
    }
    const bool replace = FileExists(choice->path);
    if (replace && !(messages_ && messages_->Question(name + u" already exists. Replace it?"))) return false;
    const SaveFileResult saved =
        corvane::SaveTextFile(choice->path, text, choice->encoding, replace, FileAccess::Private);
    if (!saved.ok) {
        if (messages_) messages_->Information(u"Cannot save " + name + u": " + Utf8ToText(saved.error) + u".");
        return false;
    }
    saveEncoding_ = choice->encoding;
    return true;
}

}  // namespace corvane
