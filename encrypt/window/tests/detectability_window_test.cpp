// The detectability verdict beside the message: predicted off the window's
// thread after a pause in typing, and asked about before a "High" run.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "encrypt/window/encrypt_window.hpp"
#include "encrypt_scene.hpp"
#include "widgets/uni_text.hpp"
#include "widgets/window_style.hpp"

namespace corvane::encryptor {
namespace {

// Long enough, uncompressed, to show plainly on the small carrier.
std::u16string LongMessage() {
    std::u16string text;
    while (text.size() < 1000) text += u"The river under the stone bridge, at noon by the north gate. ";
    return text;
}

// The photo cropped to 400 x 300 beside it, small enough for "High"; the
// carrier given picked.
struct DetectabilityScene : Scene {
    std::unique_ptr<EncryptWindow> form;

    explicit DetectabilityScene(const char* carrier = "coffee.png") {
        PixelGrid photo;
        EXPECT_TRUE(LoadGrid(PhotoPath("coffee.png"), photo));
        PixelGrid small(400, 300);
        for (int y = 0; y < small.height; ++y)
            for (int x = 0; x < small.width; ++x) small.at(x, y) = photo.at(x + 100, y + 50);
        EXPECT_TRUE(SaveGrid(small, OutputKind::Png, images + "/small.png"));
        form = Open();
        form->carrierList()->Refresh();
        Pick(*form, carrier, "key.png");
    }
    // Types the message and waits for its verdict.
    QString Verdict(const std::u16string& message, bool compress) {
        QSignalSpy shown(form.get(), &EncryptWindow::detectabilityShown);
        form->compressCheck()->setChecked(compress);
        form->messageText()->SetText(message);
        EXPECT_TRUE(shown.wait(60000));
        while (form->predicting()) EXPECT_TRUE(shown.wait(120000));
        return form->detectabilityLabel()->text();
    }
    size_t SavedCount() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(encrypted), fs::directory_iterator()));
    }
};

TEST(Detectability, LabelFollowsTheMessageAndTheCompression) {
    DetectabilityScene s;
    QLabel* label = s.form->detectabilityLabel();
    EXPECT_EQ(label->objectName(), "Label16");
    EXPECT_TRUE(label->text().isEmpty());

    EXPECT_EQ(s.Verdict(kMessage, true), "Detectability: Low");
    EXPECT_EQ(BackColorOf(label), QColor::fromRgb(kGoodColor));
    // The figures and the longest "Low" message; the verdict is the label's.
    EXPECT_TRUE(label->toolTip().contains("Sub-Grid Delta: ")) << label->toolTip().toStdString();
    EXPECT_TRUE(label->toolTip().contains("Longest Low Message: ")) << label->toolTip().toStdString();
    EXPECT_FALSE(label->toolTip().contains("Detectability")) << label->toolTip().toStdString();

    // The same photo cropped.
    Pick(*s.form, "small.png", nullptr);
    EXPECT_EQ(s.Verdict(LongMessage(), false), "Detectability: High");
    EXPECT_EQ(BackColorOf(label), QColor::fromRgb(kBadColor));
    // Compression alone makes the same text far less visible.
    EXPECT_NE(s.Verdict(LongMessage(), true), "Detectability: High");

    // A message the carrier cannot hold has no verdict; the tooltip says why
    // without widening the row.
    EXPECT_EQ(s.Verdict(LongMessage() + LongMessage() + LongMessage(), false), "Detectability: --");
    EXPECT_EQ(label->toolTip(), "No prediction: the message is too large for the carrier");

    // No message: no verdict, and none arrives later.
    s.form->messageText()->SetText(u"");
    EXPECT_TRUE(label->text().isEmpty());
    EXPECT_FALSE(s.form->predicting());
}

TEST(Detectability, PredictsOnlyAfterAPauseAndOffTheWindowsThread) {
    DetectabilityScene s;
    QSignalSpy shown(s.form.get(), &EncryptWindow::detectabilityShown);
    for (const char16_t* typed : {u"M", u"Me", u"Mee", u"Meet"}) s.form->messageText()->SetText(typed);
    // Keystrokes only restart the pause.
    EXPECT_TRUE(s.form->predicting());
    EXPECT_TRUE(s.form->detectabilityLabel()->text().isEmpty());
    s.form->onDetectabilityPause();
    // Back at once: the verdict comes through the window's events, from the
    // prediction's own thread.
    EXPECT_EQ(shown.count(), 0);
    EXPECT_TRUE(s.form->detectabilityLabel()->text().isEmpty());
    ASSERT_TRUE(shown.wait(120000));
    EXPECT_EQ(s.form->detectabilityLabel()->text(), "Detectability: Low");
}

TEST(Detectability, AStaleResultNeverOverwritesANewerOne) {
    DetectabilityScene s("small.png");
    QSignalSpy shown(s.form.get(), &EncryptWindow::detectabilityShown);
    s.form->compressCheck()->setChecked(false);
    s.form->messageText()->SetText(LongMessage());
    s.form->onDetectabilityPause();  // "High", still running
    Pick(*s.form, "coffee.png", nullptr);
    s.form->compressCheck()->setChecked(true);
    s.form->messageText()->SetText(kMessage);
    s.form->onDetectabilityPause();  // waits for the one running
    while (s.form->predicting()) ASSERT_TRUE(shown.wait(120000));
    QTest::qWait(50);
    EXPECT_EQ(shown.count(), 1);
    EXPECT_EQ(s.form->detectabilityLabel()->text(), "Detectability: Low");
}

TEST(Detectability, HighIsAskedOnceAndNoEncryptsNothing) {
    DetectabilityScene s("small.png");
    ASSERT_EQ(s.Verdict(LongMessage(), false), "Detectability: High");
    s.messages.answer = false;
    s.form->encryptButton()->click();
    ASSERT_EQ(s.messages.questions.size(), 1u);
    EXPECT_EQ(s.messages.questions[0],
              u"Standard steganalysis will likely detect this message in this image. Use a larger or busier photo, "
              u"a shorter message, or compression. Encrypt anyway?");
    EXPECT_EQ(s.SavedCount(), 0u);
    EXPECT_TRUE(s.form->encryptButton()->isEnabled());

    // A No is asked again; a Yes holds for the same carrier and message.
    s.messages.answer = true;
    PressEncrypt(*s.form);
    EXPECT_EQ(s.messages.questions.size(), 2u);
    EXPECT_EQ(s.SavedCount(), 1u);
    EXPECT_EQ(s.ReadBack(s.form->lastResult().savedPath), LongMessage());
    PressEncrypt(*s.form);
    EXPECT_EQ(s.messages.questions.size(), 2u);
    EXPECT_EQ(s.SavedCount(), 2u);

    // A "Low" message is not asked about. (The key's record goes first: a
    // second message would be asked about as a key used twice.)
    fs::remove(s.root / "used-keys");
    Pick(*s.form, "coffee.png", nullptr);
    ASSERT_EQ(s.Verdict(kMessage, true), "Detectability: Low");
    PressEncrypt(*s.form);
    EXPECT_EQ(s.messages.questions.size(), 2u);
    EXPECT_EQ(s.SavedCount(), 3u);
}

TEST(Detectability, EncryptBeforeTheVerdictAsksInTheRun) {
    DetectabilityScene s("small.png");
    s.form->compressCheck()->setChecked(false);
    s.form->messageText()->SetText(LongMessage());
    // Pressed within the typing pause: the run predicts before it encrypts.
    s.messages.answer = false;
    PressEncrypt(*s.form);
    EXPECT_EQ(s.messages.questions.size(), 1u);
    EXPECT_EQ(s.SavedCount(), 0u);
    EXPECT_TRUE(s.form->lastResult().savedPath.empty());
    EXPECT_TRUE(s.messages.shown.empty());
    EXPECT_TRUE(s.form->encryptButton()->isEnabled());
}

}  // namespace
}  // namespace corvane::encryptor
