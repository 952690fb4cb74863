#include "decrypt/window/decrypt_window.hpp"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <filesystem>

#include "core/code_page.hpp"
#include "core/hidden_message.hpp"
#include "core/image_decoder.hpp"
#include "core/key_randomness.hpp"
#include "core/number_format.hpp"
#include "core/platform.hpp"
#include "core/sequence_random.hpp"
#include "decrypt/decrypt_operation.hpp"
#include "decrypt/decrypt_texts.hpp"
#include "decrypt/encrypted_image.hpp"
#include "widgets/controls.hpp"
#include "widgets/file_list.hpp"
#include "widgets/message_boxes.hpp"
#include "widgets/picture_box.hpp"
#include "widgets/program_icon.hpp"
#include "widgets/uni_text.hpp"
#include "widgets/window_style.hpp"
#include "widgets/window_worker.hpp"

namespace corvane::decryptor {
namespace {

namespace texts = decrypt_texts;
namespace fs = std::filesystem;

constexpr int kThumbnailSide = 320;
constexpr QRgb kDelimiterGood = qRgb(225, 255, 225);
constexpr QRgb kDelimiterBad = qRgb(200, 100, 100);
constexpr QRgb kDigestPending = qRgb(200, 200, 200);
constexpr QRgb kDigestVerified = qRgb(200, 225, 200);
constexpr QRgb kDigestMismatch = qRgb(225, 200, 200);

PickerSetup ImageSide() {
    return {"Label1", QStringLiteral("Encrypted Image:"), "File1", "*.png;*.bmp;*.jp2;*.jxr;*.j2k;*.tif;*.webp",
            "Command1", QString(), "Picture5", "Label9", ToQString(texts::kSelectImageTitle),
            QStringLiteral("PNG Files (*.png);;BMP Files (*.bmp);;JP2 Files (*.jp2);;JXR Files (*.jxr);;"
                           "J2K Files (*.j2k);;TIF Files (*.tif);;WEBP Files (*.webp)")};
}

PickerSetup KeySide() {
    return {"Label2", QStringLiteral("Selected Key:"), "File2", "*.bmp;*.png", "Command4", QString(), "Picture6",
            "Label10", ToQString(texts::kSelectKeyTitle), QStringLiteral("PNG Files (*.png)")};
}

}  // namespace

// The decrypt operation's reports, carried from the worker thread to the
// window's controls.
class DecryptWindow::Reporter : public DecryptReporter {
public:
    Reporter(DecryptWindow& window, WindowWorker& worker) : window_(window), worker_(worker) {}

    void ProgressFraction(double fraction) override {
        worker_.post([w = &window_, fraction] { w->showProgress(fraction); });
    }
    void Log(std::u16string_view line) override {
        worker_.post([w = &window_, text = std::u16string(line)] { w->showLog(text); });
    }
    // The operation goes on once the user has seen the message.
    void Message(std::u16string_view text, MessageIcon icon) override {
        worker_.call([&] { window_.messages_->Show(text, icon); });
    }
    bool MessageFound(std::u16string_view text) override {
        bool shown = false;
        worker_.call([&] { shown = window_.showMessage(text); });
        return shown;
    }
    void Wiped(const std::string& path, bool) override {
        worker_.post([w = &window_, path] { w->showWiped(path); });
    }
    void DigestComputed(std::u16string_view upperHex, bool verified) override {
        worker_.post([w = &window_, hex = std::u16string(upperHex), verified] { w->showDigest(hex, verified); });
    }
    bool StopRequested() const override { return worker_.stopRequested(); }

private:
    DecryptWindow& window_;
    WindowWorker& worker_;
};

DecryptWindow::DecryptWindow(DecryptWindowHooks hooks, QWidget* parent)
    : QWidget(parent), hooks_(std::move(hooks)), worker_(std::make_unique<WindowWorker>()) {
    setObjectName(QStringLiteral("Form2"));
    messages_ = GivenOrQtMessageBoxes(hooks_.messages, this, ownMessages_);
    setWindowTitle(ToQString(texts::kWindowTitle));
    setWindowIcon(QPixmap::fromImage(DrawProgramIcon(ProgramIcon::Decrypt, 64)));
    ApplyWindowStyle(this);
    buildPickers();
    buildKeyColumn();
    buildMessageRow();
    buildResultsRow();
    layOut();
    tools_ = std::make_unique<MessageTools>(messageBox_, this, messages_, hooks_.tools);
    tools_->Connect(toolButtons_);
    connect(pickers_, &ImageKeyPickers::dropped, this, [this](const std::string& path, ImageKeyPickers::Side side) {
        dropFile(path, side == ImageKeyPickers::Side::Key);
    });
    connect(pickers_, &ImageKeyPickers::picked, this, [this](ImageKeyPickers::Side side) {
        side == ImageKeyPickers::Side::Key ? onKeyPicked() : onImagePicked();
    });
    connect(xorButton_, &QPushButton::clicked, this, &DecryptWindow::onImageXorKey);
    connect(decryptButton_, &QPushButton::clicked, this, &DecryptWindow::onDecrypt);
    connect(quitButton_, &QPushButton::clicked, this, &DecryptWindow::onQuit);
    // While a decryption runs, nothing that changes its inputs is taken; a
    // close waits for it to end, wipes and all.
    busy_ = new BusyGuard(this);
    busy_->lockWhileBusy({imageList(), keyList(), browseImageButton(), browseKeyButton(), xorButton_, wipeKeyCheck_,
                         wipeImageCheck_, decryptButton_});
    loadFolders();
}

DecryptWindow::~DecryptWindow() = default;

void DecryptWindow::buildPickers() {
    pickers_ = new ImageKeyPickers(this, ImageSide(), KeySide(), kThumbnailSide, hooks_.openFile, *messages_);
    // The generator saves each series in a folder of its own below Keys/.
    keyList()->SetListSubfolders(true);
}

void DecryptWindow::buildKeyColumn() {
    delimiterCaption_ = MakeLabel(this, "Label11", QStringLiteral("Key Delimiters:"));
    delimiterBox_ = MakeKeyDelimiterBox(this);
    // A key that is no key says so next to the key.
    keyWarning_ = MakeLabel(this, "KeyWarning");
    keyWarning_->setWordWrap(true);
    keyWarning_->setVisible(false);
    SetBackColor(keyWarning_, QColor::fromRgb(kBadLightColor));
    pickers_->addToKeySide({delimiterCaption_, delimiterBox_});

    // The image XOR key plane, and the two full-size pictures it is made of
    // (kept off screen: the thumbnails show them).
    planeCaption_ = MakeLabel(this, "Label3", QStringLiteral("Image XOR Key:"));
    plane_ = new PictureBox(0, this);
    plane_->setObjectName(QStringLiteral("Picture3"));
    planeArea_ = new QScrollArea(this);
    planeArea_->setObjectName(QStringLiteral("Picture3Area"));
    planeArea_->setWidget(plane_);
    // The plane scrolls inside a box of its own: a large image never widens
    // the window.
    planeArea_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    planeArea_->setMinimumSize(kThumbnailSide, kThumbnailSide * 3 / 4);
    xorButton_ = MakeButton(this, "Command2", QStringLiteral("Image XOR Key"));
    fullImage_ = new PictureBox(0, this);
    fullImage_->setObjectName(QStringLiteral("Picture1"));
    fullImage_->setVisible(false);
    fullKey_ = new PictureBox(0, this);
    fullKey_->setObjectName(QStringLiteral("Picture2"));
    fullKey_->setVisible(false);
}

void DecryptWindow::buildMessageRow() {
    messageCaption_ = MakeLabel(this, "Label5", QStringLiteral("Message:"));
    messageBox_ = new UniText(this);
    messageBox_->setObjectName(QStringLiteral("Text1"));
    messageBox_->SetMultiLine(true);
    messageBox_->SetScrollBars(2);
    toolButtons_ = MakeMessageToolButtons(this, "Command5", "Command6");
    toolButtons_.save = MakeSaveMessageButton(this, "Command10");
}

void DecryptWindow::buildResultsRow() {
    decryptButton_ = MakeButton(this, "Command3", ToQString(texts::kDecryptButton));
    decryptButton_->setMinimumWidth(180);
    idleButtonPoints_ = decryptButton_->font().pointSizeF();
    wipeKeyCheck_ = new QCheckBox(QStringLiteral("Delete Key Used"), this);
    wipeKeyCheck_->setObjectName(QStringLiteral("Check2"));
    wipeImageCheck_ = new QCheckBox(QStringLiteral("Delete/Wipe Image"), this);
    wipeImageCheck_->setObjectName(QStringLiteral("Check3"));
    wipeImageCheck_->setToolTip(ToQString(texts::kWipeImageTip));
    digestCaption_ = MakeLabel(this, "Label7", QStringLiteral("SHA256:"));
    digestLabel_ = MakeLabel(this, "Label8", QString(), ToQString(texts::kDigestTip));
    digestLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    digestLabel_->setMinimumWidth(digestLabel_->fontMetrics().horizontalAdvance(QString(64, QLatin1Char('0'))) + 8);
    elapsedLabel_ = MakeLabel(this, "Label4");
    logLabel_ = MakeLabel(this, "LogLabel");
    logLabel_->setWordWrap(true);
    quitButton_ = MakeButton(this, "Command8", QStringLiteral("Quit"));
}

// The two pickers and the XOR plane side by side, the message below taking
// the room the window is given.
void DecryptWindow::layOut() {
    QGridLayout* pickers = pickers_->layout();
    auto* xorColumn = new QVBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{delimiterCaption_, delimiterBox_, keyWarning_, planeCaption_})
        xorColumn->addWidget(w);
    xorColumn->addWidget(planeArea_, 1);
    xorColumn->addWidget(xorButton_, 0, Qt::AlignLeft);
    pickers->addLayout(xorColumn, 0, 2, 5, 1);
    pickers->setColumnStretch(2, 1);

    auto* tools = new QHBoxLayout;
    tools->addWidget(messageCaption_);
    tools->addStretch(1);
    const MessageToolButtons& t = toolButtons_;
    for (QPushButton* b : {t.paste, t.copy, t.save, t.clear, t.colors, t.larger, t.smaller, t.bold, t.font, t.print})
        tools->addWidget(b);

    auto* results = new QHBoxLayout;
    results->addWidget(decryptButton_);
    results->addWidget(wipeKeyCheck_);
    results->addWidget(wipeImageCheck_);
    results->addSpacing(12);
    results->addWidget(digestCaption_);
    results->addWidget(digestLabel_, 1);
    results->addWidget(quitButton_);

    // The elapsed time shares the log's line, whose text wraps: a caption
    // that appears after a run takes room from the log, never widens the
    // window.
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(logLabel_, 1);
    bottom->addWidget(elapsedLabel_, 0, Qt::AlignRight | Qt::AlignTop);

    auto* main = new QVBoxLayout(this);
    main->addLayout(pickers);
    main->addLayout(tools);
    main->addWidget(messageBox_, 1);
    main->addLayout(results);
    main->addLayout(bottom);

    // Keyboard order: the image, the key, the plane, the message, decrypt.
    const std::initializer_list<QWidget*> order = {imageList(), browseImageButton(), keyList(), browseKeyButton(),
                                                   xorButton_, messageBox_, decryptButton_, wipeKeyCheck_,
                                                   wipeImageCheck_};
    for (auto it = order.begin(); it + 1 != order.end(); ++it) setTabOrder(*it, *(it + 1));
    resize(1180, 860);
}

void DecryptWindow::loadFolders() {
    const std::string root = OpenWorkingRoot(hooks_.root, {kEncryptedFolder, kKeysFolder});
    pickers_->setFolders(JoinPath(root, kEncryptedFolder), JoinPath(root, kKeysFolder));
}

void DecryptWindow::onImagePicked() {
    FileList& list = *imageList();
    const std::string path = list.SelectedPath();
    if (path.empty()) return;
    ImageReader reader;
    std::string error;
    PixelGrid grid;
    if (!StartEncryptedImage(reader, path, error) || !reader.Decode(grid)) {
        if (error.empty()) error = reader.error();
        messages_->Information(u"Cannot load the image " + Utf8ToText(list.FileName()) + u": " + Utf8ToText(error));
        // The previous image stays selected, in the list as in the window.
        const QSignalBlocker quiet(&list);
        if (!imagePath_.empty() && fs::path(imagePath_).parent_path() == list.Path())
            list.SelectByName(fs::path(imagePath_).filename().string());
        else
            list.clearSelection();
        return;
    }
    imagePath_ = path;
    image_ = std::move(grid);
    fullImage_->SetGrid(image_);
    pickers_->showPicture(ImageKeyPickers::Side::Image, image_);
}

void DecryptWindow::onKeyPicked() {
    const std::string path = keyList()->SelectedPath();
    if (path.empty()) return;
    keyPath_ = path;
    key_ = KeyImage();
    fullKey_->Clear();
    pickers_->showPicture(ImageKeyPickers::Side::Key, PixelGrid());
    keyWarning_->setVisible(false);
    if (!LoadKeyImage(path, key_)) {
        delimiterBox_->SetText(u"");
        messages_->Information(texts::kSelectKey);
        return;
    }
    delimiterBox_->SetText(key_.comment);
    if (!key_.hasSeed) {
        messages_->Information(texts::kSelectKey);
        return;
    }
    delimiterBox_->SetBackColor(QColor::fromRgb(key_.comment.size() >= 24 ? kDelimiterGood : kDelimiterBad));
    fullKey_->SetGrid(key_.pixels);
    pickers_->showPicture(ImageKeyPickers::Side::Key, key_.pixels);
    if (!KeyLooksRandom(key_.pixels)) {
        keyWarning_->setText(ToQString(kKeyNotRandomWarning));
        keyWarning_->setVisible(true);
    }
}

void DecryptWindow::onImageXorKey() {
    if (image_.empty()) return;
    plane_->SetGrid(ImageXorKey(image_, key_.pixels));
}

void DecryptWindow::onDecrypt() {
    if (busy()) return;
    DecryptInputs in;
    in.imagePath = imagePath_;
    in.keyPath = keyPath_;
    in.keyComment = key_.comment;
    in.keySeed = key_.params.seed;
    in.wipeKey = wipeKeyCheck_->isChecked();
    in.wipeImage = wipeImageCheck_->isChecked();
    logLabel_->clear();
    // The plane is shown as the decryption reads it.
    if (!in.imagePath.empty() && !in.keyPath.empty() && key_.pixels.width >= image_.width &&
        key_.pixels.height >= image_.height)
        onImageXorKey();
    if (const std::u16string_view refusal = DecryptRefusal(image_, key_.pixels, in); !refusal.empty()) {
        messages_->Information(refusal);
        return;
    }
    elapsedLabel_->clear();
    setBusyLook(true);
    messageBox_->SetText(u"");
    digestLabel_->clear();
    SetBackColor(digestLabel_, QColor::fromRgb(kDigestPending));
    // The image, the key and the program's generator are the run's alone
    // until it ends: everything that could change them is locked meanwhile.
    auto result = std::make_shared<DecryptResult>();
    worker_->start(
        [this, in, result] {
            Reporter reporter(*this, *worker_);
            *result = DecryptImage(image_, key_.pixels, in, reporter, ProgramRandom());
        },
        [this, result] { finishDecrypt(*result); });
}

void DecryptWindow::finishDecrypt(const DecryptResult& result) {
    elapsedLabel_->setText(ToQString(texts::ElapsedCaption(result.elapsedMilliseconds)));
    setBusyLook(false);
    emit decryptFinished();
}

void DecryptWindow::onQuit() { close(); }

void DecryptWindow::dropFile(const std::string& path, bool onKeySide) {
    if (busy()) return;
    pickers_->showFile(onKeySide ? ImageKeyPickers::Side::Key : ImageKeyPickers::Side::Image, path);
}

void DecryptWindow::setBusyLook(bool busy) {
    if (busy) busy_->begin();
    // Back to the caption's own size after a run, not some other fixed one.
    QFont font = decryptButton_->font();
    font.setPointSizeF(busy ? 14 : idleButtonPoints_);
    decryptButton_->setFont(font);
    SetBackColor(decryptButton_, QColor::fromRgb(busy ? kButtonBusyColor : kButtonIdleColor));
    decryptButton_->setText(ToQString(busy ? texts::kWorking : texts::kDecryptButton));
    // Last: a close asked for meanwhile happens here.
    if (!busy) busy_->end();
}

void DecryptWindow::showProgress(double fraction) {
    QFont font = decryptButton_->font();
    font.setPointSize(14);
    decryptButton_->setFont(font);
    decryptButton_->setText(ToQString(FormatNumber(fraction, "0.00%")));
}

bool DecryptWindow::showMessage(std::u16string_view text) {
    messageBox_->SetText(text);
    return messageBox_->Text() == text;
}

void DecryptWindow::showDigest(std::u16string_view upperHex, bool verified) {
    digestLabel_->setText(ToQString(upperHex));
    SetBackColor(digestLabel_, QColor::fromRgb(verified ? kDigestVerified : kDigestMismatch));
}

void DecryptWindow::showWiped(const std::string& path) {
    if (path == keyPath_) keyList()->Refresh();
    if (path == imagePath_) imageList()->Refresh();
}

void DecryptWindow::showLog(std::u16string_view line) {
    const QString text = logLabel_->text();
    logLabel_->setText(text.isEmpty() ? ToQString(line) : text + QStringLiteral("  ") + ToQString(line));
}

}  // namespace corvane::decryptor
