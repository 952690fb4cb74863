#include "widgets/message_tools.hpp"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QPushButton>
#include <QMessageBox>
#include <QPainter>
#include <QPrinter>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/text_file.hpp"
#include "temp_folder.hpp"
#include "widgets/message_boxes.hpp"
#include "widgets/uni_text.hpp"
#include "widgets/window_style.hpp"

namespace corvane {
namespace {

using namespace std::string_literals;
using testing::TempFolder;

std::u16string Repeat(char16_t c, size_t n) { return std::u16string(n, c); }

std::vector<size_t> Lengths(const std::vector<std::u16string>& lines) {
    std::vector<size_t> out;
    for (const auto& l : lines) out.push_back(l.size());
    return out;
}

TEST(PrintLinesTest, LinesGrowUntilASpaceOrBy25) {
    EXPECT_TRUE(CutPrintLines(u"").empty());
    EXPECT_EQ(Lengths(CutPrintLines(Repeat(u'a', 100))), (std::vector<size_t>{100}));
    EXPECT_EQ(Lengths(CutPrintLines(Repeat(u'a', 200))), (std::vector<size_t>{105, 95}));

    // A space as character 83 ends the first line there; the next starts at 84.
    std::u16string text = Repeat(u'a', 82) + u" " + Repeat(u'b', 100);
    auto lines = CutPrintLines(text);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], Repeat(u'a', 82) + u" ");
    EXPECT_EQ(lines[1], Repeat(u'b', 100));
    // A space as character 80 ends the line at 80; one at 106 is out of reach.
    text = Repeat(u'a', 79) + u" " + Repeat(u'b', 30);
    EXPECT_EQ(Lengths(CutPrintLines(text)), (std::vector<size_t>{80, 30}));
    text = Repeat(u'a', 105) + u" " + Repeat(u'b', 5);
    EXPECT_EQ(Lengths(CutPrintLines(text)), (std::vector<size_t>{105, 6}));
}

TEST(PrintLinesTest, SurrogatePairsStayWhole) {
    // The 105th unit is the high half of a pair: the pair moves on whole.
    const std::u16string text = Repeat(u'a', 104) + u"\U0001F600" + Repeat(u'b', 10);
    const auto lines = CutPrintLines(text);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], Repeat(u'a', 104));
    EXPECT_EQ(lines[1], u"\U0001F600" + Repeat(u'b', 10));
    // Text of nothing but pairs never splits one.
    std::u16string pairs;
    for (int i = 0; i < 120; ++i) pairs += u"\U0001F600";
    std::u16string joined;
    for (const auto& line : CutPrintLines(pairs)) {
        ASSERT_FALSE(line.empty());
        EXPECT_FALSE(line.back() >= 0xD800 && line.back() <= 0xDBFF);
        joined += line;
    }
    EXPECT_EQ(joined, pairs);
}

TEST(PrintLinesTest, LineBreaksEndLines) {
    EXPECT_EQ(CutPrintLines(u"ab\r\ncd\n\ne\rf"), (std::vector<std::u16string>{u"ab", u"cd", u"", u"e", u"f"}));
    EXPECT_EQ(CutPrintLines(u"ab\r\n"), (std::vector<std::u16string>{u"ab"}));
    // The rule starts afresh after a break.
    EXPECT_EQ(Lengths(CutPrintLines(Repeat(u'a', 50) + u"\n" + Repeat(u'b', 200))),
              (std::vector<size_t>{50, 105, 95}));
}

TEST(PrintLinesTest, PagesAndPlaces) {
    EXPECT_EQ(PrintLinesPerPage(0), 1);
    EXPECT_EQ(PrintLinesPerPage(210 + 3 * 110), 3);
    EXPECT_EQ(PrintLinesPerPage(210 + 3 * 110 - 1), 2);

    // A line's top sits at its y, its left at x = 160, in device units.
    QImage page(1200, 600, QImage::Format_RGB32);
    page.setDotsPerMeterX(23622);  // 600 dpi
    page.setDotsPerMeterY(23622);
    page.fill(Qt::white);
    QPainter painter(&page);
    QFont font;
    font.setPointSize(12);
    painter.setFont(font);
    DrawPrintLine(painter, 1, u"HHHH");
    painter.end();
    int top = -1, left = -1;
    for (int y = 0; y < page.height() && top < 0; ++y)
        for (int x = 0; x < page.width(); ++x)
            if (qGray(page.pixel(x, y)) < 128) {
                top = y;
                break;
            }
    for (int x = 0; x < page.width() && left < 0; ++x)
        for (int y = 0; y < page.height(); ++y)
            if (qGray(page.pixel(x, y)) < 128) {
                left = x;
                break;
            }
    EXPECT_GE(top, 320);
    EXPECT_LT(top, 320 + 50);
    EXPECT_GE(left, 160);
    EXPECT_LT(left, 160 + 30);
}

class MessageToolsTest : public ::testing::Test {
protected:
    MessageToolsTest() {
        auto* layout = new QVBoxLayout(&window_);
        box_ = new UniText(&window_);
        box_->SetMultiLine(true);
        layout->addWidget(box_);
        hooks_.chooseFont = [this](QWidget*, const QFont&) { return chosenFont_; };
        hooks_.chooseTextFile = [this](QWidget*) { return chosenFile_; };
        hooks_.printDialog = [this](QWidget*, QPrinter& printer) {
            ++printDialogs_;
            dialogPrinter_ = &printer;
            return printAccepted_;
        };
        hooks_.chooseSaveFile = [this](QWidget*, int32_t encoding) {
            offeredEncoding_ = encoding;
            return saveChoice_;
        };
        hooks_.printer = [this] {
            auto printer = std::make_unique<QPrinter>();
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(QString::fromStdString(pdf_));
            return printer;
        };
    }
    MessageTools Tools() { return MessageTools(box_, &window_, &messages_, hooks_); }
    int PdfPages() const {
        std::ifstream in(pdf_, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        const std::string pdf = s.str();
        if (pdf.rfind("%PDF", 0) != 0) return -1;
        int pages = 0;
        for (size_t at = pdf.find("/Type /Page"); at != std::string::npos; at = pdf.find("/Type /Page", at + 1))
            if (pdf.compare(at, 12, "/Type /Pages") != 0) ++pages;
        return pages;
    }

    QWidget window_;
    UniText* box_;
    RecordingMessageBoxes messages_;
    MessageToolsHooks hooks_;
    std::optional<QFont> chosenFont_;
    std::string chosenFile_;
    int printDialogs_ = 0;
    bool printAccepted_ = true;
    QPrinter* dialogPrinter_ = nullptr;
    std::optional<TextFileChoice> saveChoice_;
    int32_t offeredEncoding_ = -1;
    TempFolder folder_;
    std::string pdf_ = folder_ / "print.pdf";
};

TEST_F(MessageToolsTest, ClipboardRoundTrip) {
    MessageTools tools = Tools();
    QClipboard* clipboard = QGuiApplication::clipboard();
    // A leading U+FEFF is part of the message, not a byte order mark.
    const std::u16string text = u"\uFEFFone\r\ntwo \U0001F600 \u00E9\0end"s;
    box_->SetText(text);
    clipboard->setText("before");
    tools.Copy();
    EXPECT_EQ(clipboard->text().size(), static_cast<qsizetype>(text.size()));
    tools.Clear();
    EXPECT_EQ(box_->Text(), u"");
    tools.Paste();
    EXPECT_EQ(box_->Text(), text);
    clipboard->setText("other");
    tools.Paste();  // the whole text, not at the caret
    EXPECT_EQ(box_->Text(), u"other");
}

TEST_F(MessageToolsTest, ButtonsRunTheirTools) {
    QWidget owner;
    const MessageToolButtons buttons = MakeMessageToolButtons(&owner, "Command5", "Command6");
    MessageTools tools = Tools();
    tools.Connect(buttons);
    EXPECT_EQ(buttons.paste->objectName(), "Command5");
    EXPECT_EQ(buttons.copy->objectName(), "Command6");
    EXPECT_EQ(buttons.clear->toolTip(), "Clear textbox text.");
    EXPECT_EQ(buttons.print->objectName(), "Command15");
    box_->SetText(u"abc");
    buttons.copy->click();
    buttons.clear->click();
    EXPECT_EQ(box_->Text(), u"");
    buttons.paste->click();
    EXPECT_EQ(box_->Text(), u"abc");
    buttons.colors->click();
    EXPECT_EQ(tools.ColorScheme(), 1);
}

TEST_F(MessageToolsTest, FontSizeAndWeight) {
    MessageTools tools = Tools();
    box_->SetFontSize(10);
    tools.FontLarger();
    EXPECT_DOUBLE_EQ(box_->Font().pointSizeF(), 11);
    tools.FontSmaller();
    tools.FontSmaller();
    EXPECT_DOUBLE_EQ(box_->Font().pointSizeF(), 9);
    box_->SetFontSize(1);
    tools.FontSmaller();
    EXPECT_DOUBLE_EQ(box_->Font().pointSizeF(), 1);
    EXPECT_FALSE(box_->FontBold());
    tools.ToggleBold();
    EXPECT_TRUE(box_->FontBold());
}

TEST_F(MessageToolsTest, FontDialogAppliesFaceSizeAndBoldOnly) {
    MessageTools tools = Tools();
    box_->SetFontName("DejaVu Sans");
    box_->SetFontSize(10);
    QFont chosen("DejaVu Serif");
    chosen.setPointSize(17);
    chosen.setWeight(QFont::DemiBold);
    chosen.setItalic(true);
    chosen.setUnderline(true);
    chosenFont_ = chosen;
    tools.ChooseFont();
    EXPECT_EQ(box_->FontName(), "DejaVu Serif");
    EXPECT_DOUBLE_EQ(box_->Font().pointSizeF(), 17);
    EXPECT_TRUE(box_->FontBold());
    EXPECT_FALSE(box_->FontItalic());
    EXPECT_FALSE(box_->FontUnderline());

    chosen.setWeight(QFont::Normal);
    chosenFont_ = chosen;
    tools.ChooseFont();
    EXPECT_FALSE(box_->FontBold());

    QFont nameless;
    nameless.setFamilies({});
    nameless.setPointSize(30);
    chosenFont_ = nameless;
    tools.ChooseFont();
    chosenFont_.reset();  // cancelled
    tools.ChooseFont();
    EXPECT_EQ(box_->FontName(), "DejaVu Serif");
    EXPECT_DOUBLE_EQ(box_->Font().pointSizeF(), 17);
}

TEST_F(MessageToolsTest, ColourCycleWrapsAfterSeven) {
    MessageTools tools = Tools();
    for (size_t i = 0; i < kMessageColorCycle.size(); ++i) {
        EXPECT_EQ(tools.ColorScheme(), static_cast<int>(i));
        tools.NextColors();
        EXPECT_EQ(box_->BackColor(), QColor(kMessageColorCycle[i].back));
        EXPECT_EQ(box_->ForeColor(), QColor(kMessageColorCycle[i].text));
    }
    EXPECT_EQ(box_->BackColor(), QColor(228, 231, 233));
    EXPECT_EQ(box_->ForeColor(), QColor(0, 0, 128));
    EXPECT_EQ(tools.ColorScheme(), 0);
    tools.NextColors();  // the eighth click applies the first row again
    EXPECT_EQ(box_->BackColor(), QColor(50, 50, 50));
    EXPECT_EQ(box_->ForeColor(), QColor(50, 255, 50));
}

TEST_F(MessageToolsTest, PrintsToPdfOnAsManyPagesAsNeeded) {
    MessageTools tools = Tools();
    box_->SetText(u"Hello\r\n" + Repeat(u'x', 200));
    tools.Print();
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_EQ(PdfPages(), 1);

    // 200 lines cannot fit on one page; none may fall off its bottom.
    std::u16string longText;
    for (int i = 0; i < 200; ++i) longText += u"line\r\n";
    box_->SetText(longText);
    tools.Print();
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_GE(PdfPages(), 3);
}

TEST_F(MessageToolsTest, PrintsOnlyWhenThePrintDialogIsAccepted) {
    box_->SetText(u"text");
    MessageTools tools = Tools();
    printAccepted_ = false;
    tools.Print();
    EXPECT_EQ(printDialogs_, 1);
    EXPECT_FALSE(std::filesystem::exists(pdf_));
    EXPECT_TRUE(messages_.shown.empty());  // declining is no error

    printAccepted_ = true;
    MessageToolButtons buttons = MakeMessageToolButtons(&window_, "Command5", "Command6");
    tools.Connect(buttons);
    buttons.print->click();
    EXPECT_EQ(printDialogs_, 2);
    EXPECT_NE(dialogPrinter_, nullptr);
    EXPECT_EQ(PdfPages(), 1);
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(MessageToolsTest, PrintFailureIsReported) {
    pdf_ = folder_ / "missing/print.pdf";
    box_->SetText(u"text");
    MessageTools tools = Tools();
    tools.Print();
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].icon, MessageIcon::Information);
    EXPECT_EQ(messages_.shown[0].text, u"Printing caused an error.");

    hooks_.printer = [] { return std::unique_ptr<QPrinter>(); };
    MessageTools noPrinter = Tools();
    noPrinter.Print();
    EXPECT_EQ(messages_.shown.size(), 2u);
}

TEST_F(MessageToolsTest, LoadsOnlyTxtFiles) {
    box_->SetText(u"kept");
    const std::string utf8 = "\xEF\xBB\xBFgr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80";
    folder_.Write("m.txt", utf8);
    folder_.Write("m.TXT", utf8);
    MessageTools tools = Tools();
    chosenFile_ = "";  // cancelled
    EXPECT_FALSE(tools.LoadTextFile());
    chosenFile_ = folder_ / "m.TXT";
    EXPECT_FALSE(tools.LoadTextFile());
    chosenFile_ = folder_ / "gone.txt";
    EXPECT_FALSE(tools.LoadTextFile());
    EXPECT_EQ(box_->Text(), u"kept");
    chosenFile_ = folder_ / "m.txt";
    EXPECT_TRUE(tools.LoadTextFile());
    EXPECT_EQ(box_->Text(), u"gr\u00FC\u00DF \U0001F600");
    EXPECT_EQ(box_->BOM(), 65001);
    // UTF-8 without a mark is recognised as such.
    folder_.Write("plain.txt", "caf\xC3\xA9");
    chosenFile_ = folder_ / "plain.txt";
    EXPECT_TRUE(tools.LoadTextFile());
    EXPECT_EQ(box_->Text(), u"caf\u00E9");
    EXPECT_EQ(box_->BOM(), 1);
}

// Every offered encoding writes a file the text box reads back as the same
// text with that encoding, readable by its owner alone.
TEST_F(MessageToolsTest, SavesInEachOfferedEncoding) {
    const std::u16string text = u"line one\r\ncaf\u00E9 \U0001F5DD\uFE0F end";
    const std::u16string latin = u"line one\r\ncaf\u00E9 \u20AC";
    MessageTools tools = Tools();
    std::vector<int32_t> codes;
    for (const TextEncodingChoice& e : kTextEncodings) {
        codes.push_back(e.code);
        const std::u16string& t = e.code == kEncodingCodePage ? latin : text;
        box_->SetText(t);
        const std::string path = folder_ / ("m" + std::to_string(e.code) + ".txt");
        saveChoice_ = TextFileChoice{path, e.code};
        ASSERT_TRUE(tools.SaveTextFile()) << e.name;
        EXPECT_EQ(offeredEncoding_, codes.size() == 1 ? kEncodingUtf8NoMark : codes[codes.size() - 2]) << e.name;
        const LoadFileResult back = LoadTextFile(path, 1);
        ASSERT_TRUE(back.ok) << e.name;
        EXPECT_EQ(back.text, t) << e.name;
        EXPECT_EQ(back.bom, e.code) << e.name;
        EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write)
            << e.name;
    }
    std::sort(codes.begin(), codes.end());
    EXPECT_EQ(codes, (std::vector<int32_t>{0, 1, 1200, 1201, 12000, 12001, 65000, 65001}));
    EXPECT_TRUE(messages_.shown.empty());
}

// What Save refuses to write, each time saying why (a cancel needs no word).
TEST_F(MessageToolsTest, SaveRefusesWhatItCannotWriteWhole) {
    MessageTools tools = Tools();
    box_->SetText(u"new \U0001F600");
    saveChoice_.reset();  // cancelled
    EXPECT_FALSE(tools.SaveTextFile());

    // Windows-1252 has no emoji: refused rather than written as "?".
    saveChoice_ = TextFileChoice{folder_ / "ansi.txt", kEncodingCodePage};
    EXPECT_FALSE(tools.SaveTextFile());
    EXPECT_FALSE(std::filesystem::exists(folder_ / "ansi.txt"));
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].text.rfind(u"The message has characters that Windows-1252 cannot hold", 0), 0u);

    // An empty box has nothing to save; a folder that cannot take the file says why.
    messages_.shown.clear();
    saveChoice_ = TextFileChoice{folder_ / "missing/x.txt", kEncodingUtf8NoMark};
    EXPECT_FALSE(tools.SaveTextFile());
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].text.rfind(u"Cannot save x.txt: ", 0), 0u);
    box_->SetText(u"");
    EXPECT_FALSE(tools.SaveTextFile());
    EXPECT_EQ(messages_.shown.back().text, u"There is no message to save.");
}

TEST(MessageBoxesTest, RealBoxIsModalWithIconAndPlainText) {
    QWidget owner;
    QtMessageBoxes real(&owner);
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        text = box->text();
        format = box->textFormat();
        icon = box->icon();
        box->accept();
    });
    real.Critical(u"<b>DECOMPRESSION ERROR</b>");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(text, "<b>DECOMPRESSION ERROR</b>");
    EXPECT_EQ(format, Qt::PlainText);
}

TEST(WindowStyleTest, FontIsFixedPitch) {
    const QFontMetrics metrics(WindowFont());
    EXPECT_EQ(metrics.horizontalAdvance("iiii"), metrics.horizontalAdvance("WWWW"));
}

}  // namespace
}  // namespace corvane
