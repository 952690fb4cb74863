// The key generator's window driven as a user drives it: settings chosen,
// "Generate OTP Keys" pressed, files and controls read back.
#include "keygen/window/keygen_window.hpp"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QUrl>

#include <filesystem>
#include <regex>

#include "core/code_page.hpp"
#include "core/image_decoder.hpp"
#include "core/platform.hpp"
#include "test_support.hpp"
#include "widgets/message_boxes.hpp"
#include "widgets/picture_box.hpp"
#include "widgets/uni_text.hpp"
#include "widgets/window_style.hpp"

namespace corvane::keygen {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

QString Q(std::u16string_view t) { return QString::fromUtf16(t.data(), static_cast<qsizetype>(t.size())); }

template <typename T>
T* Control(QWidget& form, const QString& name) {
    T* c = form.findChild<T*>(name);
    EXPECT_NE(c, nullptr) << name.toStdString();
    return c;
}

// A caption as it reads on screen: the mnemonic marker is not shown.
QString Caption(const QString& text) { return QString(text).remove(QLatin1Char('&')); }

struct Scene {
    TempFolder folder;
    std::string root = folder / "app";
    std::string fallback = folder / "fallback";
    RecordingMessageBoxes messages;
    std::optional<CivilDate> today;
    std::vector<QUrl> opened;

    std::unique_ptr<Form1> Open() {
        Form1Hooks hooks;
        hooks.root = root;
        hooks.fallbackRoot = fallback;
        hooks.messages = &messages;
        if (today) hooks.today = [d = *today] { return d; };
        hooks.openFolder = [this](const QUrl& url) { opened.push_back(url); };
        return std::make_unique<Form1>(hooks);
    }
};

// Small numbered keys in the series "s".
void SetSmallNumberedRun(Form1& form, const QString& count) {
    Control<UniText>(form, "UniText1")->SetText(u"s");
    Control<QLineEdit>(form, "Text3")->setText("64");
    Control<QLineEdit>(form, "Text4")->setText("48");
    Control<QRadioButton>(form, "Option4")->setChecked(true);
    Control<QComboBox>(form, "Combo4")->setEditText(count);
}

std::vector<QString> StatusLines(Form1& form, const std::function<void()>& run) {
    std::vector<QString> lines;
    auto* status = Control<QLineEdit>(form, "Text2");
    auto c = QObject::connect(status, &QLineEdit::textChanged, [&lines](const QString& t) { lines.push_back(t); });
    run();
    QObject::disconnect(c);
    return lines;
}

TEST(KeygenWindow, OpensOnTodayWithTheDesignsControls) {
    Scene s;
    auto form = s.Open();
    const CivilDate today = Today();
    EXPECT_EQ(form->windowTitle(), "Corvane-[Generate Keys]");
    EXPECT_EQ(Control<UniText>(*form, "UniText1")->Text(), FormatDate(today));
    EXPECT_EQ(Control<QComboBox>(*form, "Combo1")->currentText().toInt(), today.year);
    EXPECT_EQ(Control<QComboBox>(*form, "Combo2")->currentText().toInt(), today.month);
    EXPECT_EQ(Control<QComboBox>(*form, "Combo3")->currentText().toInt(), today.day);
    EXPECT_EQ(Control<QComboBox>(*form, "Combo2")->count(), 12);
    EXPECT_EQ(Control<QComboBox>(*form, "Combo3")->count(), 31);

    auto* count = Control<QComboBox>(*form, "Combo4");
    ASSERT_EQ(count->count(), 51);
    EXPECT_EQ(count->itemText(0), "1");
    EXPECT_EQ(count->itemText(1), "10");
    EXPECT_EQ(count->itemText(50), "500");
    EXPECT_EQ(count->currentText(), "1");

    // The source buttons top to bottom, with their source indexes.
    const std::vector<std::pair<QString, QString>> sources = {
        {"Option6(0)", "Mersenne Twister"}, {"Option6(4)", "ISAAC"},         {"Option6(1)", "RtlGenRandom"},
        {"Option6(2)", "CryptGenRandom"},   {"Option6(3)", "Rnd()"}};
    int lastY = -1;
    form->show();
    for (const auto& [name, caption] : sources) {
        auto* b = Control<QRadioButton>(*form, name);
        EXPECT_EQ(b->text(), caption);
        EXPECT_FALSE(b->toolTip().isEmpty()) << caption.toStdString();
        EXPECT_GT(b->y(), lastY) << caption.toStdString();
        lastY = b->y();
    }
    EXPECT_TRUE(Control<QRadioButton>(*form, "Option6(0)")->isChecked());
    EXPECT_EQ(Control<QRadioButton>(*form, "Option6(0)")->toolTip(), "Mersenne Twister DLL Function (Recommended).");
    EXPECT_EQ(Control<QRadioButton>(*form, "Option6(2)")->toolTip(), "Microsoft CryptGenRandom Function.");
    EXPECT_TRUE(Control<QRadioButton>(*form, "Option3")->isChecked());
    EXPECT_EQ(Control<QRadioButton>(*form, "Option4")->text(), "Key Number");
    EXPECT_EQ(Control<QLineEdit>(*form, "Text3")->text(), "1600");
    EXPECT_EQ(Control<QLineEdit>(*form, "Text4")->text(), "1200");

    // Keys are PNG whatever is chosen: the other type cannot be chosen and says why.
    EXPECT_TRUE(Control<QRadioButton>(*form, "Option1")->isChecked());
    EXPECT_FALSE(Control<QRadioButton>(*form, "Option2")->isEnabled());
    EXPECT_EQ(Control<QRadioButton>(*form, "Option2")->toolTip(), "Keys are always saved as PNG.");

    EXPECT_EQ(Control<UniText>(*form, "Text1")->BackColor(), QColor(224, 224, 224));
    auto* generate = Control<QPushButton>(*form, "Command1");
    EXPECT_EQ(Caption(generate->text()), "Generate OTP Keys");
    EXPECT_EQ(BackColorOf(generate), QColor(208, 218, 227));
    EXPECT_EQ(Control<PictureBox>(*form, "Picture2")->size(), QSize(500, 500));
    EXPECT_TRUE(Control<PictureBox>(*form, "Picture2")->IsEmpty());
    const std::vector<std::pair<QString, QString>> labels = {
        {"Label6", "Key Series Name:"}, {"Label4", "Number of Keys to Create:"}, {"Label5", "Start Date:"},
        {"Label1", "Year"},             {"Label2", "Month"},                     {"Label3", "Day"},
        {"Label8", "Key Pixel Size:"},  {"Label9", "X"},                         {"Label10", "Pixels"},
        {"Label11", "Key Delimiters:"}, {"Label7", "Status:"},                   {"Label12", ""}};
    for (const auto& [name, caption] : labels) EXPECT_EQ(Caption(Control<QLabel>(*form, name)->text()), caption);
    const std::vector<std::pair<QString, QString>> frames = {{"Frame1", "Key File Type:"},
                                                             {"Frame2", "Key Naming Option:"},
                                                             {"Frame3", "Random Number Generator:"}};
    for (const auto& [name, caption] : frames) EXPECT_EQ(Caption(Control<QGroupBox>(*form, name)->title()), caption);
    EXPECT_EQ(Control<QLineEdit>(*form, "Text2")->text(), "");

    // The first key, as the window opens, is named by today's date.
    Control<QLineEdit>(*form, "Text3")->setText("16");
    Control<QLineEdit>(*form, "Text4")->setText("12");
    generate->click();
    const std::string series = FormatDateAscii(today);
    EXPECT_TRUE(s.messages.shown.empty());
    EXPECT_TRUE(FileExists(s.root + "/Keys/" + series + "/" + series + ".png"));
}

TEST(KeygenWindow, NumberedBatchWithEverySource) {
    for (const char* name : {"Option6(0)", "Option6(1)", "Option6(2)", "Option6(3)", "Option6(4)"}) {
        SCOPED_TRACE(name);
        Scene s;
        auto form = s.Open();
        SetSmallNumberedRun(*form, "3");
        Control<QRadioButton>(*form, name)->setChecked(true);
        auto* generate = Control<QPushButton>(*form, "Command1");
        std::vector<std::pair<bool, QColor>> buttonDuringRun;
        auto* status = Control<QLineEdit>(*form, "Text2");
        QObject::connect(status, &QLineEdit::textChanged,
                         [&] { buttonDuringRun.emplace_back(generate->isEnabled(), BackColorOf(generate)); });
        const auto lines = StatusLines(*form, [&] { generate->click(); });

        const std::string folder = s.root + "/Keys/s";
        const QString savedTo = " Key(s) Saved to: " + QString::fromStdString(folder);
        EXPECT_EQ(lines, (std::vector<QString>{"Working...", "1 of 3 - Percent Complete: 33%",
                                               "2 of 3 - Percent Complete: 67%", "3 of 3 - Percent Complete: 100%",
                                               "Completed." + savedTo}));
        ASSERT_FALSE(buttonDuringRun.empty());
        EXPECT_EQ(buttonDuringRun.front(), std::make_pair(false, QColor(150, 0, 0)));
        EXPECT_TRUE(generate->isEnabled());
        EXPECT_EQ(BackColorOf(generate), QColor(208, 218, 227));
        EXPECT_TRUE(s.messages.shown.empty());

        for (const char* file : {"00001.png", "00002.png", "00003.png"}) {
            PixelGrid grid;
            std::u16string comment;
            ASSERT_TRUE(LoadKeyGrid(folder + "/" + file, grid, comment)) << file;
            EXPECT_EQ(grid.width, 64);
            EXPECT_EQ(grid.height, 48);
            if (std::string(file) == "00003.png") {
                // The box shows the last key's comment as its file holds it.
                EXPECT_EQ(Control<UniText>(*form, "Text1")->Text(), comment);
                EXPECT_EQ(comment.size(), 28u);
            }
        }
        EXPECT_EQ(Control<UniText>(*form, "Text1")->BackColor(), QColor(225, 255, 225));
        EXPECT_EQ(Control<PictureBox>(*form, "Picture2")->Grid().width, 500);
        EXPECT_EQ(Control<PictureBox>(*form, "Picture2")->Grid().height, 375);
        EXPECT_TRUE(std::regex_match(Control<QLabel>(*form, "Label12")->text().toStdString(),
                                     std::regex(R"([0-9]{1,3}(,[0-9]{3})*ms)")));

        auto* progress = Control<QProgressBar>(*form, "KeyProgress");
        EXPECT_FALSE(progress->isHidden());
        EXPECT_EQ(progress->value(), 3);
        EXPECT_EQ(progress->maximum(), 3);
        auto* link = Control<QLabel>(*form, "KeyFolderLink");
        EXPECT_FALSE(link->isHidden());
        EXPECT_EQ(form->KeyFolder(), folder);
        emit link->linkActivated("folder");
        EXPECT_EQ(s.opened, std::vector<QUrl>{QUrl::fromLocalFile(QString::fromStdString(folder))});
    }
}

TEST(KeygenWindow, RunsThatEndEarlySaySoInTheStatus) {
    Scene s;
    const std::string folder = s.root + "/Keys/s";
    ASSERT_TRUE(CreateFolders(folder));
    WriteBytes(folder + "/00002.png", "an older key");
    auto form = s.Open();
    SetSmallNumberedRun(*form, "3");
    auto* generate = Control<QPushButton>(*form, "Command1");
    auto* status = Control<QLineEdit>(*form, "Text2");

    // An existing key is never replaced: nothing is made, and the status
    // keeps the reason after the message box is gone.
    const std::u16string exists =
        u"Key file already exists and is never overwritten: " + Utf8ToText(folder + "/00002.png");
    const auto lines = StatusLines(*form, [&] { generate->click(); });
    ASSERT_EQ(s.messages.shown.size(), 1u);
    EXPECT_EQ(s.messages.shown[0], (RecordingMessageBoxes::Shown{MessageIcon::Information, exists}));
    EXPECT_EQ(lines, std::vector<QString>{"Not started: " + Q(exists)});
    EXPECT_EQ(ReadBytes(folder + "/00002.png"), "an older key");
    EXPECT_FALSE(FileExists(folder + "/00001.png"));
    EXPECT_TRUE(generate->isEnabled());
    EXPECT_EQ(BackColorOf(generate), QColor(208, 218, 227));
    EXPECT_TRUE(Control<PictureBox>(*form, "Picture2")->IsEmpty());
    EXPECT_TRUE(Control<QProgressBar>(*form, "KeyProgress")->isHidden());

    s.messages.shown.clear();
    Control<QLineEdit>(*form, "Text3")->setText("abc");
    generate->click();
    EXPECT_EQ(status->text(), "Not started: Pixel size width is non-numeric.");

    // Neither the root nor the fallback can take the key: the run stops with
    // the reason, and the button can be pressed again.
    Scene full;
    ASSERT_TRUE(CreateFolders(full.root));
    ASSERT_TRUE(CreateFolders(full.fallback));
    WriteBytes(full.root + "/Keys", "");
    WriteBytes(full.fallback + "/Keys", "");
    auto blocked = full.Open();
    SetSmallNumberedRun(*blocked, "3");
    Control<QPushButton>(*blocked, "Command1")->click();
    ASSERT_EQ(full.messages.shown.size(), 1u);
    EXPECT_EQ(full.messages.shown[0].icon, MessageIcon::Critical);
    EXPECT_EQ(Control<QLineEdit>(*blocked, "Text2")->text(), "Stopped. - " + Q(full.messages.shown[0].text));
    EXPECT_TRUE(Control<QPushButton>(*blocked, "Command1")->isEnabled());
    EXPECT_TRUE(Control<QLabel>(*blocked, "KeyFolderLink")->isHidden());
}

TEST(KeygenWindow, TodayCanBeChosenInAnyYear) {
    struct Case {
        CivilDate today;
        int first, last;
    };
    for (const Case& c : {Case{{2061, 3, 4}, 2015, 2061}, Case{{2009, 7, 31}, 2009, 2050},
                          Case{{2015, 1, 1}, 2015, 2050}, Case{{2050, 12, 31}, 2015, 2050}}) {
        SCOPED_TRACE(c.today.year);
        Scene s;
        s.today = c.today;
        auto form = s.Open();
        auto* years = Control<QComboBox>(*form, "Combo1");
        ASSERT_EQ(years->count(), c.last - c.first + 1);
        EXPECT_EQ(years->itemText(0).toInt(), c.first);
        EXPECT_EQ(years->itemText(years->count() - 1).toInt(), c.last);
        EXPECT_EQ(years->currentText().toInt(), c.today.year);
        EXPECT_EQ(Control<QComboBox>(*form, "Combo2")->currentText().toInt(), c.today.month);
        EXPECT_EQ(Control<QComboBox>(*form, "Combo3")->currentText().toInt(), c.today.day);
        EXPECT_EQ(Control<UniText>(*form, "UniText1")->Text(), FormatDate(c.today));
    }

    // Beyond the listed years, the first key still takes today's date.
    Scene late;
    late.today = CivilDate{2061, 3, 4};
    auto form = late.Open();
    Control<QLineEdit>(*form, "Text3")->setText("8");
    Control<QLineEdit>(*form, "Text4")->setText("8");
    Control<QPushButton>(*form, "Command1")->click();
    EXPECT_TRUE(late.messages.shown.empty());
    EXPECT_TRUE(FileExists(late.root + "/Keys/2061-03-04/2061-03-04.png"));
}

TEST(KeygenWindow, ClosingDuringABatchStopsAfterTheCurrentKey) {
    Scene s;
    auto form = s.Open();
    SetSmallNumberedRun(*form, "10");
    form->show();
    auto* progress = Control<QProgressBar>(*form, "KeyProgress");
    QObject::connect(progress, &QProgressBar::valueChanged, form.get(), [&form](int saved) {
        if (saved == 2) form->close();
    });
    Control<QPushButton>(*form, "Command1")->click();

    const std::string folder = s.root + "/Keys/s";
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->Busy());
    EXPECT_TRUE(s.messages.shown.empty());
    EXPECT_EQ(Control<QLineEdit>(*form, "Text2")->text(), "Stopped. Key(s) Saved to: " + QString::fromStdString(folder));
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(folder)) left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"00001.png", "00002.png"}));

    // An idle window closes at once.
    form->show();
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(form->isVisible());
}

TEST(KeygenWindow, EveryControlCanBeReachedFromTheKeyboard) {
    Scene s;
    auto form = s.Open();
    form->show();
    // The chain that Tab follows passes the controls top to bottom.
    const std::vector<QString> expected = {
        "UniText1",   "Combo4",     "Option4",    "Option3", "Option6(0)", "Option6(4)", "Option6(1)",
        "Option6(2)", "Option6(3)", "Combo1",     "Combo2",  "Combo3",     "Text3",      "Text4",
        "Option1",    "Text1",      "Command1",   "Text2",   "KeyFolderLink"};
    std::vector<QString> chain;
    QWidget* w = Control<UniText>(*form, "UniText1")->Editor();
    for (int guard = 0; guard < 400 && chain.size() < expected.size(); ++guard, w = w->nextInFocusChain()) {
        if (!(w->focusPolicy() & Qt::TabFocus) || !w->isEnabled()) continue;
        QWidget* control = w;
        while (control->parentWidget() && control->parentWidget() != form.get() &&
               !qobject_cast<QGroupBox*>(control->parentWidget()))
            control = control->parentWidget();
        if (control == form.get() || (!chain.empty() && chain.back() == control->objectName())) continue;
        chain.push_back(control->objectName());
    }
    EXPECT_EQ(chain, expected);

    // Alt+G presses "Generate OTP Keys" (a pressed-looking moment first).
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    SetSmallNumberedRun(*form, "1");
    Control<QLineEdit>(*form, "Text3")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_G, Qt::AltModifier);
    for (int i = 0; i < 50 && !FileExists(s.root + "/Keys/s/00001.png"); ++i) QTest::qWait(50);
    EXPECT_TRUE(FileExists(s.root + "/Keys/s/00001.png"));
}

}  // namespace
}  // namespace corvane::keygen
