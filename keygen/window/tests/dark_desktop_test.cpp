// The key generator's window under a dark desktop palette: captions, the
// greyed file type, the delimiter colours and the busy button stay readable.
#include "keygen/window/keygen_window.hpp"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include "test_support.hpp"
#include "widgets/message_boxes.hpp"
#include "widgets/tests/readable_text.hpp"
#include "widgets/uni_text.hpp"

namespace corvane::keygen {
namespace {

using testing::BusyButtonWatch;
using testing::DarkDesktop;
using testing::UnreadableTexts;

TEST(KeygenWindowColours, EveryTextReadsUnderADarkDesktop) {
    DarkDesktop dark;
    testing::TempFolder folder;
    RecordingMessageBoxes messages;
    KeygenWindowHooks hooks;
    hooks.root = folder / "app";
    hooks.fallbackRoot = folder / "fallback";
    hooks.messages = &messages;
    hooks.openFolder = [](const QUrl&) {};
    KeygenWindow form(hooks);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(UnreadableTexts(&form), QString());

    // A short comment turns the delimiter box red; a run turns the button busy.
    form.seriesBox()->SetText(u"s");
    form.widthBox()->setText(QStringLiteral("64"));
    form.heightBox()->setText(QStringLiteral("48"));
    form.numberNaming()->setChecked(true);
    form.countBox()->setEditText(QStringLiteral("2"));
    EXPECT_EQ(UnreadableTexts(&form), QString());
    QPushButton* generate = form.generateButton();
    BusyButtonWatch watch(generate);
    QSignalSpy finished(&form, &KeygenWindow::runFinished);
    generate->click();
    ASSERT_TRUE(finished.count() > 0 || finished.wait(60000));
    ASSERT_FALSE(form.Busy());
    EXPECT_GT(watch.disabledBusyLooks, 0);
    EXPECT_EQ(watch.faults, QString());
    EXPECT_EQ(UnreadableTexts(&form), QString());
}

}  // namespace
}  // namespace corvane::keygen
