// The encryptor's window driven as a user drives it: carrier and key picked
// in the lists, options set, "Encrypt Image" pressed, the saved image read
// back by the decryptor.
#include "encrypt/window/encrypt_window.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include "core/image_formats.hpp"
#include "core/sha256.hpp"
#include "encrypt/carrier_analysis.hpp"
#include "encrypt/window/steps_window.hpp"
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
    EXPECT_EQ(form->carrierList()->Path(), s.images);
    EXPECT_EQ(form->keyList()->Path(), s.keys);
    EXPECT_EQ(form->carrierList()->Names(), std::vector<std::string>{"coffee.png"});
    EXPECT_TRUE(form->pngOption()->isChecked());
    EXPECT_TRUE(form->compressCheck()->isChecked());
    EXPECT_FALSE(form->wipeKeyCheck()->isChecked());
    EXPECT_FALSE(form->wipeCarrierCheck()->isChecked());
    EXPECT_FALSE(form->scoreCheck()->isChecked());
    EXPECT_EQ(form->maxWidthEdit()->text(), "1200");
    auto items = [](QComboBox* c) {
        QStringList l;
        for (int i = 0; i < c->count(); ++i) l << c->itemText(i);
        return l;
    };
    EXPECT_EQ(items(form->otherFormatCombo()), QStringList({"JP2", "JXR", "J2K", "TIFF", "WEBP"}));
    EXPECT_EQ(items(form->ratioCombo()),
              QStringList({"1.00:1", "0.50:1", "0.25:1", "0.20:1", "0.10:1"}));
    EXPECT_EQ(form->encryptButton()->text(), "Encrypt Image");
    EXPECT_EQ(form->lsbAlteredLabel()->toolTip(), "Percent of image LSBs used to store message. <5% is Good.");
    EXPECT_EQ(form->scoreCheck()->toolTip(), "Encodability above 90% is good.");
    EXPECT_TRUE(form->stepsWindow()->isHidden());
}

TEST(EncryptWindow, EveryOutputFormatDecryptsToTheMessage) {
    Scene s;
    auto form = s.Open();
    Pick(*form, "coffee.png", "key.png");
    EXPECT_EQ(form->carrierSizeLabel()->text(), "600 X 400");
    EXPECT_EQ(form->keyVerdictLabel()->text(), "Key OK");
    EXPECT_EQ(form->delimiterText()->Text(), kComment);
    form->messageText()->SetText(kMessage);
    form->prefixEdit()->setText(QStringLiteral("trip-"));

    struct Case {
        QRadioButton* (EncryptWindow::*option)() const;
        int combo;
        const char* ending;
    };
    using W = EncryptWindow;
    const Case cases[] = {{&W::pngOption, 0, ".png"},   {&W::bmpOption, 0, ".bmp"},   {&W::otherOption, 0, ".jp2"},
                          {&W::otherOption, 1, ".jxr"}, {&W::otherOption, 2, ".j2k"}, {&W::otherOption, 3, ".tif"},
                          {&W::otherOption, 4, ".webp"}};
    std::vector<std::string> saved;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ending);
        ((*form).*c.option)()->setChecked(true);
        form->otherFormatCombo()->setCurrentIndex(c.combo);
        PressEncrypt(*form);
        EXPECT_TRUE(s.messages.shown.empty()) << TextToUtf8(s.Shown().front());
        const EncryptResult& r = form->lastResult();
        ASSERT_EQ(r.status, EncryptStatus::Saved) << r.saveError;
        EXPECT_EQ(fs::path(r.savedPath).parent_path(), fs::path(s.encrypted));
        EXPECT_EQ(fs::path(r.savedPath).extension(), c.ending);
        EXPECT_EQ(fs::path(r.savedPath).filename().string().rfind("trip-", 0), 0u);
        EXPECT_EQ(s.ReadBack(r.savedPath), kMessage);
        // The window says where the image went, shows the digest, and is
        // ready for the next press.
        EXPECT_TRUE(form->statusText()->toPlainText().contains(
            QStringLiteral("Saved as: ") + QString::fromStdString(r.savedPath)));
        EXPECT_EQ(form->digestLabel()->text(), Q(UpperHex(CSHA256().SHA256(kMessage))));
        EXPECT_EQ(form->encryptButton()->text(), "Encrypt Image");
        EXPECT_TRUE(form->carrierList()->isEnabled());
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
    auto pressed = [&] {
        s.messages.shown.clear();
        PressEncrypt(*form);
        return s.Shown();
    };
    EXPECT_EQ(pressed(), std::vector<std::u16string>{u"No Message."});
    form->messageText()->SetText(kMessage);
    EXPECT_EQ(pressed(), std::vector<std::u16string>{u"No Keyfile Selected."});
    Pick(*form, nullptr, "narrow.png");
    EXPECT_EQ(pressed(), std::vector<std::u16string>{u"No Image File Selected."});
    Pick(*form, "coffee.png", nullptr);
    EXPECT_EQ(form->keyVerdictLabel()->text(), "Key NOGO");
    EXPECT_EQ(form->keyVerdictLabel()->toolTip(),
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
    auto* label = form->carrierSizeLabel();
    auto* maxWidth = form->maxWidthButton();
    auto* width = form->maxWidthEdit();
    auto* resize = form->resizeButton();
    auto* ratio = form->ratioCombo();

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
    EXPECT_EQ(form->carrier().width, 150);
    // The key verdict follows the carrier as loaded.
    Pick(*form, nullptr, "key.png");
    EXPECT_EQ(form->keyVerdictLabel()->text(), "Key OK");
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
    auto* verdict = form->keyVerdictLabel();
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
    EXPECT_TRUE(form->statusText()
                    ->toPlainText()
                    .startsWith(QStringLiteral("Cannot load the carrier image damaged.png: ")));
    EXPECT_EQ(form->carrierSizeLabel()->text(), "0 X 0");
    EXPECT_EQ(form->keyVerdictLabel()->text(), "");
    EXPECT_TRUE(form->carrierPreview()->IsEmpty());
    // Encrypting now is refused rather than run on the old picture.
    form->messageText()->SetText(kMessage);
    PressEncrypt(*form);
    EXPECT_NE(form->lastResult().status, EncryptStatus::Saved);
    EXPECT_TRUE(fs::is_empty(s.encrypted));
}

TEST(EncryptWindow, WipesTheUsedFilesAndRefreshesTheLists) {
    Scene s;
    auto form = s.Open();
    Pick(*form, "coffee.png", "key.png");
    form->messageText()->SetText(kMessage);
    form->wipeKeyCheck()->setChecked(true);
    form->wipeCarrierCheck()->setChecked(true);
    PressEncrypt(*form);
    ASSERT_EQ(form->lastResult().status, EncryptStatus::Saved);
    EXPECT_EQ(s.ReadBack(form->lastResult().savedPath), kMessage);
    for (auto [list, file] : {std::pair{form->carrierList(), s.images + "/coffee.png"},
                              std::pair{form->keyList(), s.keys + "/key.png"}}) {
        EXPECT_FALSE(fs::exists(file)) << file;
        EXPECT_TRUE(list->Names().empty()) << file;
    }
    // The wiped key is no longer selected: the next message needs a new key.
    EXPECT_TRUE(form->keyPath().empty());
    EXPECT_TRUE(form->key().empty());
    EXPECT_TRUE(form->keyPreview()->IsEmpty());
    EXPECT_EQ(form->keyVerdictLabel()->text(), "");
    s.messages.shown.clear();
    form->messageText()->SetText(u"a second message");
    PressEncrypt(*form);
    EXPECT_EQ(s.Shown(), std::vector<std::u16string>{u"No Keyfile Selected."});
    EXPECT_EQ(std::distance(fs::directory_iterator(s.encrypted), fs::directory_iterator()), 1);
}

TEST(EncryptWindow, StepsViewerShowsThePlanesOfTheLastEncryption) {
    Scene s;
    auto form = s.Open();
    Pick(*form, "coffee.png", "key.png");
    form->messageText()->SetText(kMessage);
    PressEncrypt(*form);
    ASSERT_EQ(form->lastResult().status, EncryptStatus::Saved);
    form->showStepsButton()->click();
    StepsWindow* viewer = form->stepsWindow();
    ASSERT_TRUE(viewer->isVisible());
    PixelGrid saved;
    ASSERT_TRUE(LoadGrid(form->lastResult().savedPath, saved));
    EXPECT_EQ(viewer->outputPicture()->Grid(), saved);
    EXPECT_EQ(viewer->xorPicture()->Grid(), ImageXorKey(form->carrier(), s.key));

    // The steps by hand give the same output from the same message.
    viewer->step1Button()->click();
    viewer->step2Button()->click();
    viewer->step3Button()->click();
    const PixelGrid& byHand = viewer->outputPicture()->Grid();
    ASSERT_EQ(byHand.width, 600);
    PixelGrid written = byHand;
    const std::string path = s.root / "by-hand.png";
    ASSERT_TRUE(SaveGrid(written, OutputKind::Png, path));
    EXPECT_EQ(s.ReadBack(path), kMessage);

    // A new carrier clears the first plane; the button hides the viewer.
    Pick(*form, "coffee.png", nullptr);
    EXPECT_TRUE(viewer->xorPicture()->IsEmpty());
    form->showStepsButton()->click();
    EXPECT_FALSE(viewer->isVisible());
}

TEST(EncryptWindow, EncodabilityScoreRunsOnlyWhenTicked) {
    Scene s;
    auto form = s.Open();
    auto* score = form->scoreCheck();
    auto* stats = form->scoreStatsLabel();
    Pick(*form, "coffee.png", nullptr);
    EXPECT_EQ(stats->text(), "");
    score->click();
    EXPECT_TRUE(score->isChecked());
    QSignalSpy scored(form.get(), &EncryptWindow::scoreFinished);
    Pick(*form, "coffee.png", nullptr);
    ASSERT_TRUE(scored.count() > 0 || scored.wait(60000));
    // The photo's score and verdict, as the analysis gives them.
    EXPECT_EQ(score->text(), "88.66% - Marginal");
    EXPECT_NE(stats->text(), "");
    EXPECT_NE(BackColorOf(score), QColor::fromRgb(0xFFFFFF));
    EXPECT_TRUE(form->carrierList()->isEnabled());
    score->click();
    EXPECT_EQ(score->text(), "Encodability %");
    EXPECT_FALSE(stats->isVisible());
}

TEST(EncryptWindow, MessageLengthAndTheShareOfLsbsItTakes) {
    Scene s;
    auto form = s.Open();
    auto* usage = form->lsbUsageLabel();
    form->messageText()->SetText(u"abcd");
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
    EXPECT_EQ(s.Browse(form->browseCarrierButton(), elsewhere / "astronaut.png"), "Select Image File");
    EXPECT_EQ(form->carrierList()->Path(), elsewhere.path());
    EXPECT_EQ(form->imagePath(), elsewhere / "astronaut.png");
    EXPECT_EQ(form->carrierSizeLabel()->text(), "512 X 512");
    EXPECT_EQ(s.Browse(form->browseKeyButton(), ""), "Select Key File");
    EXPECT_EQ(form->keyList()->Path(), s.keys);

    form->dropFile(elsewhere / "far-key.png", true);
    EXPECT_EQ(form->keyPath(), elsewhere / "far-key.png");
    form->dropFile(elsewhere / "note.txt", false);
    EXPECT_EQ(form->messageText()->Text(), u"from a file \u2615");
    EXPECT_EQ(form->imagePath(), elsewhere / "astronaut.png");
}

// A carrier the size of a large photograph takes seconds to encrypt; the
// window keeps painting and can be moved meanwhile, its inputs locked.
TEST(EncryptWindow, StaysMovableAndPaintsWhileALargeCarrierEncrypts) {
    Scene s;
    PixelGrid photo;
    ASSERT_TRUE(LoadGrid(PhotoPath("coffee.png"), photo));
    ASSERT_TRUE(SaveGrid(RescaleGrid(photo, 8000, 6000, ResizeFilter::Bilinear), OutputKind::Bmp,
                         s.images + "/large.bmp"));
    Scene::SaveKey(s.keys + "/large-key.png", RandomGrid(8000, 6000, 21), kComment);
    auto form = s.Open();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    Pick(*form, "large.bmp", "large-key.png");
    ASSERT_EQ(form->carrier().width, 8000);
    form->messageText()->SetText(kMessage);
    form->bmpOption()->setChecked(true);

    // Paint events of the window's widgets, counted while the run goes on.
    struct PaintCounter : QObject {
        EncryptWindow* window = nullptr;
        int whileRunning = 0;
        bool eventFilter(QObject* watched, QEvent* event) override {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (event->type() == QEvent::Paint && widget && widget->window() == window &&
                !window->encryptButton()->isEnabled())
                ++whileRunning;
            return false;
        }
    } painted;
    painted.window = form.get();
    qApp->installEventFilter(&painted);

    QSignalSpy ended(form.get(), &EncryptWindow::encryptFinished);
    const QPoint start = form->pos();
    form->encryptButton()->click();
    // The press returns at once with the inputs locked.
    EXPECT_EQ(ended.count(), 0);
    EXPECT_FALSE(form->carrierList()->isEnabled());
    int moves = 0;
    while (ended.count() == 0 && moves < 3000) {
        form->move(start + QPoint(moves % 40, moves % 30));
        ++moves;
        QTest::qWait(20);
    }
    qApp->removeEventFilter(&painted);
    ASSERT_EQ(ended.count(), 1);
    EXPECT_GT(moves, 1);
    EXPECT_GT(painted.whileRunning, 0);
    ASSERT_EQ(form->lastResult().status, EncryptStatus::Saved) << form->lastResult().saveError;
    EXPECT_EQ(fs::path(form->lastResult().savedPath).extension(), ".bmp");
    EXPECT_EQ(form->encryptButton()->text(), "Encrypt Image");
    EXPECT_TRUE(form->carrierList()->isEnabled());
}

}  // namespace
TEST(EncryptWindow, AKeyThatHidAnotherMessageIsUsedAgainOnlyAfterAsking) {
    Scene s;
    auto form = s.Open();
    Pick(*form, "coffee.png", "key.png");
    const auto savedCount = [&] {
        return std::distance(fs::directory_iterator(s.encrypted), fs::directory_iterator());
    };
    form->messageText()->SetText(u"first message");
    PressEncrypt(*form);
    ASSERT_EQ(form->lastResult().status, EncryptStatus::Saved);
    EXPECT_TRUE(s.messages.questions.empty());

    // Another message with the same key: No keeps everything as it was.
    form->messageText()->SetText(u"second message");
    s.messages.answer = false;
    PressEncrypt(*form);
    ASSERT_EQ(s.messages.questions.size(), 1u);
    EXPECT_EQ(s.messages.questions[0].rfind(u"This key already hid another message on ", 0), 0u);
    EXPECT_NE(s.messages.questions[0].find(u"Encrypt anyway?"), std::u16string::npos);
    EXPECT_EQ(form->lastResult().status, EncryptStatus::Refused);
    EXPECT_EQ(savedCount(), 1);
    EXPECT_TRUE(form->encryptButton()->isEnabled());

    // Yes hides it after all.
    s.messages.answer = true;
    PressEncrypt(*form);
    EXPECT_EQ(s.messages.questions.size(), 2u);
    ASSERT_EQ(form->lastResult().status, EncryptStatus::Saved);
    EXPECT_EQ(s.ReadBack(form->lastResult().savedPath), u"second message");

    // The same message again (another format) is no reuse: nothing is asked.
    form->bmpOption()->setChecked(true);
    PressEncrypt(*form);
    EXPECT_EQ(s.messages.questions.size(), 2u);
    EXPECT_EQ(form->lastResult().status, EncryptStatus::Saved);
    EXPECT_EQ(savedCount(), 3);
}

}  // namespace corvane::encryptor
