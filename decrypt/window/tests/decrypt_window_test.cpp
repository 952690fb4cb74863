// The decryptor's window driven as a user drives it: files picked in the
// lists, through Browse or dropped, buttons pressed, controls read back.
#include "decrypt/window/decrypt_window.hpp"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <QSignalSpy>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/code_page.hpp"
#include "core/hidden_message.hpp"
#include "core/image_file.hpp"
#include "core/platform.hpp"
#include "core/sha256.hpp"
#include "core/text_file.hpp"
#include "decrypt/decrypt_texts.hpp"
#include "encrypt/encrypt_operation.hpp"
#include "test_support.hpp"
#include "widgets/tests/window_test_scene.hpp"
#include "widgets/file_list.hpp"
#include "widgets/message_boxes.hpp"
#include "widgets/picture_box.hpp"
#include "widgets/uni_text.hpp"
#include "widgets/window_style.hpp"

namespace corvane::decryptor {
namespace {

namespace fs = std::filesystem;
using testing::PhotoPath;
using testing::RandomGrid;
using testing::TempFolder;

const std::u16string kComment = u"<Qx7!~pL9aZ><Rb2#kT8mWq><01>";
constexpr int kBigSide = 1500;
const std::u16string kMessage = u"Meet at the caf\u00e9 \u2615 \U0001F5DD\uFE0F";

QString Q(std::u16string_view t) { return QString::fromUtf16(t.data(), static_cast<qsizetype>(t.size())); }

// A working root with an encrypted image and its key in the lists' folders.
struct Scene : testing::WindowTestScene {
    std::string images = root / "Encrypted Images";
    std::string keys = root / "Keys";
    PixelGrid carrier;
    PixelGrid key = RandomGrid(600, 400, 5);

    Scene() {
        fs::create_directories(images);
        fs::create_directories(keys);
        LoadGrid(PhotoPath("coffee.png"), carrier);
        SaveKey(keys + "/key.png", key, kComment);
        Encrypt(images + "/secret.png", carrier, kMessage);
    }
    static void SaveKey(const std::string& path, const PixelGrid& grid, const std::u16string& comment) {
        SaveOptions options;
        options.comment = comment;
        ASSERT_EQ(SaveGridFile(grid, OutputKind::Key, path, options), SaveStatus::Saved);
    }
    void Encrypt(const std::string& path, PixelGrid image, const std::u16string& message) {
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
        ASSERT_EQ(EncryptImage(image, key, in, steps, quiet, rng).status, EncryptStatus::Saved);
    }
    std::unique_ptr<DecryptWindow> Open() { return std::make_unique<DecryptWindow>(Hooks()); }
};

// Presses "Decrypt Image" and waits for the run it starts, if any, to end.
void PressDecrypt(DecryptWindow& form) {
    form.decryptButton()->click();
    ASSERT_TRUE(testing::WaitUntil([&] { return !form.busy(); }));
}

TEST(DecryptWindow, OpensOnTheWorkingFoldersWithItsNamedControls) {
    Scene s;
    auto form = s.Open();
    EXPECT_EQ(form->windowTitle(), "Corvane-[Decrypt]");
    EXPECT_EQ(form->imageList()->Path(), s.images);
    EXPECT_EQ(form->keyList()->Path(), s.keys);
    EXPECT_EQ(form->imageList()->Names(), std::vector<std::string>{"secret.png"});
    EXPECT_EQ(form->decryptButton()->text(), "Decrypt Image");
    EXPECT_EQ(form->wipeImageCheck()->toolTip(), "Delete image to prevent forensic comparisions.");
    EXPECT_EQ(form->digestLabel()->toolTip(), "SHA256 hash value of the message.");
    EXPECT_EQ(form->toolButtons().clear->toolTip(), "Clear textbox text.");
    EXPECT_FALSE(form->wipeKeyCheck()->isChecked());
    EXPECT_FALSE(form->wipeImageCheck()->isChecked());
    // Tests, drops and accessibility tools find the controls by these names.
    const std::vector<std::pair<QWidget*, const char*>> named = {
        {form->imageList(), "File1"},         {form->browseImageButton(), "Command1"},
        {form->imageThumbnail(), "Picture5"}, {form->imageSizeLabel(), "Label9"},
        {form->keyList(), "File2"},           {form->browseKeyButton(), "Command4"},
        {form->keyThumbnail(), "Picture6"},   {form->keySizeLabel(), "Label10"},
        {form->delimiterBox(), "DelimiterText"}, {form->keyWarning(), "KeyWarning"},
        {form->plane(), "Picture3"},          {form->imageXorKeyButton(), "Command2"},
        {form->fullImage(), "Picture1"},      {form->fullKey(), "Picture2"},
        {form->messageBox(), "Text1"},        {form->decryptButton(), "Command3"},
        {form->wipeKeyCheck(), "Check2"},     {form->wipeImageCheck(), "Check3"},
        {form->digestLabel(), "Label8"},      {form->elapsedLabel(), "Label4"},
        {form->logLabel(), "LogLabel"},       {form->quitButton(), "Command8"},
        {form->toolButtons().clear, "Command9"}, {form->toolButtons().save, "Command10"},
    };
    for (const auto& [control, name] : named) EXPECT_EQ(control->objectName(), QString::fromLatin1(name));
    for (const char* name : {"Label1", "Label2", "Label11", "Label3", "Label5", "Label7", "Command5", "Command6",
                             "Command7", "Command11", "Command12", "Command13", "Command14", "Command15"})
        EXPECT_NE(form->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
}

TEST(DecryptWindow, PickedFilesDecryptToTheMessageWithAGreenDigest) {
    Scene s;
    auto form = s.Open();
    ASSERT_TRUE(form->imageList()->SelectByName("secret.png"));
    ASSERT_TRUE(form->keyList()->SelectByName("key.png"));
    EXPECT_EQ(form->imageSizeLabel()->text(), "600 X 400");
    EXPECT_EQ(form->keySizeLabel()->text(), "600 X 400");
    EXPECT_EQ(form->imageThumbnail()->Grid().width, 320);
    EXPECT_EQ(form->delimiterBox()->Text(), kComment);
    EXPECT_EQ(form->delimiterBox()->BackColor(), QColor(225, 255, 225));
    EXPECT_TRUE(form->keyWarning()->isHidden());

    PressDecrypt(*form);
    EXPECT_TRUE(s.messages.shown.empty()) << TextToUtf8(s.Shown().front());
    EXPECT_EQ(form->messageBox()->Text(), kMessage);
    EXPECT_EQ(form->digestLabel()->text(), Q(UpperHex(CSHA256().SHA256(kMessage))));
    EXPECT_EQ(BackColorOf(form->digestLabel()), QColor(200, 225, 200));
    EXPECT_EQ(form->elapsedLabel()->text(), "[0 Seconds]");
    // The button is itself again, and the plane shows image XOR key.
    EXPECT_EQ(form->decryptButton()->text(), "Decrypt Image");
    EXPECT_TRUE(form->decryptButton()->isEnabled());
    EXPECT_TRUE(form->imageList()->isEnabled());
    EXPECT_EQ(form->plane()->Grid(),
              ImageXorKey(form->fullImage()->Grid(), s.key));
}

TEST(DecryptWindow, WipesAfterTheMessageAndRefreshesTheLists) {
    Scene s;
    auto form = s.Open();
    form->imageList()->SelectByName("secret.png");
    form->keyList()->SelectByName("key.png");
    form->wipeKeyCheck()->setChecked(true);
    form->wipeImageCheck()->setChecked(true);
    PressDecrypt(*form);
    EXPECT_EQ(form->messageBox()->Text(), kMessage);
    EXPECT_FALSE(fs::exists(s.keys + "/key.png"));
    EXPECT_FALSE(fs::exists(s.images + "/secret.png"));
    EXPECT_TRUE(form->imageList()->Names().empty());
    EXPECT_TRUE(form->keyList()->Names().empty());
}

TEST(DecryptWindow, WrongKeyAndRefusals) {
    Scene s;
    Scene::SaveKey(s.keys + "/other.png", RandomGrid(600, 400, 6), u"<AbCdEfGhIj><KlMnOpQrSt><02>");
    Scene::SaveKey(s.keys + "/short.png", RandomGrid(600, 400, 7), u"<AbCdEfGhIj><KlMnOpQrS");
    Scene::SaveKey(s.keys + "/small.png", RandomGrid(599, 400, 8), kComment);
    fs::copy_file(s.keys + "/key.png", s.keys + "/key.bmp");
    testing::WriteBytes(s.keys + "/broken.png", "not a picture");
    auto form = s.Open();
    auto* file2 = form->keyList();

    // No image yet.
    PressDecrypt(*form);
    EXPECT_EQ(s.Shown(), std::vector<std::u16string>{u"No Image File Selected."});
    form->imageList()->SelectByName("secret.png");

    // A key of another message finds nothing: empty text, red digest.
    s.messages.shown.clear();
    file2->SelectByName("other.png");
    PressDecrypt(*form);
    EXPECT_EQ(s.Shown(), std::vector<std::u16string>{u"Message Text Not Found."});
    EXPECT_EQ(form->messageBox()->Text(), u"");
    EXPECT_EQ(form->digestLabel()->text(), Q(UpperHex(CSHA256().SHA256(u""))));
    EXPECT_EQ(BackColorOf(form->digestLabel()), QColor(225, 200, 200));

    // A comment of 23 characters turns the box red; a key one pixel too
    // narrow is refused before decoding.
    s.messages.shown.clear();
    file2->SelectByName("short.png");
    EXPECT_EQ(form->delimiterBox()->BackColor(), QColor(200, 100, 100));
    file2->SelectByName("small.png");
    PressDecrypt(*form);
    EXPECT_EQ(s.Shown(), std::vector<std::u16string>{u"Key Pixel Width Too Small."});

    // A key listed as .bmp is read as PNG all the same; a file that is no
    // picture is refused.
    s.messages.shown.clear();
    file2->SelectByName("key.bmp");
    EXPECT_TRUE(s.messages.shown.empty());
    file2->SelectByName("broken.png");
    EXPECT_EQ(s.Shown(), std::vector<std::u16string>{u"Please select a Key image file."});
    EXPECT_TRUE(form->keyThumbnail()->IsEmpty());
    s.messages.shown.clear();
    PressDecrypt(*form);
    EXPECT_EQ(s.Shown(), std::vector<std::u16string>{u"Please select a Key image file."});
}

TEST(DecryptWindow, ImageThatCannotLoadKeepsThePreviousOne) {
    Scene s;
    testing::WriteBytes(s.images + "/damaged.png", "\x89PNG\r\n\x1a\n and nothing else");
    auto form = s.Open();
    auto* file1 = form->imageList();
    file1->SelectByName("secret.png");
    file1->SelectByName("damaged.png");
    ASSERT_EQ(s.messages.shown.size(), 1u);
    EXPECT_EQ(s.messages.shown[0].text.rfind(u"Cannot load the image damaged.png: ", 0), 0u)
        << TextToUtf8(s.messages.shown[0].text);
    EXPECT_EQ(file1->FileName(), "secret.png");
    EXPECT_EQ(form->imagePath(), s.images + "/secret.png");
    EXPECT_EQ(form->imageSizeLabel()->text(), "600 X 400");
}

TEST(DecryptWindow, BrowseAndDropSwitchTheListsFolder) {
    Scene s;
    TempFolder elsewhere;
    fs::copy_file(s.images + "/secret.png", elsewhere / "moved.png");
    fs::copy_file(s.keys + "/key.png", elsewhere / "moved-key.png");
    auto form = s.Open();
    s.openFileAnswer = elsewhere / "moved.png";
    form->browseImageButton()->click();
    EXPECT_EQ(s.openFileTitle, "Select Image File");
    EXPECT_EQ(form->imageList()->Path(), elsewhere.path());
    EXPECT_EQ(form->imagePath(), elsewhere / "moved.png");
    s.openFileAnswer.clear();  // cancelled: nothing changes
    form->browseKeyButton()->click();
    EXPECT_EQ(s.openFileTitle, "Select Key File");
    EXPECT_EQ(form->keyList()->Path(), s.keys);

    form->dropFile(elsewhere / "moved-key.png", true);
    EXPECT_EQ(form->keyList()->Path(), elsewhere.path());
    EXPECT_EQ(form->keyPath(), elsewhere / "moved-key.png");
    PressDecrypt(*form);
    EXPECT_EQ(form->messageBox()->Text(), kMessage);
}

// A file dropped on the window goes to the list of the side it lands on;
// while a decryption runs, no drag is taken.
TEST(DecryptWindow, DropsLandOnTheSideUnderThemAndWaitWhileBusy) {
    Scene s;
    TempFolder elsewhere;
    fs::copy_file(s.keys + "/key.png", elsewhere / "dropped-key.png");
    fs::copy_file(s.images + "/secret.png", elsewhere / "dropped.png");
    auto form = s.Open();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    auto drop = [&](const std::string& path, QWidget* onto) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
        const QPointF at = onto->mapTo(form.get(), onto->rect().center());
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.get(), &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent dropEvent(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.get(), &dropEvent);
        return true;
    };
    ASSERT_TRUE(drop(elsewhere / "dropped-key.png", form->delimiterBox()));
    EXPECT_EQ(form->keyPath(), elsewhere / "dropped-key.png");
    ASSERT_TRUE(drop(elsewhere / "dropped.png", form->messageBox()));
    EXPECT_EQ(form->imagePath(), elsewhere / "dropped.png");
    EXPECT_EQ(form->imageList()->Path(), elsewhere.path());

    QSignalSpy finished(form.get(), &DecryptWindow::decryptFinished);
    form->decryptButton()->click();
    ASSERT_TRUE(form->busy());
    EXPECT_FALSE(drop(s.keys + "/key.png", form->keyList()));
    ASSERT_TRUE(finished.count() > 0 || finished.wait(60000));
    EXPECT_EQ(form->keyPath(), elsewhere / "dropped-key.png");
    EXPECT_EQ(form->messageBox()->Text(), kMessage);
}

// The generator saves keys in series folders below Keys/: they are listed
// there, picked from the list or with Browse, and decrypt.
TEST(DecryptWindow, KeysInSeriesFoldersAreListedAndDecrypt) {
    Scene s;
    fs::create_directories(s.keys + "/s1");
    fs::rename(s.keys + "/key.png", s.keys + "/s1/00001.png");
    auto form = s.Open();
    EXPECT_EQ(form->keyList()->Names(), std::vector<std::string>{"s1/00001.png"});
    form->imageList()->SelectByName("secret.png");
    ASSERT_TRUE(form->keyList()->SelectByName("s1/00001.png"));
    EXPECT_EQ(form->keyPath(), s.keys + "/s1/00001.png");
    PressDecrypt(*form);
    EXPECT_EQ(form->messageBox()->Text(), kMessage);

    // Browse starts in the working root, and a key picked in a series keeps
    // the list on Keys/.
    std::string dialogFolder;
    MainWindowHooks hooks = s.Hooks();
    hooks.openFile = [&](QWidget*, const QString&, const QString&, const QString& folder) {
        dialogFolder = folder.toStdString();
        return s.keys + "/s1/00001.png";
    };
    DecryptWindow browsed(hooks);
    browsed.browseKeyButton()->click();
    EXPECT_EQ(dialogFolder, WorkingRoot(ApplicationFolder()));
    EXPECT_EQ(browsed.keyList()->Path(), s.keys);
    EXPECT_EQ(browsed.keyList()->FileName(), "s1/00001.png");
    EXPECT_EQ(browsed.keyPath(), s.keys + "/s1/00001.png");
}

// "Save..." beside Copy writes the decrypted message as UTF-8, for its owner
// alone, and asks before replacing a file.
TEST(DecryptWindow, SavesTheMessageBesideCopy) {
    Scene s;
    const std::string saved = s.root / "message.txt";
    int32_t offered = -1;
    MainWindowHooks hooks = s.Hooks();
    TextFileChoice answer{saved, kEncodingUtf8NoMark};
    hooks.tools.chooseSaveFile = [&](QWidget*, int32_t encoding) {
        offered = encoding;
        return std::optional<TextFileChoice>(answer);
    };
    DecryptWindow form(hooks);
    form.imageList()->SelectByName("secret.png");
    form.keyList()->SelectByName("key.png");
    PressDecrypt(form);
    QPushButton* save = form.toolButtons().save;
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(save->text(), "Save...");
    save->click();
    EXPECT_EQ(offered, kEncodingUtf8NoMark);
    std::ifstream in(saved, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, TextToUtf8(kMessage));
    EXPECT_EQ(fs::status(saved).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

    // The same name again: asked, and kept on "No"; replaced on "Yes".
    answer.encoding = kEncodingUtf16BE;
    save->click();
    EXPECT_EQ(s.messages.questions, std::vector<std::u16string>{u"message.txt already exists. Replace it?"});
    EXPECT_EQ(LoadTextFile(saved, 1).bom, kEncodingUtf8NoMark);
    s.messages.answer = true;
    save->click();
    const LoadFileResult back = LoadTextFile(saved, 1);
    EXPECT_EQ(back.bom, kEncodingUtf16BE);
    EXPECT_EQ(back.text, kMessage);
    EXPECT_TRUE(s.messages.shown.empty());
}

// Captions that change with a decryption (the digest, the elapsed time, the
// busy button) never make the window wider, and the button looks as before.
TEST(DecryptWindow, WidthAndButtonStayThroughADecryption) {
    Scene s;
    auto form = s.Open();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QCoreApplication::processEvents();
    const int width = form->width();
    const QFont buttonFont = form->decryptButton()->font();
    form->imageList()->SelectByName("secret.png");
    form->keyList()->SelectByName("key.png");
    QCoreApplication::processEvents();
    EXPECT_EQ(form->width(), width);
    QSignalSpy finished(form.get(), &DecryptWindow::decryptFinished);
    form->decryptButton()->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(form->width(), width);
    ASSERT_TRUE(finished.wait(60000));
    QCoreApplication::processEvents();
    EXPECT_EQ(form->messageBox()->Text(), kMessage);
    EXPECT_FALSE(form->digestLabel()->text().isEmpty());
    EXPECT_EQ(form->width(), width);
    EXPECT_EQ(form->decryptButton()->font().pointSizeF(), buttonFont.pointSizeF());
    EXPECT_EQ(form->decryptButton()->text(), "Decrypt Image");
}

TEST(DecryptWindow, APhotoAsKeyIsFlagged) {
    Scene s;
    Scene::SaveKey(s.keys + "/photo.png", s.carrier, kComment);
    auto form = s.Open();
    form->keyList()->SelectByName("photo.png");
    EXPECT_FALSE(form->keyWarning()->isHidden());
    EXPECT_EQ(form->keyWarning()->text(),
              "Key image does not look random; it does not protect the message.");
}

// The decryption runs beside the window: the press returns at once, the
// window repaints and moves while the image is read, and its inputs stay
// locked until the message is shown.
TEST(DecryptWindow, DecryptsOffTheWindowsThreadWhileItRepaintsAndMoves) {
    Scene s;
    // Large enough that reading it outlasts a few paints.
    const PixelGrid bigKey = RandomGrid(kBigSide * 4 / 3, kBigSide, 11);
    Scene::SaveKey(s.keys + "/big-key.png", bigKey, kComment);
    s.key = bigKey;
    s.Encrypt(s.images + "/big.png", RandomGrid(kBigSide * 4 / 3, kBigSide, 12), kMessage);
    auto form = s.Open();
    ASSERT_TRUE(form->imageList()->SelectByName("big.png"));
    ASSERT_TRUE(form->keyList()->SelectByName("big-key.png"));
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    testing::PaintCounter counter(form.get(), [&] { return form->busy(); });

    QSignalSpy finished(form.get(), &DecryptWindow::decryptFinished);
    form->decryptButton()->click();
    ASSERT_TRUE(form->busy());
    EXPECT_FALSE(form->imageList()->isEnabled());
    EXPECT_FALSE(form->wipeKeyCheck()->isEnabled());
    form->move(form->pos() + QPoint(40, 30));
    form->update();
    const QPoint moved = form->pos();
    testing::WaitUntil([&] { return counter.paintsDuring > 0 || !form->busy(); });
    EXPECT_GT(counter.paintsDuring, 0);
    // The run may have ended while the paints were awaited.
    ASSERT_TRUE(finished.count() > 0 || finished.wait(120000));
    EXPECT_FALSE(form->busy());
    EXPECT_EQ(form->pos(), moved);
    EXPECT_TRUE(form->imageList()->isEnabled());
    EXPECT_EQ(form->messageBox()->Text(), kMessage);
    EXPECT_EQ(form->decryptButton()->text(), "Decrypt Image");
}

// Closing the window while it decrypts lets the run end (wipes and all) and
// then closes it.
TEST(DecryptWindow, ACloseWhileDecryptingWaitsForTheRun) {
    Scene s;
    auto form = s.Open();
    form->imageList()->SelectByName("secret.png");
    form->keyList()->SelectByName("key.png");
    form->wipeKeyCheck()->setChecked(true);
    form->show();
    QSignalSpy finished(form.get(), &DecryptWindow::decryptFinished);
    form->decryptButton()->click();
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    ASSERT_TRUE(finished.count() > 0 || finished.wait(60000));
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->messageBox()->Text(), kMessage);
    EXPECT_FALSE(fs::exists(s.keys + "/key.png"));
}

}  // namespace
}  // namespace corvane::decryptor
