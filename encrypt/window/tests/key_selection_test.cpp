// What the window keeps selected when a file fails to load: a carrier or key
// that did not load is no longer used, and "Encrypt Image" asks for one
// instead of encrypting with stale pixels or wiping the wrong file. Also where
// keys are listed from, and a layout that holds still.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QSignalSpy>
#include <QTest>

#include "encrypt_scene.hpp"
#include "widgets/picture_box.hpp"
#include "widgets/uni_text.hpp"

namespace corvane::encryptor {
namespace {

std::string FirstHalfOf(const std::string& path) {
    const std::string bytes = testing::ReadBytes(path);
    return bytes.substr(0, bytes.size() / 2);
}

void ExpectNoKeySelected(const EncryptWindow& form) {
    EXPECT_TRUE(form.keyPath().empty()) << form.keyPath();
    EXPECT_TRUE(form.key().empty());
    EXPECT_TRUE(form.keyPreview()->IsEmpty());
    EXPECT_EQ(form.keySizeLabel()->text(), "");
    EXPECT_EQ(form.keyVerdictLabel()->text(), "");
    EXPECT_EQ(form.delimiterText()->Text(), u"");
}

void ExpectSavedAndReadBack(Scene& s, EncryptWindow& form) {
    PressEncrypt(form);
    ASSERT_EQ(form.lastResult().status, EncryptStatus::Saved);
    EXPECT_EQ(s.ReadBack(form.lastResult().savedPath), kMessage);
}

std::vector<std::u16string> Press(Scene& s, EncryptWindow& form) {
    s.messages.shown.clear();
    PressEncrypt(form);
    return s.Shown();
}

TEST(KeySelection, ADamagedKeyReplacesTheGoodOneAndNothingIsWiped) {
    Scene s;
    testing::WriteBytes(s.keys + "/damaged.png", FirstHalfOf(s.keys + "/key.png"));
    auto form = s.Open();
    Pick(*form, "coffee.png", "key.png");
    ASSERT_EQ(form->keyVerdictLabel()->text(), "Key OK");
    Pick(*form, nullptr, "damaged.png");
    EXPECT_TRUE(form->statusText()->toPlainText().startsWith(QStringLiteral("Cannot load the key image damaged.png: ")));
    ExpectNoKeySelected(*form);

    form->messageText()->SetText(kMessage);
    form->wipeKeyCheck()->setChecked(true);
    EXPECT_EQ(Press(s, *form), std::vector<std::u16string>{u"No Keyfile Selected."});
    EXPECT_TRUE(fs::exists(s.keys + "/damaged.png"));
    EXPECT_TRUE(fs::exists(s.keys + "/key.png"));
    EXPECT_TRUE(fs::is_empty(s.encrypted));

    // A good key picked again is used as before.
    Pick(*form, nullptr, "key.png");
    form->wipeKeyCheck()->setChecked(false);
    ExpectSavedAndReadBack(s, *form);
}

TEST(KeySelection, AfterACarrierThatFailedToLoadEncryptAsksForOne) {
    Scene s;
    testing::WriteBytes(s.images + "/damaged.png", "\x89PNG\r\n\x1a\n and nothing else");
    auto form = s.Open();
    Pick(*form, "coffee.png", "key.png");
    Pick(*form, "damaged.png", nullptr);
    EXPECT_TRUE(form->imagePath().empty());
    form->messageText()->SetText(kMessage);
    form->wipeKeyCheck()->setChecked(true);
    EXPECT_EQ(Press(s, *form), std::vector<std::u16string>{u"No Image File Selected."});
    EXPECT_TRUE(fs::exists(s.keys + "/key.png"));
    EXPECT_TRUE(fs::is_empty(s.encrypted));
}

TEST(KeySelection, KeysOfASeriesAreListedAndEncrypt) {
    Scene s;
    fs::create_directories(s.keys + "/s1");
    Scene::SaveKey(s.keys + "/s1/00001.png", s.key, kComment);
    fs::remove(s.keys + "/key.png");
    auto form = s.Open();
    EXPECT_EQ(form->keyList()->Names(), std::vector<std::string>{"s1/00001.png"});
    Pick(*form, "coffee.png", "s1/00001.png");
    EXPECT_EQ(form->keyPath(), s.keys + "/s1/00001.png");
    form->messageText()->SetText(kMessage);
    ExpectSavedAndReadBack(s, *form);
}

// The options column keeps its place while captions in it change: a score
// being worked out, its statistics, a score no longer asked for.
TEST(KeySelection, TheOptionsColumnStaysPutAsCaptionsChange) {
    Scene s;
    auto form = s.Open();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    auto* frame = form->fileTypeFrame();
    auto place = [&] {
        QTest::qWait(30);
        return QRect(frame->mapTo(form.get(), QPoint(0, 0)), frame->size());
    };
    const QRect before = place();
    form->scoreCheck()->click();
    QSignalSpy scored(form.get(), &EncryptWindow::scoreFinished);
    Pick(*form, "coffee.png", "key.png");
    EXPECT_EQ(place(), before);
    ASSERT_TRUE(scored.count() > 0 || scored.wait(60000));
    EXPECT_EQ(place(), before);
    form->scoreCheck()->click();
    EXPECT_EQ(place(), before);
}

}  // namespace
}  // namespace corvane::encryptor
