// The About box's batch: the main window's message, key and options over
// every carrier of its list, with progress, Stop and the key wiped once.
#include "encrypt/window/batch_box.hpp"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include "encrypt/window/encrypt_window.hpp"
#include "encrypt_scene.hpp"
#include "widgets/uni_text.hpp"

namespace corvane::encryptor {
namespace {

// Three carriers (the photo under three names) and the key picked, the
// message typed, the About box open.
struct BatchScene : Scene {
    std::unique_ptr<EncryptWindow> form;
    BatchBox* about = nullptr;
    QPushButton* batch = nullptr;
    // Every caption "Batch Encrypt" shows while the batch lets events run.
    std::vector<QString> captions;
    std::function<void(const QString&)> onCaption;

    explicit BatchScene(std::vector<std::string> carriers = {"a.png", "b.png", "c.png"}) {
        fs::remove(images + "/coffee.png");
        for (const auto& name : carriers) fs::copy_file(PhotoPath("coffee.png"), images + "/" + name);
        form = Open();
        Pick(*form, nullptr, "key.png");
        form->messageText()->SetText(kMessage);
        form->aboutButton()->click();
        about = form->batchBox();
        batch = about->batchButton();
    }
    void Run() {
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [this] {
            const QString caption = batch->text();
            if (captions.empty() || captions.back() != caption) {
                captions.push_back(caption);
                if (onCaption) onCaption(caption);
            }
        });
        // Captions are watched while the batch runs, not after it.
        QObject::connect(about, &BatchBox::batchFinished, &watch, &QTimer::stop);
        watch.start(0);
        QSignalSpy ended(about, &BatchBox::batchFinished);
        batch->click();
        ASSERT_TRUE(ended.count() > 0 || ended.wait(300000));
    }
    std::vector<std::string> Saved() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(encrypted)) names.push_back(e.path().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST(BatchEncrypt, EncryptsEveryCarrierWithProgress) {
    BatchScene s;
    EXPECT_EQ(s.about->windowTitle(), "About");
    EXPECT_EQ(s.batch->toolTip(), "This will encrypt the same message to all images in the selected directory "
                                  "(useful for testing/research).");
    s.Run();
    EXPECT_EQ(s.captions, (std::vector<QString>{"Working: 1 of 3", "Working: 2 of 3", "Working: 3 of 3"}));
    EXPECT_EQ(s.batch->text(), "Batch Encrypt");
    EXPECT_TRUE(s.batch->isEnabled());
    EXPECT_TRUE(s.messages.shown.empty());
    const auto saved = s.Saved();
    ASSERT_EQ(saved.size(), 3u);
    for (const auto& path : saved) EXPECT_EQ(s.ReadBack(path), kMessage);
    EXPECT_EQ(s.about->lastBatch().saved, 3);
    EXPECT_EQ(s.about->summaryLabel()->text(), "3 carriers: 3 saved. Detectability: a.png Low, b.png Low, c.png Low.");
    // The main window is the user's again.
    EXPECT_TRUE(s.form->carrierList()->isEnabled());
    EXPECT_TRUE(s.form->encryptButton()->isEnabled());
}

TEST(BatchEncrypt, EmptyListAndMissingInputs) {
    BatchScene s(std::vector<std::string>{});
    s.Run();
    EXPECT_TRUE(s.captions.empty() || s.captions == std::vector<QString>{"Working..."});
    EXPECT_EQ(s.batch->text(), "Batch Encrypt");
    EXPECT_TRUE(s.batch->isEnabled());
    EXPECT_TRUE(s.Saved().empty());

    s.form->messageText()->SetText(u"");
    s.batch->click();
    EXPECT_EQ(s.Shown(), std::vector<std::u16string>{u"No Message."});

    Scene bare;
    auto form = bare.Open();
    form->messageText()->SetText(kMessage);
    form->aboutButton()->click();
    form->batchBox()->batchButton()->click();
    EXPECT_EQ(bare.Shown(), std::vector<std::u16string>{u"No Keyfile Selected."});
    EXPECT_TRUE(fs::is_empty(bare.encrypted));
}

TEST(BatchEncrypt, StopEndsAfterTheCurrentCarrierAndIsClearedForTheNextBatch) {
    BatchScene s;
    s.onCaption = [&](const QString& caption) {
        if (caption == "Working: 1 of 3") s.about->stopButton()->click();
    };
    s.Run();
    EXPECT_EQ(s.Saved().size(), 1u);
    EXPECT_EQ(s.batch->text(), "Batch Encrypt");
    EXPECT_TRUE(s.batch->isEnabled());
    EXPECT_TRUE(s.about->lastBatch().stopped);
    EXPECT_EQ(s.about->summaryLabel()->text(), "Stopped after 1 of 3 carriers: 1 saved. Detectability: a.png Low.");

    s.captions.clear();
    s.onCaption = nullptr;
    s.Run();
    EXPECT_EQ(s.captions.back(), "Working: 3 of 3");
    EXPECT_EQ(s.Saved().size(), 4u);
}

TEST(BatchEncrypt, WipesTheKeyOnceAndKeepsEncryptingWithItsPixels) {
    BatchScene s;
    s.form->wipeKeyCheck()->setChecked(true);
    s.Run();
    EXPECT_FALSE(fs::exists(s.keys + "/key.png"));
    const auto saved = s.Saved();
    ASSERT_EQ(saved.size(), 3u);
    for (const auto& path : saved) EXPECT_EQ(s.ReadBack(path), kMessage);
    // The later carriers met no wipe to fail.
    EXPECT_TRUE(s.form->lastResult().keyWipeError.empty()) << s.form->lastResult().keyWipeError;
    EXPECT_TRUE(s.messages.shown.empty()) << TextToUtf8(s.Shown().front());
    // Once the batch is over, the wiped key is no longer selected.
    EXPECT_TRUE(s.form->keyPath().empty());
    EXPECT_TRUE(s.form->key().empty());
}

TEST(BatchEncrypt, CarriersThatFailAreReportedAndTheBatchGoesOn) {
    BatchScene s({"a.png", "b.png", "c.png"});
    testing::WriteBytes(s.images + "/b.png", "\x89PNG\r\n\x1a\n damaged");
    // Wiping each carrier takes it out of the list: the batch still takes
    // every carrier it started with.
    s.form->wipeCarrierCheck()->setChecked(true);
    s.form->carrierList()->Refresh();
    s.Run();
    EXPECT_EQ(s.Saved().size(), 2u);
    EXPECT_EQ(s.about->lastBatch().failed, std::vector<std::string>{"b.png"});
    EXPECT_EQ(s.about->summaryLabel()->text(), "3 carriers: 2 saved, not saved: b.png. Detectability: a.png Low, c.png Low.");
    EXPECT_FALSE(fs::exists(s.images + "/a.png"));
    EXPECT_TRUE(fs::exists(s.images + "/b.png"));
    EXPECT_FALSE(fs::exists(s.images + "/c.png"));
}

TEST(BatchEncrypt, ClosingTheMainWindowStopsTheBatchThenCloses) {
    BatchScene s;
    s.form->show();
    s.onCaption = [&](const QString& caption) {
        if (caption == "Working: 1 of 3") s.form->close();
    };
    s.Run();
    EXPECT_EQ(s.Saved().size(), 1u);
    EXPECT_FALSE(s.form->isVisible());
    EXPECT_FALSE(s.about->isVisible());
}

}  // namespace
}  // namespace corvane::encryptor
