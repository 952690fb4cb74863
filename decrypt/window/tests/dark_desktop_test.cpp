// The decryptor's window under a dark desktop palette: captions, the digest
// colours and the busy button stay readable.
#include "decrypt/window/decrypt_window.hpp"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <filesystem>

#include "core/hidden_message.hpp"
#include "core/image_file.hpp"
#include "encrypt/encrypt_operation.hpp"
#include "test_support.hpp"
#include "widgets/file_list.hpp"
#include "widgets/tests/readable_text.hpp"
#include "widgets/tests/window_test_scene.hpp"
#include "widgets/uni_text.hpp"
#include "widgets/window_style.hpp"

namespace corvane::decryptor {
namespace {

namespace fs = std::filesystem;
using testing::BusyButtonWatch;
using testing::DarkDesktop;
using testing::UnreadableTexts;

const std::u16string kComment = u"<Qx7!~pL9aZ><Rb2#kT8mWq><01>";

// An encrypted image and its key in the lists' folders.
struct Scene : testing::WindowTestScene {
    std::string images = root / "Encrypted Images";
    std::string keys = root / "Keys";
    PixelGrid key = testing::RandomGrid(600, 400, 5);

    Scene() {
        fs::create_directories(images);
        fs::create_directories(keys);
        SaveOptions options;
        options.comment = kComment;
        EXPECT_EQ(SaveGridFile(key, OutputKind::Key, keys + "/key.png", options), SaveStatus::Saved);
        PixelGrid carrier;
        EXPECT_TRUE(LoadGrid(testing::PhotoPath("coffee.png"), carrier));
        EncryptInputs in;
        in.message = u"Dark or light, it reads";
        in.imagePath = "carrier.png";
        in.keyPath = keys + "/key.png";
        in.keyComment = kComment;
        KeyParams params;
        KeyParameters(kComment, params);
        in.keySeed = params.seed;
        in.outputPath = images + "/secret.png";
        EmbeddingSteps steps;
        EncryptReporter quiet;
        SequenceRandom rng;
        EXPECT_EQ(EncryptImage(carrier, key, in, steps, quiet, rng).status, EncryptStatus::Saved);
    }
};

TEST(DecryptWindowColours, EveryTextReadsUnderADarkDesktop) {
    DarkDesktop dark;
    Scene s;
    auto form = std::make_unique<DecryptWindow>(s.Hooks());
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    EXPECT_EQ(UnreadableTexts(form.get()), QString());

    ASSERT_TRUE(form->imageList()->SelectByName("secret.png"));
    ASSERT_TRUE(form->keyList()->SelectByName("key.png"));
    EXPECT_EQ(UnreadableTexts(form.get()), QString());
    BusyButtonWatch watch(form->decryptButton());
    form->decryptButton()->click();
    ASSERT_TRUE(testing::WaitUntil([&] { return !form->busy(); }));
    EXPECT_EQ(form->messageBox()->Text(), u"Dark or light, it reads");
    EXPECT_GT(watch.busyLooks, 0);
    EXPECT_EQ(watch.faults, QString());
    // The digest's verdict colour.
    EXPECT_EQ(UnreadableTexts(form.get()), QString());
}

}  // namespace
}  // namespace corvane::decryptor
