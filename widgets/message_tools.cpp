#include "widgets/message_tools.hpp"

#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QFontDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>

#include <algorithm>
#include <exception>

#include "core/number_format.hpp"
#include "core/platform.hpp"
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
        QFont font;
        font.setFamilies({box_->FontName()});
        font.setBold(box_->FontBold());
        printed = printer && PrintText(*printer, font, box_->Text());
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

}  // namespace corvane
