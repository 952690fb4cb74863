#include "widgets/uni_text.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QApplication>
#include <QTest>
#include <QVBoxLayout>

#include <filesystem>
#include <fstream>

#include "core/text_file.hpp"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// The window around the box: records the keys that the box leaves to it.
class Window : public QWidget {
public:
    Window() {
        auto* layout = new QVBoxLayout(this);
        box = new UniText(this);
        other = new QLineEdit(this);
        layout->addWidget(box);
        layout->addWidget(other);
    }
    UniText* box;
    QLineEdit* other;
    std::vector<int> keys;

protected:
    void keyPressEvent(QKeyEvent* e) override { keys.push_back(e->key()); }
};

class UniTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_.show();
        window_.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
        box().Editor()->setFocus();
    }
    UniText& box() { return *window_.box; }
    QWidget* editor() { return box().Editor(); }
    void Type(const char* s) { QTest::keyClicks(editor(), s); }
    void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) { QTest::keyClick(editor(), key, mods); }
    void MultiLine() {
        box().SetMultiLine(true);
        editor()->setFocus();
    }

    Window window_;
};

TEST_F(UniTextTest, Defaults) {
    EXPECT_EQ(box().MaxLength(), -1);
    EXPECT_EQ(box().BorderStyle(), 2);
    EXPECT_EQ(box().ScrollBars(), 0);
    EXPECT_EQ(box().BOM(), 0);
    EXPECT_TRUE(box().HideSelection());
    EXPECT_TRUE(box().UseEvents());
    EXPECT_FALSE(box().MultiLine());
    EXPECT_FALSE(box().CaptureEnter() || box().CaptureEsc() || box().CaptureTab());
    box().SetMaxLength(5);
    EXPECT_EQ(box().MaxLength(), 5);
    box().SetMaxLength(0);
    EXPECT_EQ(box().MaxLength(), -1);
}

TEST_F(UniTextTest, TextRoundTripsExactlyInBothModes) {
    const std::u16string text = u"a\nb\r\nc\rd\u2029e\u00A0f\U0001F600\r\n\r\n\t\0z"s;
    box().SetText(text);
    EXPECT_EQ(box().Text(), text);
    MultiLine();
    EXPECT_EQ(box().Text(), text);
    EXPECT_EQ(box().Length(), static_cast<int32_t>(text.size()));
    EXPECT_EQ(box().Lines(), 7);
    EXPECT_EQ(box().GetLine(1), u"b");
    EXPECT_EQ(box().GetLine(4), u"e\u00A0f\U0001F600");
    EXPECT_EQ(box().GetLine(6), u"\t\0z"s);
    EXPECT_EQ(box().GetLine(7), u"");
    box().SetMultiLine(false);
    EXPECT_EQ(box().Text(), text);
}

TEST_F(UniTextTest, WrappedLinesCountAsLines) {
    MultiLine();
    box().SetScrollBars(2);
    window_.resize(200, 120);
    window_.layout()->activate();
    std::u16string text;
    for (int i = 0; i < 60; ++i) text += u"word ";
    box().SetText(text + u"\r\nlast");
    const int32_t lines = box().Lines();
    EXPECT_GT(lines, 3);
    std::u16string joined;
    for (int32_t i = 0; i + 1 < lines; ++i) joined += box().GetLine(i);
    EXPECT_EQ(joined, text);
    EXPECT_EQ(box().GetLine(lines - 1), u"last");
    EXPECT_EQ(box().FirstVisibleLine(), 0);
    box().SetSel(box().Length(), -1);
    EXPECT_EQ(box().Line(false), lines - 1);
    box().ScrollToCaret();
    EXPECT_EQ(box().LastVisibleLine(), lines - 1);
    EXPECT_GT(box().FirstVisibleLine(), 0);
    box().SetScrollBars(0);
    EXPECT_EQ(box().Lines(), 2);
    EXPECT_EQ(box().GetLine(0), text);
}

TEST_F(UniTextTest, SelectionCountsLineBreaksAsTheirUnits) {
    MultiLine();
    box().SetText(u"ab\r\ncd\nef");
    box().SetSel(1, 6);
    EXPECT_EQ(box().SelText(), u"b\r\ncd");
    qobject_cast<QPlainTextEdit*>(editor())->copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "b\r\ncd");
    int32_t s = 0, e = 0;
    box().GetSel(s, e);
    EXPECT_EQ(s, 1);
    EXPECT_EQ(e, 6);
    EXPECT_EQ(box().Line(false), 1);
    box().SetSel(7, 2);  // reversed: the caret goes to the end given second
    EXPECT_EQ(box().SelStart(), 2);
    EXPECT_EQ(box().SelLength(), 5);
    EXPECT_EQ(box().Line(false), 0);
    EXPECT_EQ(box().Line(true), 2);
    box().SetSelText(u"X\nY");
    EXPECT_EQ(box().Text(), u"abX\nYef");
    box().SetSel(0, -1);
    EXPECT_EQ(box().SelText(), u"abX\nYef");
    box().SetSel(-1, 0);
    EXPECT_EQ(box().SelLength(), 0);

    // Editing next to a kept break leaves the other breaks as they were.
    box().SetText(u"one\ntwo\rthree");
    box().SetSel(3, 4);
    Type("!");
    EXPECT_EQ(box().Text(), u"one!two\rthree");
    box().SetSel(4, 4);
    box().SetCaptureEnter(true);
    Key(Qt::Key_Return);
    EXPECT_EQ(box().Text(), u"one!\r\ntwo\rthree");
}

TEST_F(UniTextTest, EnterEscAndTabGoToTheWindowUnlessCaptured) {
    Key(Qt::Key_Return);
    Key(Qt::Key_Escape);
    MultiLine();
    Key(Qt::Key_Escape);
    EXPECT_EQ(box().Text(), u"");
    EXPECT_EQ(window_.keys, (std::vector<int>{Qt::Key_Return, Qt::Key_Escape, Qt::Key_Escape}));
    Key(Qt::Key_Tab);
    EXPECT_EQ(window_.focusWidget(), window_.other);

    window_.keys.clear();
    editor()->setFocus();
    box().SetCaptureEnter(true);
    box().SetCaptureEsc(true);
    box().SetCaptureTab(true);
    std::vector<int> pressed;
    QObject::connect(&box(), &UniText::KeyPress, [&](int& code) { pressed.push_back(code); });
    Type("a");
    Key(Qt::Key_Return);
    Key(Qt::Key_Tab);
    Key(Qt::Key_Escape);
    Type("b");
    EXPECT_EQ(box().Text(), u"a\r\n\tb");
    EXPECT_EQ(pressed, (std::vector<int>{'a', 13, 9, 27, 'b'}));
    EXPECT_TRUE(window_.keys.empty());
    EXPECT_EQ(window_.focusWidget(), editor());
    // Shift+Tab still moves the focus.
    Key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_NE(window_.focusWidget(), editor());
}

TEST_F(UniTextTest, EnterBreaksTheLineOfAMultiLineBox) {
    MultiLine();
    std::vector<int> pressed;
    QObject::connect(&box(), &UniText::KeyPress, [&](int& code) { pressed.push_back(code); });
    box().SetText(u"ab\ncd");
    box().SetSel(1, 1);
    Key(Qt::Key_Return);
    EXPECT_EQ(box().Text(), u"a\r\nb\ncd");
    EXPECT_EQ(box().SelStart(), 3);
    EXPECT_EQ(box().SelLength(), 0);
    box().SetSel(5, 6);  // the keypad's Enter replaces a selection like any typed text
    Key(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(box().Text(), u"a\r\nb\n\r\nd");
    EXPECT_EQ(box().SelStart(), 7);
    EXPECT_EQ(pressed, (std::vector<int>{13, 13}));
    EXPECT_TRUE(window_.keys.empty());
    box().Undo();
    EXPECT_EQ(box().Text(), u"a\r\nb\ncd");
    box().Undo();
    EXPECT_EQ(box().Text(), u"ab\ncd");

    // A locked box shows its text and takes no line break.
    box().SetLocked(true);
    Key(Qt::Key_Return);
    EXPECT_EQ(box().Text(), u"ab\ncd");
}

TEST_F(UniTextTest, ArrowAndPageKeysStayInTheBox) {
    for (Qt::Key k : {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Left, Qt::Key_Home})
        Key(k);
    EXPECT_TRUE(window_.keys.empty());
}

TEST_F(UniTextTest, KeyPressCanSwallowOrReplaceAKey) {
    MultiLine();
    box().SetCaptureEnter(true);
    QObject::connect(&box(), &UniText::KeyPress, [](int& code) {
        if (code == 'x') code = 0;
        if (code == 'a') code = 'A';
        if (code == 'e') code = 0x1F600;
        if (code == 13) code = '#';
    });
    Type("xaxbe");
    Key(Qt::Key_Return);
    EXPECT_EQ(box().Text(), u"Ab\U0001F600#");
    // A swallowed Backspace deletes nothing.
    QObject::connect(&box(), &UniText::KeyPress, [](int& code) {
        if (code == 8) code = 0;
    });
    Key(Qt::Key_Backspace);
    EXPECT_EQ(box().Text(), u"Ab\U0001F600#");

    // Replaced by control characters, keys act as those would: a line feed
    // breaks the line, a backspace deletes the character before the caret.
    QObject::connect(&box(), &UniText::KeyPress, [](int& code) {
        if (code == 'n') code = 10;
        if (code == 'q') code = 8;
    });
    Type("n");
    EXPECT_EQ(box().Text(), u"Ab\U0001F600#\r\n");
    Type("zq");
    EXPECT_EQ(box().Text(), u"Ab\U0001F600#\r\n");

    // Without events nobody is asked, so nothing is swallowed.
    box().SetUseEvents(false);
    Type("x");
    EXPECT_EQ(box().Text(), u"Ab\U0001F600#\r\nx");
}

TEST_F(UniTextTest, KeyDownAndKeyUpReportVirtualKeys) {
    std::vector<std::pair<int, int>> downs, ups;
    QObject::connect(&box(), &UniText::KeyDown, [&](int k, int s) { downs.emplace_back(k, s); });
    QObject::connect(&box(), &UniText::KeyUp, [&](int k, int s) { ups.emplace_back(k, s); });
    Key(Qt::Key_A, Qt::ShiftModifier);
    Key(Qt::Key_Left, Qt::ControlModifier);
    // The modifier keys come and go as keys of their own.
    EXPECT_EQ(downs, (std::vector<std::pair<int, int>>{{0x10, 1}, {0x41, 1}, {0x11, 2}, {0x25, 2}}));
    EXPECT_EQ(ups, (std::vector<std::pair<int, int>>{{0x41, 1}, {0x10, 0}, {0x25, 2}, {0x11, 0}}));
}

TEST_F(UniTextTest, MaxLengthLimitsTypingNotTheProgram) {
    for (bool multi : {false, true}) {
        SCOPED_TRACE(multi);
        box().SetMultiLine(multi);
        editor()->setFocus();
        box().SetCaptureEnter(true);
        box().SetText(u"");
        box().SetMaxLength(4);
        Type("abc");
        Key(Qt::Key_Return);  // two units, one too many
        Type("de");
        EXPECT_EQ(box().Text(), u"abcd");

        box().SetText(u"0123456789");
        EXPECT_EQ(box().Text(), u"0123456789");
        Key(Qt::Key_End);
        Type("x");
        Key(Qt::Key_Backspace);
        Type("y");
        EXPECT_EQ(box().Text(), u"012345678");

        box().SetText(u"ab");
        Key(Qt::Key_End);
        QGuiApplication::clipboard()->setText(QString::fromUtf16(u"\U0001F600\U0001F600"));
        Key(Qt::Key_V, Qt::ControlModifier);
        // Only one pair fits; half of the next is not pasted.
        EXPECT_EQ(box().Text(), u"ab\U0001F600");
        box().SetMaxLength(0);
    }
}

TEST_F(UniTextTest, PasswordCharHidesASingleLine) {
    auto* line = qobject_cast<QLineEdit*>(editor());
    ASSERT_NE(line, nullptr);
    box().SetText(u"secret");
    box().SetPasswordChar(u"#?");
    EXPECT_EQ(box().PasswordChar(), u"#");
    EXPECT_EQ(line->displayText(), "######");
    EXPECT_EQ(box().Text(), u"secret");
    box().SetPasswordChar(u"●");
    EXPECT_EQ(line->displayText(), QString::fromUtf16(u"●●●●●●"));
    box().SetPasswordChar(u"");
    EXPECT_EQ(line->displayText(), "secret");
}

TEST_F(UniTextTest, ChangeFollowsEveryEditButNotARebuild) {
    int changes = 0, updates = 0;
    QObject::connect(&box(), &UniText::Update, [&] {
        EXPECT_EQ(updates, changes);
        ++updates;
    });
    QObject::connect(&box(), &UniText::Change, [&] { ++changes; });
    Type("ab");
    EXPECT_EQ(changes, 2);
    box().SetText(u"set");
    EXPECT_EQ(changes, 3);
    box().SetMultiLine(true);
    box().SetAlignment(2);
    box().SetFontBold(true);
    EXPECT_EQ(changes, 3);
    editor()->setFocus();
    Type("c");
    EXPECT_EQ(changes, 4);
    box().SetUseEvents(false);
    Type("d");
    box().SetText(u"quiet");
    EXPECT_EQ(changes, 4);
    EXPECT_EQ(updates, 4);
}

TEST_F(UniTextTest, UndoAndModified) {
    for (bool multi : {false, true}) {
        SCOPED_TRACE(multi);
        box().SetMultiLine(multi);
        editor()->setFocus();
        box().SetText(u"base");
        EXPECT_FALSE(box().Modified());
        EXPECT_FALSE(box().CanUndo());
        Key(Qt::Key_End);
        Type("x");
        EXPECT_TRUE(box().Modified());
        EXPECT_TRUE(box().CanUndo());
        box().Undo();
        EXPECT_EQ(box().Text(), u"base");
        Type("y");
        box().SetSel(1, 2);
        box().ClearUndo();
        EXPECT_FALSE(box().CanUndo());
        EXPECT_EQ(box().Text(), u"basey");
        EXPECT_EQ(box().SelText(), u"a");
        EXPECT_TRUE(box().Modified());
    }
}

TEST_F(UniTextTest, UndoGivesBackTheExactLineEndings) {
    MultiLine();
    box().SetCaptureEnter(true);
    box().SetText(u"a\nb\rc");
    box().SetSel(1, 1);  // remove the LF
    Key(Qt::Key_Delete);
    EXPECT_EQ(box().Text(), u"ab\rc");
    Key(Qt::Key_End, Qt::ControlModifier);
    Key(Qt::Key_Return);
    Type("d");
    EXPECT_EQ(box().Text(), u"ab\rc\r\nd");
    box().Undo();  // the d
    box().Undo();  // the Enter
    EXPECT_EQ(box().Text(), u"ab\rc");
    box().Undo();
    EXPECT_EQ(box().Text(), u"a\nb\rc");
    auto* edit = qobject_cast<QPlainTextEdit*>(editor());
    ASSERT_NE(edit, nullptr);
    edit->redo();  // as the editor's own menu does
    EXPECT_EQ(box().Text(), u"ab\rc");
    edit->undo();
    EXPECT_EQ(box().Text(), u"a\nb\rc");

    // Cutting everything and undoing it brings the lone LF back too.
    box().SetText(u"x\ny");
    box().SetSel(0, box().Length());
    Key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(box().Text(), u"");
    box().Undo();
    EXPECT_EQ(box().Text(), u"x\ny");
    // A new edit after an undo starts a history of its own.
    Key(Qt::Key_End, Qt::ControlModifier);
    Key(Qt::Key_Return);
    EXPECT_EQ(box().Text(), u"x\ny\r\n");
}

TEST_F(UniTextTest, SelectionSurvivesLosingTheFocusHiddenOrShown) {
    box().SetBackColor(QColor(200, 255, 200));
    const auto highlight = [&] { return editor()->palette().color(QPalette::Active, QPalette::Highlight); };
    for (bool multi : {false, true}) {
        SCOPED_TRACE(multi);
        box().SetMultiLine(multi);
        box().SetText(u"keep me");
        editor()->setFocus();
        box().SetSel(5, 7);
        EXPECT_NE(highlight(), QColor(200, 255, 200));
        window_.other->setFocus();
        EXPECT_EQ(box().SelText(), u"me");
        EXPECT_EQ(highlight(), QColor(200, 255, 200));
        box().SetHideSelection(false);
        EXPECT_NE(highlight(), QColor(200, 255, 200));
        box().SetHideSelection(true);
    }
}

TEST_F(UniTextTest, MouseEventsAndContextMenuCancel) {
    std::vector<std::string> seen;
    QObject::connect(&box(), &UniText::MouseDown, [&](int b, int s, int, int) {
        seen.push_back("down " + std::to_string(b) + " " + std::to_string(s));
    });
    QObject::connect(&box(), &UniText::MouseUp, [&](int b, int, int, int) { seen.push_back("up " + std::to_string(b)); });
    QObject::connect(&box(), &UniText::Click, [&](int b) { seen.push_back("click " + std::to_string(b)); });
    QObject::connect(&box(), &UniText::ContextMenu, [&](bool& cancel) {
        seen.push_back("menu");
        cancel = true;
    });
    QTest::mouseClick(editor(), Qt::LeftButton, Qt::ShiftModifier, QPoint(3, 3));
    QTest::mouseClick(editor(), Qt::RightButton, Qt::NoModifier, QPoint(3, 3));
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(3, 3), editor()->mapToGlobal(QPoint(3, 3)));
    QCoreApplication::sendEvent(editor(), &menu);
    EXPECT_TRUE(menu.isAccepted());
    EXPECT_EQ(seen, (std::vector<std::string>{"down 1 1", "up 1", "click 1", "down 2 0", "up 2", "click 2", "menu"}));
}

class UniTextFileTest : public UniTextTest {
protected:
    void SetUp() override {
        UniTextTest::SetUp();
        dir_ = fs::temp_directory_path() / ("corvane_unitext_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Path(const char* name) const { return (dir_ / name).string(); }
    fs::path dir_;
};

TEST_F(UniTextFileTest, LoadAndSaveKeepBomAndText) {
    box().SetMultiLine(true);
    int changes = 0;
    QObject::connect(&box(), &UniText::Change, [&] {
        ++changes;
        EXPECT_EQ(box().BOM(), kEncodingUtf16BE);  // stored before the text arrives
    });
    std::ofstream(Path("be.txt"), std::ios::binary) << std::string("\xFE\xFF\x00\x41\xD8\x3D\xDE\x00", 8);
    ASSERT_TRUE(box().LoadFile(Path("be.txt"), 1));
    EXPECT_EQ(box().Text(), u"A\U0001F600");
    EXPECT_EQ(changes, 1);

    box().SetText(u"Zeile 1\r\nZeile 2 \U0001D11E");
    ASSERT_TRUE(box().SaveFile(Path("out.txt"), kEncodingUtf16BE, false));
    EXPECT_EQ(box().BOM(), kEncodingUtf16BE);
    box().SetText(u"other");
    ASSERT_TRUE(box().LoadFile(Path("out.txt"), 0));
    EXPECT_EQ(box().Text(), u"Zeile 1\r\nZeile 2 \U0001D11E");
}

TEST_F(UniTextFileTest, FailuresChangeNeitherTextNorBom) {
    box().SetText(u"kept");
    box().SetBOM(65001);
    EXPECT_FALSE(box().LoadFile(Path("missing.txt"), 1));
    EXPECT_FALSE(box().LoadFile("", 1));
    EXPECT_FALSE(box().SaveFile(Path("no/dir/x.txt"), 1200, true));
    EXPECT_FALSE(box().SaveFile(Path("x.txt"), 4711, true));
    EXPECT_EQ(box().Text(), u"kept");
    EXPECT_EQ(box().BOM(), 65001);

    box().SetText(u"");
    EXPECT_FALSE(box().SaveFile(Path("empty.txt"), 65001, true));
    EXPECT_FALSE(fs::exists(Path("empty.txt")));
    EXPECT_EQ(box().BOM(), 65001);
}

}  // namespace
}  // namespace corvane
