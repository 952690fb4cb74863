// The key generator's window under a dark desktop palette: captions, the
// greyed file type, the delimiter colours and the busy button stay readable.
#include "keygen/window/form1.hpp"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
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
    Form1Hooks hooks;
    hooks.root = folder / "app";
    hooks.fallbackRoot = folder / "fallback";
    hooks.messages = &messages;
    hooks.openFolder = [](const QUrl&) {};
    Form1 form(hooks);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(UnreadableTexts(&form), QString());

    // A short comment turns the delimiter box red; a run turns the button busy.
    form.findChild<UniText*>(QStringLiteral("UniText1"))->SetText(u"s");
    form.findChild<QLineEdit*>(QStringLiteral("Text3"))->setText(QStringLiteral("64"));
    form.findChild<QLineEdit*>(QStringLiteral("Text4"))->setText(QStringLiteral("48"));
    form.findChild<QRadioButton*>(QStringLiteral("Option4"))->setChecked(true);
    form.findChild<QComboBox*>(QStringLiteral("Combo4"))->setEditText(QStringLiteral("2"));
    EXPECT_EQ(UnreadableTexts(&form), QString());
    auto* generate = form.findChild<QPushButton*>(QStringLiteral("Command1"));
    ASSERT_NE(generate, nullptr);
    BusyButtonWatch watch(generate);
    generate->click();
    ASSERT_FALSE(form.Busy());
    EXPECT_GT(watch.disabledBusyLooks, 0);
    EXPECT_EQ(watch.faults, QString());
    EXPECT_EQ(UnreadableTexts(&form), QString());
}

}  // namespace
}  // namespace corvane::keygen
