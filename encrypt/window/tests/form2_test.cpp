// The encryptor's window driven as a user drives it: carrier and key picked
// in the lists, options set, "Encrypt Image" pressed, the saved image read
// back by the decryptor.
#include "encrypt/window/form2.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "core/sha256.hpp"
#include "encrypt/carrier_analysis.hpp"
#include "encrypt/window/form1.hpp"
#include "encrypt_scene.hpp"
#include "widgets/picture_box.hpp"
#include "widgets/uni_text.hpp"
#include "widgets/window_style.hpp"

namespace corvane::encryptor {
namespace {

TEST(EncryptWindow, OpensOnTheWorkingFoldersWithItsDefaults) {
    Scene s;
    auto form = s.Open();
    EXPECT_EQ(form->windowTitle(), "Corvane-[Encrypt]");
    EXPECT_TRUE(fs::is_directory(s.encrypted));
    EXPECT_EQ(Control<FileList>(*form, "File1")->Path(), s.images);
    EXPECT_EQ(Control<FileList>(*form, "File2")->Path(), s.keys);
    EXPECT_EQ(Control<FileList>(*form, "File1")->Names(), std::vector<std::string>{"coffee.png"});
    EXPECT_TRUE(Control<QRadioButton>(*form, "Option1")->isChecked());
    EXPECT_TRUE(Control<QCheckBox>(*form, "Check4")->isChecked());
    EXPECT_FALSE(Control<QCheckBox>(*form, "Check2")->isChecked());
    EXPECT_FALSE(Control<QCheckBox>(*form, "Check3")->isChecked());
    EXPECT_FALSE(Control<QCheckBox>(*form, "Check5")->isChecked());
    EXPECT_EQ(Control<QLineEdit>(*form, "Text4")->text(), "1200");
    auto items = [](QComboBox* c) {
        QStringList l;
        for (int i = 0; i < c->count(); ++i) l << c->itemText(i);
        return l;
    };
    EXPECT_EQ(items(Control<QComboBox>(*form, "Combo1")), QStringList({"JP2", "JXR", "J2K", "TIFF", "WEBP"}));
    EXPECT_EQ(items(Control<QComboBox>(*form, "Combo2")),
              QStringList({"1.00:1", "0.50:1", "0.25:1", "0.20:1", "0.10:1"}));
    EXPECT_EQ(Control<QPushButton>(*form, "Command6")->text(), "Encrypt Image");
    EXPECT_EQ(Control<QLabel>(*form, "Label4")->toolTip(), "Percent of image LSBs used to store message. <5% is Good.");
    EXPECT_EQ(Control<QCheckBox>(*form, "Check5")->toolTip(), "Encodability above 90% is good.");
    EXPECT_TRUE(form->StepsViewer()->isHidden());
}

TEST(EncryptWindow, EveryOutputFormatDecryptsToTheMessage) {
    Scene s;
    auto form = s.Open();
    Pick(*form, "coffee.png", "key.png");
    EXPECT_EQ(Control<QLabel>(*form, "Label9")->text(), "600 X 400");
    EXPECT_EQ(Control<QLabel>(*form, "Label12")->text(), "Key OK");
    EXPECT_EQ(Control<UniText>(*form, "DelimiterText")->Text(), kComment);
    Control<UniText>(*form, "Text1")->SetText(kMessage);
    Control<QLineEdit>(*form, "Text3")->setText(QStringLiteral("trip-"));

    struct Case {
        const char* option;
        int combo;
        const char* ending;
    };
    const Case cases[] = {{"Option1", 0, ".png"}, {"Option2", 0, ".bmp"}, {"Option3", 0, ".jp2"},
                          {"Option3", 1, ".jxr"}, {"Option3", 2, ".j2k"}, {"Option3", 3, ".tif"},
                          {"Option3", 4, ".webp"}};
    std::vector<std::string> saved;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ending);
        Control<QRadioButton>(*form, c.option)->setChecked(true);
        Control<QComboBox>(*form, "Combo1")->setCurrentIndex(c.combo);
        Control<QPushButton>(*form, "Command6")->click();
        EXPECT_TRUE(s.messages.shown.empty()) << TextToUtf8(Shown(s.messages).front());
        const EncryptResult& r = form->LastResult();
        ASSERT_EQ(r.status, EncryptStatus::Saved) << r.saveError;
        EXPECT_EQ(fs::path(r.savedPath).parent_path(), fs::path(s.encrypted));
        EXPECT_EQ(fs::path(r.savedPath).extension(), c.ending);
        EXPECT_EQ(fs::path(r.savedPath).filename().string().rfind("trip-", 0), 0u);
        EXPECT_EQ(s.ReadBack(r.savedPath), kMessage);
        // The window says where the image went, shows the digest, and is
        // ready for the next press.
        EXPECT_TRUE(Control<QPlainTextEdit>(*form, "Text2")->toPlainText().contains(
            QStringLiteral("Saved as: ") + QString::fromStdString(r.savedPath)));
        EXPECT_EQ(Control<QLabel>(*form, "Label8")->text(), Q(UpperHex(CSHA256().SHA256(kMessage))));
        EXPECT_EQ(Control<QPushButton>(*form, "Command6")->text(), "Encrypt Image");
        EXPECT_TRUE(Control<FileList>(*form, "File1")->isEnabled());
        saved.push_back(r.savedPath);
    }
    // Seven files, none overwriting another; the inputs are untouched.
    std::sort(saved.begin(), saved.end());
    EXPECT_EQ(std::unique(saved.begin(), saved.end()), saved.end());
    EXPECT_TRUE(fs::exists(s.keys + "/key.png"));
    EXPECT_TRUE(fs::exists(s.images + "/coffee.png"));
}

TEST(EncryptWindow, RefusalsNameWhatIsMissing) {
    Scene s;
    Scene::SaveKey(s.keys + "/narrow.png", RandomGrid(599, 400, 6), kComment);
    Scene::SaveKey(s.keys + "/low.png", RandomGrid(600, 399, 7), kComment);
    auto form = s.Open();
    auto* encrypt = Control<QPushButton>(*form, "Command6");
    auto pressed = [&] {
        s.messages.shown.clear();
        encrypt->click();
        return Shown(s.messages);
    };
    EXPECT_EQ(pressed(), std::vector<std::u16string>{u"No Message."});
    Control<UniText>(*form, "Text1")->SetText(kMessage);
    EXPECT_EQ(pressed(), std::vector<std::u16string>{u"No Keyfile Selected."});
    Pick(*form, nullptr, "narrow.png");
    EXPECT_EQ(pressed(), std::vector<std::u16string>{u"No Image File Selected."});
    Pick(*form, "coffee.png", nullptr);
    EXPECT_EQ(Control<QLabel>(*form, "Label12")->text(), "Key NOGO");
    EXPECT_EQ(Control<QLabel>(*form, "Label12")->toolTip(),
              "NOGO. Key image is too small (599x400) for the selected image.");
    EXPECT_EQ(pressed(), std::vector<std::u16string>{u"Key Pixel Width Too Small."});
    Pick(*form, nullptr, "low.png");
    EXPECT_EQ(pressed(), std::vector<std::u16string>{u"Key Pixel Height Too Small."});
    EXPECT_TRUE(fs::is_empty(s.encrypted));
}

TEST(EncryptWindow, MaxWidthAndResizeShrinkTheCarrierAsItLoads) {
    Scene s;
    ASSERT_TRUE(SaveGrid(RandomGrid(3000, 2000, 9), OutputKind::Bmp, s.images + "/wide.bmp"));
    ASSERT_TRUE(SaveGrid(RandomGrid(1500, 1000, 10), OutputKind::Bmp, s.images + "/middle.bmp"));
    auto form = s.Open();
    auto* label = Control<QLabel>(*form, "Label9");
    auto* maxWidth = Control<QPushButton>(*form, "Check6");
    auto* width = Control<QLineEdit>(*form, "Text4");
    auto* resize = Control<QPushButton>(*form, "Check7");
    auto* ratio = Control<QComboBox>(*form, "Combo2");

    Pick(*form, "wide.bmp", nullptr);
    EXPECT_EQ(label->text(), "3000 X 2000");
    maxWidth->setChecked(true);
    Pick(*form, "middle.bmp", nullptr);
    EXPECT_EQ(label->text(), "1200 X 800");
    Pick(*form, "wide.bmp", nullptr);
    EXPECT_EQ(label->text(), "1200 X 800");
    // A carrier narrower than the limit keeps its size.
    Pick(*form, "coffee.png", nullptr);
    EXPECT_EQ(label->text(), "600 X 400");
    // A width that is no number does not resize.
    width->setText(QStringLiteral("wide"));
    Pick(*form, "middle.bmp", nullptr);
    EXPECT_EQ(label->text(), "1500 X 1000");
    maxWidth->setChecked(false);
    resize->setChecked(true);
    ratio->setCurrentIndex(1);
    Pick(*form, "wide.bmp", nullptr);
    EXPECT_EQ(label->text(), "1500 X 1000");
    ratio->setCurrentIndex(4);
    Pick(*form, "middle.bmp", nullptr);
    EXPECT_EQ(label->text(), "150 X 100");
    EXPECT_EQ(form->Carrier().width, 150);
    // The key verdict follows the carrier as loaded.
    Pick(*form, nullptr, "key.png");
    EXPECT_EQ(Control<QLabel>(*form, "Label12")->text(), "Key OK");
}

TEST(EncryptWindow, KeyVerdictAtTheEdgeOfTheCarrier) {
    Scene s;
    ASSERT_TRUE(SaveGrid(RandomGrid(1600, 1200, 11), OutputKind::Bmp, s.images + "/big.bmp"));
    Scene::SaveKey(s.keys + "/exact.png", RandomGrid(1600, 1200, 12), kComment);
    Scene::SaveKey(s.keys + "/short.png", RandomGrid(1599, 1200, 13), kComment);
    PixelGrid photo;
    ASSERT_TRUE(LoadGrid(PhotoPath("coffee.png"), photo));
    Scene::SaveKey(s.keys + "/photo.png", photo, kComment);
    auto form = s.Open();
    auto* verdict = Control<QLabel>(*form, "Label12");
    Pick(*form, "big.bmp", "exact.png");
    EXPECT_EQ(verdict->text(), "Key OK");
    EXPECT_EQ(BackColorOf(verdict), QColor::fromRgb(kGoodColor));
    Pick(*form, nullptr, "short.png");
    EXPECT_EQ(verdict->text(), "Key NOGO");
    EXPECT_EQ(BackColorOf(verdict), QColor::fromRgb(kBadColor));
    // A photograph big enough to cover the carrier still protects nothing.
    Pick(*form, "coffee.png", "photo.png");
    EXPECT_EQ(verdict->text(), "Key OK - not random");
    EXPECT_EQ(BackColorOf(verdict), QColor::fromRgb(kWarningColor));
}

TEST(EncryptWindow, ACarrierThatCannotLoadLeavesNothingStale) {
    Scene s;
    testing::WriteBytes(s.images + "/damaged.png", "\x89PNG\r\n\x1a\n and nothing else");
    auto form = s.Open();
    Pick(*form, "coffee.png", "key.png");
    Pick(*form, "damaged.png", nullptr);
    EXPECT_TRUE(Control<QPlainTextEdit>(*form, "Text2")
                    ->toPlainText()
                    .startsWith(QStringLiteral("Cannot load the carrier image damaged.png: ")));
    EXPECT_EQ(Control<QLabel>(*form, "Label9")->text(), "0 X 0");
    EXPECT_EQ(Control<QLabel>(*form, "Label12")->text(), "");
    EXPECT_TRUE(Control<PictureBox>(*form, "Picture3")->IsEmpty());
    // Encrypting now is refused rather than run on the old picture.
    Control<UniText>(*form, "Text1")->SetText(kMessage);
    Control<QPushButton>(*form, "Command6")->click();
    EXPECT_NE(form->LastResult().status, EncryptStatus::Saved);
    EXPECT_TRUE(fs::is_empty(s.encrypted));
}

TEST(EncryptWindow, WipesTheUsedFilesAndRefreshesTheLists) {
    Scene s;
    auto form = s.Open();
    Pick(*form, "coffee.png", "key.png");
    Control<UniText>(*form, "Text1")->SetText(kMessage);
    Control<QCheckBox>(*form, "Check2")->setChecked(true);
    Control<QCheckBox>(*form, "Check3")->setChecked(true);
    Control<QPushButton>(*form, "Command6")->click();
    ASSERT_EQ(form->LastResult().status, EncryptStatus::Saved);
    EXPECT_EQ(s.ReadBack(form->LastResult().savedPath), kMessage);
    EXPECT_FALSE(fs::exists(s.keys + "/key.png"));
    EXPECT_FALSE(fs::exists(s.images + "/coffee.png"));
    EXPECT_TRUE(Control<FileList>(*form, "File1")->Names().empty());
    EXPECT_TRUE(Control<FileList>(*form, "File2")->Names().empty());
}

TEST(EncryptWindow, StepsViewerShowsThePlanesOfTheLastEncryption) {
    Scene s;
    auto form = s.Open();
    Pick(*form, "coffee.png", "key.png");
    Control<UniText>(*form, "Text1")->SetText(kMessage);
    Control<QPushButton>(*form, "Command6")->click();
    ASSERT_EQ(form->LastResult().status, EncryptStatus::Saved);
    Control<QPushButton>(*form, "Check1")->click();
    Form1* viewer = form->StepsViewer();
    ASSERT_TRUE(viewer->isVisible());
    PixelGrid saved;
    ASSERT_TRUE(LoadGrid(form->LastResult().savedPath, saved));
    EXPECT_EQ(Control<PictureBox>(*viewer, "Picture5")->Grid(), saved);
    EXPECT_EQ(Control<PictureBox>(*viewer, "Picture3")->Grid(), ImageXorKey(form->Carrier(), s.key));

    // The steps by hand give the same output from the same message.
    Control<QPushButton>(*viewer, "Command2")->click();
    Control<QPushButton>(*viewer, "Command4")->click();
    Control<QPushButton>(*viewer, "Command5")->click();
    const PixelGrid& byHand = Control<PictureBox>(*viewer, "Picture5")->Grid();
    ASSERT_EQ(byHand.width, 600);
    PixelGrid written = byHand;
    const std::string path = s.root / "by-hand.png";
    ASSERT_TRUE(SaveGrid(written, OutputKind::Png, path));
    EXPECT_EQ(s.ReadBack(path), kMessage);

    // A new carrier clears the first plane; the button hides the viewer.
    Pick(*form, "coffee.png", nullptr);
    EXPECT_TRUE(Control<PictureBox>(*viewer, "Picture3")->IsEmpty());
    Control<QPushButton>(*form, "Check1")->click();
    EXPECT_FALSE(viewer->isVisible());
}

TEST(EncryptWindow, EncodabilityScoreRunsOnlyWhenTicked) {
    Scene s;
    auto form = s.Open();
    auto* score = Control<QCheckBox>(*form, "Check5");
    auto* stats = Control<QLabel>(*form, "Label15");
    Pick(*form, "coffee.png", nullptr);
    EXPECT_EQ(stats->text(), "");
    score->click();
    EXPECT_TRUE(score->isChecked());
    Pick(*form, "coffee.png", nullptr);
    // The photo's score and verdict, as the analysis gives them.
    EXPECT_EQ(score->text(), "88.66% - Marginal");
    EXPECT_NE(stats->text(), "");
    EXPECT_NE(BackColorOf(score), QColor::fromRgb(0xFFFFFF));
    EXPECT_TRUE(Control<FileList>(*form, "File1")->isEnabled());
    score->click();
    EXPECT_EQ(score->text(), "Encodability %");
    EXPECT_FALSE(stats->isVisible());
}

TEST(EncryptWindow, MessageLengthAndTheShareOfLsbsItTakes) {
    Scene s;
    auto form = s.Open();
    auto* usage = Control<QLabel>(*form, "Label14");
    Control<UniText>(*form, "Text1")->SetText(u"abcd");
    EXPECT_EQ(usage->text(), "8B");
    Pick(*form, "coffee.png", nullptr);
    // 8 bytes, 64 bits, half of them changed, over 600x400x3 channels.
    EXPECT_EQ(usage->text(), "8B/0.004%");
    EXPECT_EQ(BackColorOf(usage), QColor(kLsbGood.r, kLsbGood.g, kLsbGood.b));
}

TEST(EncryptWindow, BrowseAndDropPickFilesAnywhere) {
    Scene s;
    TempFolder elsewhere;
    fs::copy_file(PhotoPath("astronaut.png"), elsewhere / "astronaut.png");
    Scene::SaveKey(elsewhere / "far-key.png", RandomGrid(512, 512, 14), kComment);
    testing::WriteBytes(elsewhere / "note.txt", "from a file \xe2\x98\x95");
    auto form = s.Open();
    s.openFileAnswer = elsewhere / "astronaut.png";
    Control<QPushButton>(*form, "Command2")->click();
    EXPECT_EQ(s.openFileTitle, "Select Image File");
    EXPECT_EQ(Control<FileList>(*form, "File1")->Path(), elsewhere.path());
    EXPECT_EQ(form->ImagePath(), elsewhere / "astronaut.png");
    EXPECT_EQ(Control<QLabel>(*form, "Label9")->text(), "512 X 512");
    s.openFileAnswer.clear();
    Control<QPushButton>(*form, "Command3")->click();
    EXPECT_EQ(s.openFileTitle, "Select Key File");
    EXPECT_EQ(Control<FileList>(*form, "File2")->Path(), s.keys);

    form->DropFile(elsewhere / "far-key.png", true);
    EXPECT_EQ(form->KeyPath(), elsewhere / "far-key.png");
    form->DropFile(elsewhere / "note.txt", false);
    EXPECT_EQ(Control<UniText>(*form, "Text1")->Text(), u"from a file \u2615");
    EXPECT_EQ(form->ImagePath(), elsewhere / "astronaut.png");
}

}  // namespace
}  // namespace corvane::encryptor
