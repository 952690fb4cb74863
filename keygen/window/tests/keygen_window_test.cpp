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
#include <QSemaphore>
#include <QThread>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <atomic>
#include <filesystem>
#include <regex>
#include <tuple>

#include "core/code_page.hpp"
#include "core/image_decoder.hpp"
#include "core/platform.hpp"
#include "keygen/window/window_testing.hpp"
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

// Presses "Generate OTP Keys" and waits for the batch, if one started, to end.
void Generate(KeygenWindow& form) {
    QSignalSpy finished(&form, &KeygenWindow::runFinished);
    form.generateButton()->click();
    if (form.Busy()) {
        EXPECT_TRUE(finished.wait(60000));
    }
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

    std::unique_ptr<KeygenWindow> Open() {
        KeygenWindowHooks hooks;
        hooks.root = root;
        hooks.fallbackRoot = fallback;
        hooks.messages = &messages;
        if (today) hooks.today = [d = *today] { return d; };
        hooks.openFolder = [this](const QUrl& url) { opened.push_back(url); };
        return std::make_unique<KeygenWindow>(hooks);
    }
};

// Small numbered keys in the series "s".
void SetSmallNumberedRun(KeygenWindow& form, const QString& count) {
    form.seriesBox()->SetText(u"s");
    form.widthBox()->setText("64");
    form.heightBox()->setText("48");
    form.numberNaming()->setChecked(true);
    form.countBox()->setEditText(count);
}

std::vector<QString> StatusLines(KeygenWindow& form, const std::function<void()>& run) {
    std::vector<QString> lines;
    auto* status = form.statusBox();
    auto c = QObject::connect(status, &QLineEdit::textChanged, [&lines](const QString& t) { lines.push_back(t); });
    run();
    QObject::disconnect(c);
    return lines;
}

TEST(KeygenWindow, OpensOnTodayWithEveryControl) {
    Scene s;
    auto form = s.Open();
    const CivilDate today = Today();
    EXPECT_EQ(form->windowTitle(), "Corvane-[Generate Keys]");
    EXPECT_EQ(form->seriesBox()->Text(), FormatDate(today));
    EXPECT_EQ(form->yearBox()->currentText().toInt(), today.year);
    EXPECT_EQ(form->monthBox()->currentText().toInt(), today.month);
    EXPECT_EQ(form->dayBox()->currentText().toInt(), today.day);
    EXPECT_EQ(form->monthBox()->count(), 12);
    EXPECT_EQ(form->dayBox()->count(), 31);

    auto* count = form->countBox();
    ASSERT_EQ(count->count(), 51);
    EXPECT_EQ(count->itemText(0), "1");
    EXPECT_EQ(count->itemText(1), "10");
    EXPECT_EQ(count->itemText(50), "500");
    EXPECT_EQ(count->currentText(), "1");

    // The source buttons top to bottom, with their source indexes.
    const std::vector<std::tuple<KeySource, QString, QString>> sources = {
        {KeySource::MersenneTwister, "Option6(0)", "Mersenne Twister"},
        {KeySource::Isaac, "Option6(4)", "ISAAC"},
        {KeySource::RtlGenRandom, "Option6(1)", "RtlGenRandom"},
        {KeySource::CryptGenRandom, "Option6(2)", "CryptGenRandom"},
        {KeySource::Rnd, "Option6(3)", "Rnd()"}};
    int lastY = -1;
    form->show();
    for (const auto& [source, name, caption] : sources) {
        auto* b = form->sourceButton(source);
        EXPECT_EQ(b->objectName(), name);
        EXPECT_EQ(b->text(), caption);
        EXPECT_FALSE(b->toolTip().isEmpty()) << caption.toStdString();
        EXPECT_GT(b->y(), lastY) << caption.toStdString();
        lastY = b->y();
    }
    EXPECT_TRUE(form->sourceButton(KeySource::MersenneTwister)->isChecked());
    EXPECT_EQ(form->sourceButton(KeySource::MersenneTwister)->toolTip(),
              "Mersenne Twister DLL Function (Recommended).");
    EXPECT_EQ(form->sourceButton(KeySource::CryptGenRandom)->toolTip(), "Microsoft CryptGenRandom Function.");
    EXPECT_TRUE(form->dateNaming()->isChecked());
    EXPECT_EQ(form->numberNaming()->text(), "Key Number");
    EXPECT_EQ(form->widthBox()->text(), "1600");
    EXPECT_EQ(form->heightBox()->text(), "1200");

    // Keys are PNG whatever is chosen: the other type cannot be chosen and says why.
    EXPECT_TRUE(form->pngOption()->isChecked());
    EXPECT_FALSE(form->bmpOption()->isEnabled());
    EXPECT_EQ(form->bmpOption()->toolTip(), "Keys are always saved as PNG.");

    EXPECT_EQ(form->delimitersBox()->BackColor(), QColor(224, 224, 224));
    auto* generate = form->generateButton();
    EXPECT_EQ(Caption(generate->text()), "Generate OTP Keys");
    EXPECT_EQ(BackColorOf(generate), QColor(208, 218, 227));
    EXPECT_EQ(form->previewBox()->size(), QSize(500, 500));
    EXPECT_TRUE(form->previewBox()->IsEmpty());
    const std::vector<std::pair<QLabel*, QString>> labels = {
        {form->seriesLabel(), "Key Series Name:"}, {form->countLabel(), "Number of Keys to Create:"},
        {form->startDateLabel(), "Start Date:"},   {form->yearLabel(), "Year"},
        {form->monthLabel(), "Month"},             {form->dayLabel(), "Day"},
        {form->sizeLabel(), "Key Pixel Size:"},    {form->byLabel(), "X"},
        {form->pixelsLabel(), "Pixels"},           {form->delimitersLabel(), "Key Delimiters:"},
        {form->statusLabel(), "Status:"},          {form->keyTimeLabel(), ""}};
    for (const auto& [label, caption] : labels) EXPECT_EQ(Caption(label->text()), caption) << caption.toStdString();
    const std::vector<std::pair<QGroupBox*, QString>> frames = {{form->fileTypeFrame(), "Key File Type:"},
                                                                {form->namingFrame(), "Key Naming Option:"},
                                                                {form->sourceFrame(), "Random Number Generator:"}};
    for (const auto& [frame, caption] : frames) EXPECT_EQ(Caption(frame->title()), caption);
    EXPECT_EQ(form->statusBox()->text(), "");

    // The first key, as the window opens, is named by today's date.
    form->widthBox()->setText("16");
    form->heightBox()->setText("12");
    Generate(*form);
    const std::string series = FormatDateAscii(today);
    EXPECT_TRUE(s.messages.shown.empty());
    EXPECT_TRUE(FileExists(s.root + "/Keys/" + series + "/" + series + ".png"));
}

TEST(KeygenWindow, NumberedBatchWithEverySource) {
    for (int source = 0; source < kKeySourceCount; ++source) {
        SCOPED_TRACE(source);
        Scene s;
        auto form = s.Open();
        SetSmallNumberedRun(*form, "3");
        form->sourceButton(static_cast<KeySource>(source))->setChecked(true);
        auto* generate = form->generateButton();
        std::vector<std::pair<bool, QColor>> buttonDuringRun;
        auto* status = form->statusBox();
        QObject::connect(status, &QLineEdit::textChanged,
                         [&] { buttonDuringRun.emplace_back(generate->isEnabled(), BackColorOf(generate)); });
        const auto lines = StatusLines(*form, [&] { Generate(*form); });

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
                EXPECT_EQ(form->delimitersBox()->Text(), comment);
                EXPECT_EQ(comment.size(), 28u);
            }
        }
        EXPECT_EQ(form->delimitersBox()->BackColor(), QColor(225, 255, 225));
        EXPECT_EQ(form->previewBox()->Grid().width, 500);
        EXPECT_EQ(form->previewBox()->Grid().height, 375);
        EXPECT_TRUE(std::regex_match(form->keyTimeLabel()->text().toStdString(),
                                     std::regex(R"([0-9]{1,3}(,[0-9]{3})*ms)")));

        auto* progress = form->progressBar();
        EXPECT_FALSE(progress->isHidden());
        EXPECT_EQ(progress->value(), 3);
        EXPECT_EQ(progress->maximum(), 3);
        auto* link = form->folderLink();
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
    auto* generate = form->generateButton();
    auto* status = form->statusBox();

    // An existing key is never replaced: nothing is made, and the status
    // keeps the reason after the message box is gone.
    const std::u16string exists =
        u"Key file already exists and is never overwritten: " + Utf8ToText(folder + "/00002.png");
    const auto lines = StatusLines(*form, [&] { Generate(*form); });
    ASSERT_EQ(s.messages.shown.size(), 1u);
    EXPECT_EQ(s.messages.shown[0], (RecordingMessageBoxes::Shown{MessageIcon::Information, exists}));
    EXPECT_EQ(lines, std::vector<QString>{"Not started: " + Q(exists)});
    EXPECT_EQ(ReadBytes(folder + "/00002.png"), "an older key");
    EXPECT_FALSE(FileExists(folder + "/00001.png"));
    EXPECT_TRUE(generate->isEnabled());
    EXPECT_EQ(BackColorOf(generate), QColor(208, 218, 227));
    EXPECT_TRUE(form->previewBox()->IsEmpty());
    EXPECT_TRUE(form->progressBar()->isHidden());

    s.messages.shown.clear();
    form->widthBox()->setText("abc");
    Generate(*form);
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
    Generate(*blocked);
    ASSERT_EQ(full.messages.shown.size(), 1u);
    EXPECT_EQ(full.messages.shown[0].icon, MessageIcon::Critical);
    EXPECT_EQ(blocked->statusBox()->text(), "Stopped. - " + Q(full.messages.shown[0].text));
    EXPECT_TRUE(blocked->generateButton()->isEnabled());
    EXPECT_TRUE(blocked->folderLink()->isHidden());
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
        auto* years = form->yearBox();
        ASSERT_EQ(years->count(), c.last - c.first + 1);
        EXPECT_EQ(years->itemText(0).toInt(), c.first);
        EXPECT_EQ(years->itemText(years->count() - 1).toInt(), c.last);
        EXPECT_EQ(years->currentText().toInt(), c.today.year);
        EXPECT_EQ(form->monthBox()->currentText().toInt(), c.today.month);
        EXPECT_EQ(form->dayBox()->currentText().toInt(), c.today.day);
        EXPECT_EQ(form->seriesBox()->Text(), FormatDate(c.today));
    }

    // Beyond the listed years, the first key still takes today's date.
    Scene late;
    late.today = CivilDate{2061, 3, 4};
    auto form = late.Open();
    form->widthBox()->setText("8");
    form->heightBox()->setText("8");
    Generate(*form);
    EXPECT_TRUE(late.messages.shown.empty());
    EXPECT_TRUE(FileExists(late.root + "/Keys/2061-03-04/2061-03-04.png"));
}

TEST(KeygenWindow, ClosingDuringABatchStopsAfterTheCurrentKey) {
    Scene s;
    auto form = s.Open();
    SetSmallNumberedRun(*form, "10");
    form->show();
    // The batch waits before its third key until the window has been asked
    // to close, so that the close lands between two keys.
    QSemaphore closeAsked;
    int keysStarted = 0;  // counted on the worker
    KeygenWindowTesting::SetBetweenKeys(*form, [&] {
        if (++keysStarted == 3) closeAsked.tryAcquire(1, 30000);
    });
    QObject::connect(form->progressBar(), &QProgressBar::valueChanged, form.get(), [&](int saved) {
        if (saved != 2) return;
        EXPECT_FALSE(form->close());  // not while a key is being made
        closeAsked.release();
    });
    QSignalSpy finished(form.get(), &KeygenWindow::runFinished);
    form->generateButton()->click();
    ASSERT_TRUE(finished.count() > 0 || finished.wait(60000));

    const std::string folder = s.root + "/Keys/s";
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->Busy());
    EXPECT_TRUE(s.messages.shown.empty());
    EXPECT_EQ(form->statusBox()->text(), "Stopped. Key(s) Saved to: " + QString::fromStdString(folder));
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
    QWidget* w = form->seriesBox()->Editor();
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
    form->widthBox()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_G, Qt::AltModifier);
    for (int i = 0; i < 50 && !FileExists(s.root + "/Keys/s/00001.png"); ++i) QTest::qWait(50);
    EXPECT_TRUE(FileExists(s.root + "/Keys/s/00001.png"));
}

// A key that cannot be saved under the program's folder goes below the
// home folder, and the status says so in those words.
TEST(KeygenWindow, KeysSavedBelowTheHomeFolderSaySo) {
    Scene s;
    ASSERT_TRUE(CreateFolders(s.root));
    WriteBytes(s.root + "/Keys", "a file where the Keys folder should be");
    auto form = s.Open();
    SetSmallNumberedRun(*form, "1");
    Generate(*form);
    const std::string folder = s.fallback + "/Keys/s";
    EXPECT_TRUE(FileExists(folder + "/00001.png"));
    EXPECT_TRUE(s.messages.shown.empty());
    EXPECT_EQ(form->statusBox()->text(),
              "Completed. Key(s) Saved to the home folder: " + QString::fromStdString(folder));
    EXPECT_EQ(form->KeyFolder(), folder);
}

// Counts the paint events of a widget.
struct PaintCounter : QObject {
    std::atomic<int> count{0};
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++count;
        return QObject::eventFilter(watched, event);
    }
};

// The batch runs off the window's thread: held between two keys, the window
// still repaints and moves, and its button stays locked until the end.
TEST(KeygenWindow, RepaintsAndMovesWhileABatchRuns) {
    Scene s;
    auto form = s.Open();
    SetSmallNumberedRun(*form, "3");
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QThread* const windowThread = QThread::currentThread();
    std::atomic<bool> offTheWindowsThread{true};
    QSemaphore resume;
    int keysStarted = 0;  // counted on the worker
    KeygenWindowTesting::SetBetweenKeys(*form, [&] {
        if (QThread::currentThread() == windowThread) offTheWindowsThread = false;
        if (++keysStarted == 2) resume.tryAcquire(1, 30000);
    });
    PaintCounter paints;
    form->installEventFilter(&paints);
    QSignalSpy finished(form.get(), &KeygenWindow::runFinished);
    form->generateButton()->click();

    QTRY_COMPARE(form->progressBar()->value(), 1);
    EXPECT_TRUE(form->Busy());
    EXPECT_FALSE(form->generateButton()->isEnabled());
    const int paintedBefore = paints.count;
    const QPoint moved = form->pos() + QPoint(40, 30);
    form->move(moved);
    form->update();
    QTRY_VERIFY(paints.count > paintedBefore);
    EXPECT_EQ(form->pos(), moved);
    EXPECT_TRUE(form->Busy());
    EXPECT_FALSE(form->generateButton()->isEnabled());

    resume.release();
    ASSERT_TRUE(finished.count() > 0 || finished.wait(60000));
    EXPECT_TRUE(offTheWindowsThread);
    EXPECT_EQ(form->progressBar()->value(), 3);
    EXPECT_TRUE(form->generateButton()->isEnabled());
}

// A count typed into the box is the count made, even where the list holds
// a longer number that starts the same ("3" and "30").
TEST(KeygenWindow, TypedCountIsTheNumberOfKeysMade) {
    Scene s;
    auto form = s.Open();
    SetSmallNumberedRun(*form, "1");
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QLineEdit* typed = form->countBox()->lineEdit();
    typed->setFocus();
    typed->selectAll();
    QTest::keyClicks(typed, "3");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_FALSE(typed->hasFocus());
    EXPECT_EQ(form->countBox()->currentText(), "3");

    Generate(*form);
    std::vector<std::string> made;
    for (const auto& e : fs::directory_iterator(s.root + "/Keys/s")) made.push_back(e.path().filename().string());
    std::sort(made.begin(), made.end());
    EXPECT_EQ(made, (std::vector<std::string>{"00001.png", "00002.png", "00003.png"}));
    EXPECT_EQ(form->progressBar()->maximum(), 3);
}

// The status and the bar count the keys saved: whenever the bar moves, the
// status already names the same key. The button's caption keeps its font.
TEST(KeygenWindow, StatusAndBarAgreeOnTheKeysSaved) {
    Scene s;
    auto form = s.Open();
    SetSmallNumberedRun(*form, "3");
    form->show();
    const QFontInfo captionBefore(form->generateButton()->font());
    std::vector<std::pair<int, std::string>> seen;
    QObject::connect(form->progressBar(), &QProgressBar::valueChanged, form.get(), [&](int value) {
        if (value > 0) seen.emplace_back(value, form->statusBox()->text().toStdString());
    });
    Generate(*form);
    EXPECT_EQ(seen, (std::vector<std::pair<int, std::string>>{{1, "1 of 3 - Percent Complete: 33%"},
                                                          {2, "2 of 3 - Percent Complete: 67%"},
                                                          {3, "3 of 3 - Percent Complete: 100%"}}));
    const QFontInfo captionAfter(form->generateButton()->font());
    EXPECT_EQ(captionAfter.family(), captionBefore.family());
    EXPECT_EQ(captionAfter.pointSizeF(), captionBefore.pointSizeF());
}

// A refused batch leaves nothing of the batch before it that could be read
// as its own: no "3 of 3" bar, no link to the last folder.
TEST(KeygenWindow, RefusedBatchClearsTheLastBatchsProgress) {
    Scene s;
    auto form = s.Open();
    SetSmallNumberedRun(*form, "3");
    form->show();
    Generate(*form);
    ASSERT_FALSE(form->progressBar()->isHidden());
    ASSERT_FALSE(form->folderLink()->isHidden());

    Generate(*form);  // the same names again: refused
    ASSERT_EQ(s.messages.shown.size(), 1u);
    EXPECT_TRUE(form->statusBox()->text().startsWith("Not started: Key file already exists"));
    EXPECT_TRUE(form->progressBar()->isHidden());
    EXPECT_TRUE(form->folderLink()->isHidden());
    EXPECT_TRUE(form->KeyFolder().empty());
    emit form->folderLink()->linkActivated("folder");
    EXPECT_TRUE(s.opened.empty());
}

}  // namespace
}  // namespace corvane::keygen
