#pragma once
// The encryptor's windows under test: a working root with a photo among the
// carriers and a random key for it, the window opened on it with recorded
// message boxes and scripted file dialogs.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QString>

#include <filesystem>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "core/code_page.hpp"
#include "core/hidden_message.hpp"
#include "core/image_decoder.hpp"
#include "core/image_file.hpp"
#include "decrypt/decrypt_operation.hpp"
#include "encrypt/window/encrypt_window.hpp"
#include "test_support.hpp"
#include "widgets/file_list.hpp"
#include "widgets/message_boxes.hpp"
#include "widgets/tests/window_test_scene.hpp"

// Captions in failure messages as text.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace corvane::encryptor {

namespace fs = std::filesystem;
using testing::PhotoPath;
using testing::RandomGrid;
using testing::TempFolder;

inline const std::u16string kComment = u"<Qx7!~pL9aZ><Rb2#kT8mWq><01>";
inline const std::u16string kMessage = u"Meet at the caf\u00e9 \u2615 \U0001F5DD\uFE0F";

inline QString Q(std::u16string_view t) { return QString::fromUtf16(t.data(), static_cast<qsizetype>(t.size())); }

// A working root with the photo among the carriers and a key for it.
struct Scene : testing::WindowTestScene {
    std::string saveFileAnswer;
    std::string images = root / "Images";
    std::string keys = root / "Keys";
    std::string encrypted = root / "Encrypted Images";
    PixelGrid key = RandomGrid(600, 400, 5);

    Scene() {
        fs::create_directories(images);
        fs::create_directories(keys);
        fs::copy_file(PhotoPath("coffee.png"), images + "/coffee.png");
        SaveKey(keys + "/key.png", key, kComment);
    }
    static void SaveKey(const std::string& path, const PixelGrid& grid, const std::u16string& comment) {
        SaveOptions options;
        options.comment = comment;
        ASSERT_EQ(SaveGridFile(grid, OutputKind::Key, path, options), SaveStatus::Saved);
    }
    std::unique_ptr<EncryptWindow> Open() {
        EncryptWindowHooks hooks;
        static_cast<MainWindowHooks&>(hooks) = Hooks();
        hooks.fallbackRoot = root / "fallback";
        hooks.usedKeysPath = root / "used-keys";
        hooks.saveFile = [this](QWidget*, const QString&, const QString&, const QString&) { return saveFileAnswer; };
        return std::make_unique<EncryptWindow>(hooks);
    }
    // The image's message as the decryptor reads it with the scene's key.
    std::u16string ReadBack(const std::string& path) const {
        LoadRule rule;
        EXPECT_TRUE(EncryptedLoadRuleForPath(path, rule)) << path;
        PixelGrid image;
        std::string error;
        EXPECT_TRUE(LoadGridAs(path, rule, image, nullptr, &error)) << error;
        DecryptInputs in;
        in.imagePath = path;
        in.keyPath = "key.png";
        in.keyComment = kComment;
        KeyParams params;
        KeyParameters(kComment, params);
        in.keySeed = params.seed;
        DecryptReporter quiet;
        SequenceRandom rng;
        const DecryptResult result = DecryptImage(image, key, in, quiet, rng);
        EXPECT_TRUE(result.verified) << path;
        return result.message;
    }
};

// Presses "Encrypt Image" and waits for the run to end.
inline void PressEncrypt(EncryptWindow& form) {
    QSignalSpy ended(&form, &EncryptWindow::encryptFinished);
    form.encryptButton()->click();
    ASSERT_TRUE(ended.count() > 0 || ended.wait(300000));
}

inline void Pick(EncryptWindow& form, const char* carrier, const char* key) {
    if (carrier) {
        ASSERT_TRUE(form.carrierList()->SelectByName(carrier)) << carrier;
    }
    if (key) {
        ASSERT_TRUE(form.keyList()->SelectByName(key)) << key;
    }
}

}  // namespace corvane::encryptor
