// The encryptor's windows under a dark desktop palette: every caption,
// state colour and the busy button stay readable.
#include <QCheckBox>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "encrypt/window/analysis_window.hpp"
#include "encrypt/window/batch_box.hpp"
#include "encrypt/window/encrypt_window.hpp"
#include "encrypt/window/steps_window.hpp"
#include "encrypt_scene.hpp"
#include "widgets/tests/readable_text.hpp"
#include "widgets/uni_text.hpp"
#include "widgets/window_style.hpp"

namespace corvane::encryptor {
namespace {

using testing::BusyButtonWatch;
using testing::DarkDesktop;
using testing::UnreadableTexts;

TEST(EncryptWindowColours, EveryTextReadsUnderADarkDesktop) {
    DarkDesktop dark;
    Scene s;
    Scene::SaveKey(s.keys + "/short.png", RandomGrid(40, 30, 3), kComment);
    auto form = s.Open();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    EXPECT_EQ(UnreadableTexts(form.get()), QString());

    // Each verdict colour, and the score's.
    Pick(*form, "coffee.png", "short.png");
    ASSERT_EQ(form->keyVerdictLabel()->text(), "Key NOGO");
    EXPECT_EQ(UnreadableTexts(form.get()), QString());
    Pick(*form, nullptr, "key.png");
    ASSERT_EQ(form->keyVerdictLabel()->text(), "Key OK");
    QSignalSpy scored(form.get(), &EncryptWindow::scoreFinished);
    form->scoreCheck()->click();
    Pick(*form, "coffee.png", nullptr);
    ASSERT_TRUE(scored.count() > 0 || scored.wait(60000));
    form->messageText()->SetText(kMessage);
    EXPECT_EQ(UnreadableTexts(form.get()), QString());

    BusyButtonWatch watch(form->encryptButton());
    PressEncrypt(*form);
    ASSERT_EQ(form->lastResult().status, EncryptStatus::Saved);
    EXPECT_GT(watch.busyLooks, 0);
    EXPECT_GT(watch.disabledBusyLooks, 0);
    EXPECT_EQ(watch.faults, QString());
    EXPECT_EQ(UnreadableTexts(form.get()), QString());
    // The picture for the documentation, when asked for: run with
    // CORVANE_SCREENSHOT=<file.png> (and QT_SCALE_FACTOR for a larger one).
    const QString shot = qEnvironmentVariable("CORVANE_SCREENSHOT");
    if (!shot.isEmpty()) {
        EXPECT_TRUE(form->grab().save(shot)) << shot.toStdString();
    }

    // The windows it opens.
    form->showStepsButton()->click();
    ASSERT_TRUE(form->stepsWindow() && form->stepsWindow()->isVisible());
    EXPECT_EQ(UnreadableTexts(form->stepsWindow()), QString());
    form->aboutButton()->click();
    ASSERT_TRUE(form->batchBox());
    EXPECT_EQ(UnreadableTexts(form->batchBox()), QString());
    form->analysisButton()->click();
    ASSERT_TRUE(form->analysisWindow());
    EXPECT_EQ(UnreadableTexts(form->analysisWindow()), QString());
}

}  // namespace
}  // namespace corvane::encryptor
