// The decryptor's window driven as a user drives it: files picked in the
// lists, through Browse or dropped, buttons pressed, controls read back.
#include "decrypt/window/form2.hpp"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include <filesystem>

#include "core/code_page.hpp"
#include "core/hidden_message.hpp"
#include "core/image_file.hpp"
#include "core/sha256.hpp"
#include "decrypt/decrypt_texts.hpp"
#include "encrypt/encrypt_operation.hpp"
#include "test_support.hpp"
#include "widgets/file_list.hpp"
#include "widgets/message_boxes.hpp"
#include "widgets/picture_box.hpp"
#include "widgets/uni_text.hpp"
#include "widgets/window_style.hpp"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testing::PhotoPath;
using testing::RandomGrid;
using testing::TempFolder;

const std::u16string kComment = u"<Qx7!~pL9aZ><Rb2#kT8mWq><01>";
const std::u16string kMessage = u"Meet at the caf\u00e9 \u2615 \U0001F5DD\uFE0F";

QString Q(std::u16string_view t) { return QString::fromUtf16(t.data(), static_cast<qsizetype>(t.size())); }

// A working root with an encrypted image and its key in the lists' folders.
struct Scene {
    TempFolder root;
    std::string images = root / "Encrypted Images";
    std::string keys = root / "Keys";
    PixelGrid carrier;
    PixelGrid key = RandomGrid(600, 400, 5);
    RecordingMessageBoxes messages;
    std::string openFileAnswer;
    QString openFileTitle;

    Scene() {
        fs::create_directories(images);
        fs::create_directories(keys);
        LoadGrid(PhotoPath("coffee.png"), carrier);
        SaveKey(keys + "/key.png", key, kComment);
        Encrypt(images + "/secret.png", kMessage);
    }
    static void SaveKey(const std::string& path, const PixelGrid& grid, const std::u16string& comment) {
        SaveOptions options;
        options.comment = comment;
        ASSERT_EQ(SaveGridFile(grid, OutputKind::Key, path, options), SaveStatus::Saved);
    }
    void Encrypt(const std::string& path, const std::u16string& message) {
        EncryptInputs in;
        in.message = message;
        in.imagePath = "carrier.png";
        in.keyPath = keys + "/key.png";
        in.keyComment = kComment;
        KeyParams params;
        KeyParameters(kComment, params);
        in.keySeed = params.seed;
        in.outputPath = path;
        EmbeddingSteps steps;
        EncryptReporter quiet;
        SequenceRandom rng;
        PixelGrid c = carrier;
        ASSERT_EQ(EncryptImage(c, key, in, steps, quiet, rng).status, EncryptStatus::Saved);
    }
    std::unique_ptr<Form2> Open() {
        Form2Hooks hooks;
        hooks.root = root.path();
        hooks.messages = &messages;
        hooks.openFile = [this](QWidget*, const QString& title, const QString&, const QString&) {
            openFileTitle = title;
            return openFileAnswer;
        };
        return std::make_unique<Form2>(hooks);
    }
};

template <typename T>
T* Control(QWidget& form, const char* name) {
    T* c = form.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

std::vector<std::u16string> Shown(const RecordingMessageBoxes& m) {
    std::vector<std::u16string> texts;
    for (const auto& s : m.shown) texts.push_back(s.text);
    return texts;
}

TEST(DecryptWindow, OpensOnTheWorkingFoldersWithTheDesignsControls) {
    Scene s;
    auto form = s.Open();
    EXPECT_EQ(form->windowTitle(), "Corvane-[Decrypt]");
    EXPECT_EQ(Control<FileList>(*form, "File1")->Path(), s.images);
    EXPECT_EQ(Control<FileList>(*form, "File2")->Path(), s.keys);
    EXPECT_EQ(Control<FileList>(*form, "File1")->Names(), std::vector<std::string>{"secret.png"});
    EXPECT_EQ(Control<QPushButton>(*form, "Command3")->text(), "Decrypt Image");
    EXPECT_EQ(Control<QCheckBox>(*form, "Check3")->toolTip(), "Delete image to prevent forensic comparisions.");
    EXPECT_EQ(Control<QLabel>(*form, "Label8")->toolTip(), "Percent of image used to store message.");
    EXPECT_EQ(Control<QPushButton>(*form, "Command9")->toolTip(), "Clear textbox text.");
    for (const char* name : {"Label1", "Command1", "Picture5", "Label9", "Label2", "Command4", "Picture6", "Label10",
                             "Label11", "DelimiterText", "Label3", "Picture3", "Command2", "Picture1", "Picture2",
                             "Label5", "Text1", "Check2", "Label7", "Label4", "Command5", "Command6", "Command7",
                             "Command8", "Command11", "Command12", "Command13", "Command14", "Command15"})
        EXPECT_NE(form->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_FALSE(Control<QCheckBox>(*form, "Check2")->isChecked());
    EXPECT_FALSE(Control<QCheckBox>(*form, "Check3")->isChecked());
}

TEST(DecryptWindow, PickedFilesDecryptToTheMessageWithAGreenDigest) {
    Scene s;
    auto form = s.Open();
    ASSERT_TRUE(Control<FileList>(*form, "File1")->SelectByName("secret.png"));
    ASSERT_TRUE(Control<FileList>(*form, "File2")->SelectByName("key.png"));
    EXPECT_EQ(Control<QLabel>(*form, "Label9")->text(), "600 X 400");
    EXPECT_EQ(Control<QLabel>(*form, "Label10")->text(), "600 X 400");
    EXPECT_EQ(Control<PictureBox>(*form, "Picture5")->Grid().width, 320);
    EXPECT_EQ(Control<UniText>(*form, "DelimiterText")->Text(), kComment);
    EXPECT_EQ(Control<UniText>(*form, "DelimiterText")->BackColor(), QColor(225, 255, 225));
    EXPECT_TRUE(Control<QLabel>(*form, "KeyWarning")->isHidden());

    Control<QPushButton>(*form, "Command3")->click();
    EXPECT_TRUE(s.messages.shown.empty()) << TextToUtf8(Shown(s.messages).front());
    EXPECT_EQ(Control<UniText>(*form, "Text1")->Text(), kMessage);
    EXPECT_EQ(Control<QLabel>(*form, "Label8")->text(), Q(UpperHex(CSHA256().SHA256(kMessage))));
    EXPECT_EQ(BackColorOf(Control<QLabel>(*form, "Label8")), QColor(200, 225, 200));
    EXPECT_EQ(Control<QLabel>(*form, "Label4")->text(), "[0 Seconds]");
    // The button is itself again, and the plane shows image XOR key.
    EXPECT_EQ(Control<QPushButton>(*form, "Command3")->text(), "Decrypt Image");
    EXPECT_TRUE(Control<QPushButton>(*form, "Command3")->isEnabled());
    EXPECT_TRUE(Control<FileList>(*form, "File1")->isEnabled());
    EXPECT_EQ(Control<PictureBox>(*form, "Picture3")->Grid(),
              ImageXorKey(Control<PictureBox>(*form, "Picture1")->Grid(), s.key));
}

TEST(DecryptWindow, WipesAfterTheMessageAndRefreshesTheLists) {
    Scene s;
    auto form = s.Open();
    Control<FileList>(*form, "File1")->SelectByName("secret.png");
    Control<FileList>(*form, "File2")->SelectByName("key.png");
    Control<QCheckBox>(*form, "Check2")->setChecked(true);
    Control<QCheckBox>(*form, "Check3")->setChecked(true);
    Control<QPushButton>(*form, "Command3")->click();
    EXPECT_EQ(Control<UniText>(*form, "Text1")->Text(), kMessage);
    EXPECT_FALSE(fs::exists(s.keys + "/key.png"));
    EXPECT_FALSE(fs::exists(s.images + "/secret.png"));
    EXPECT_TRUE(Control<FileList>(*form, "File1")->Names().empty());
    EXPECT_TRUE(Control<FileList>(*form, "File2")->Names().empty());
}

TEST(DecryptWindow, WrongKeyAndRefusals) {
    Scene s;
    Scene::SaveKey(s.keys + "/other.png", RandomGrid(600, 400, 6), u"<AbCdEfGhIj><KlMnOpQrSt><02>");
    Scene::SaveKey(s.keys + "/short.png", RandomGrid(600, 400, 7), u"<AbCdEfGhIj><KlMnOpQrS");
    Scene::SaveKey(s.keys + "/small.png", RandomGrid(599, 400, 8), kComment);
    fs::copy_file(s.keys + "/key.png", s.keys + "/key.bmp");
    testing::WriteBytes(s.keys + "/broken.png", "not a picture");
    auto form = s.Open();
    auto* file2 = Control<FileList>(*form, "File2");
    auto* decrypt = Control<QPushButton>(*form, "Command3");

    // No image yet.
    decrypt->click();
    EXPECT_EQ(Shown(s.messages), std::vector<std::u16string>{u"No Image File Selected."});
    Control<FileList>(*form, "File1")->SelectByName("secret.png");

    // A key of another message finds nothing: empty text, red digest.
    s.messages.shown.clear();
    file2->SelectByName("other.png");
    decrypt->click();
    EXPECT_EQ(Shown(s.messages), std::vector<std::u16string>{u"Message Text Not Found."});
    EXPECT_EQ(Control<UniText>(*form, "Text1")->Text(), u"");
    EXPECT_EQ(Control<QLabel>(*form, "Label8")->text(), Q(UpperHex(CSHA256().SHA256(u""))));
    EXPECT_EQ(BackColorOf(Control<QLabel>(*form, "Label8")), QColor(225, 200, 200));

    // A comment of 23 characters turns the box red; a key one pixel too
    // narrow is refused before decoding.
    s.messages.shown.clear();
    file2->SelectByName("short.png");
    EXPECT_EQ(Control<UniText>(*form, "DelimiterText")->BackColor(), QColor(200, 100, 100));
    file2->SelectByName("small.png");
    decrypt->click();
    EXPECT_EQ(Shown(s.messages), std::vector<std::u16string>{u"Key Pixel Width Too Small."});

    // A key listed as .bmp is read as PNG all the same; a file that is no
    // picture is refused.
    s.messages.shown.clear();
    file2->SelectByName("key.bmp");
    EXPECT_TRUE(s.messages.shown.empty());
    file2->SelectByName("broken.png");
    EXPECT_EQ(Shown(s.messages), std::vector<std::u16string>{u"Please select a Key image file."});
    EXPECT_TRUE(Control<PictureBox>(*form, "Picture6")->IsEmpty());
    s.messages.shown.clear();
    decrypt->click();
    EXPECT_EQ(Shown(s.messages), std::vector<std::u16string>{u"Please select a Key image file."});
}

TEST(DecryptWindow, ImageThatCannotLoadKeepsThePreviousOne) {
    Scene s;
    testing::WriteBytes(s.images + "/damaged.png", "\x89PNG\r\n\x1a\n and nothing else");
    auto form = s.Open();
    auto* file1 = Control<FileList>(*form, "File1");
    file1->SelectByName("secret.png");
    file1->SelectByName("damaged.png");
    ASSERT_EQ(s.messages.shown.size(), 1u);
    EXPECT_EQ(s.messages.shown[0].text.rfind(u"Cannot load the image damaged.png: ", 0), 0u)
        << TextToUtf8(s.messages.shown[0].text);
    EXPECT_EQ(file1->FileName(), "secret.png");
    EXPECT_EQ(form->ImagePath(), s.images + "/secret.png");
    EXPECT_EQ(Control<QLabel>(*form, "Label9")->text(), "600 X 400");
}

TEST(DecryptWindow, BrowseAndDropSwitchTheListsFolder) {
    Scene s;
    TempFolder elsewhere;
    fs::copy_file(s.images + "/secret.png", elsewhere / "moved.png");
    fs::copy_file(s.keys + "/key.png", elsewhere / "moved-key.png");
    auto form = s.Open();
    s.openFileAnswer = elsewhere / "moved.png";
    Control<QPushButton>(*form, "Command1")->click();
    EXPECT_EQ(s.openFileTitle, "Select Image File");
    EXPECT_EQ(Control<FileList>(*form, "File1")->Path(), elsewhere.path());
    EXPECT_EQ(form->ImagePath(), elsewhere / "moved.png");
    s.openFileAnswer.clear();  // cancelled: nothing changes
    Control<QPushButton>(*form, "Command4")->click();
    EXPECT_EQ(s.openFileTitle, "Select Key File");
    EXPECT_EQ(Control<FileList>(*form, "File2")->Path(), s.keys);

    form->DropFile(elsewhere / "moved-key.png", true);
    EXPECT_EQ(Control<FileList>(*form, "File2")->Path(), elsewhere.path());
    EXPECT_EQ(form->KeyPath(), elsewhere / "moved-key.png");
    Control<QPushButton>(*form, "Command3")->click();
    EXPECT_EQ(Control<UniText>(*form, "Text1")->Text(), kMessage);
}

TEST(DecryptWindow, APhotoAsKeyIsFlagged) {
    Scene s;
    Scene::SaveKey(s.keys + "/photo.png", s.carrier, kComment);
    auto form = s.Open();
    Control<FileList>(*form, "File2")->SelectByName("photo.png");
    EXPECT_FALSE(Control<QLabel>(*form, "KeyWarning")->isHidden());
    EXPECT_EQ(Control<QLabel>(*form, "KeyWarning")->text(),
              "Key image does not look random; it does not protect the message.");
}

}  // namespace
}  // namespace corvane
