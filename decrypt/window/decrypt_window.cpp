#include "decrypt/window/form2.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <filesystem>

#include "core/code_page.hpp"
#include "core/hidden_message.hpp"
#include "core/image_decoder.hpp"
#include "core/key_randomness.hpp"
#include "core/platform.hpp"
#include "core/sequence_random.hpp"
#include "decrypt/decrypt_operation.hpp"
#include "decrypt/decrypt_texts.hpp"
#include "decrypt/encrypted_image.hpp"
#include "widgets/controls.hpp"
#include "widgets/file_dialogs.hpp"
#include "widgets/file_list.hpp"
#include "widgets/message_boxes.hpp"
#include "widgets/picture_box.hpp"
#include "widgets/program_icon.hpp"
#include "widgets/uni_text.hpp"
#include "widgets/window_style.hpp"

namespace corvane {
namespace {

namespace texts = decrypt_texts;

constexpr int kThumbnailSide = 320;
constexpr const char* kImagePattern = "*.png;*.bmp;*.jp2;*.jxr;*.j2k;*.tif;*.webp";
constexpr const char* kKeyPattern = "*.bmp;*.png";
constexpr QRgb kDelimiterGood = qRgb(225, 255, 225);
constexpr QRgb kDelimiterBad = qRgb(200, 100, 100);


}  // namespace

// The decrypt operation's outputs, written into the window's controls.
class Form2::Reporter : public DecryptReporter {
public:
    explicit Reporter(Form2& form) : form_(form) {}

    void Progress(std::u16string_view caption) override {
        QFont font = form_.Command3->font();
        font.setPointSize(14);
        form_.Command3->setFont(font);
        form_.Command3->setText(ToQString(caption));
    }
    void Log(std::u16string_view line) override { form_.ShowLog(line); }
    void Message(std::u16string_view text, MessageIcon icon) override { form_.messages_->Show(text, icon); }
    void PendingEvents() override { QCoreApplication::processEvents(); }
    void Busy(bool busy) override { form_.SetBusy(busy); }
    void ClearMessage() override { form_.Text1->SetText(u""); }
    bool MessageText(std::u16string_view text) override {
        form_.Text1->SetText(text);
        return form_.Text1->Text() == text;
    }
    void DigestLabel(std::u16string_view upperHex, uint32_t backColour) override {
        form_.Label8->setText(ToQString(upperHex));
        SetBackColor(form_.Label8, ColourOfRef(backColour));
    }
    void ElapsedLabel(std::u16string_view caption) override { form_.Label4->setText(ToQString(caption)); }
    void RefreshKeyList() override { form_.File2->Refresh(); }
    void RefreshImageList() override { form_.File1->Refresh(); }

private:
    Form2& form_;
};

Form2::Form2(Form2Hooks hooks, QWidget* parent) : QWidget(parent), hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("Form2"));
    messages_ = GivenOrQtMessageBoxes(hooks_.messages, this, ownMessages_);
    BuildControls();
    tools_ = std::make_unique<MessageTools>(Text1, this, messages_, hooks_.tools);
    tools_->Connect(toolButtons_);
    connect(File1, &FileList::Click, this, [this] { File1_Click(); });
    connect(File2, &FileList::Click, this, [this] { File2_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
    connect(Command8, &QPushButton::clicked, this, [this] { Command8_Click(); });
    setAcceptDrops(true);
    Form_Load();
}

Form2::~Form2() = default;

void Form2::BuildControls() {
    setWindowTitle(ToQString(texts::kWindowTitle));
    setWindowIcon(QPixmap::fromImage(DrawProgramIcon(ProgramIcon::Decrypt, 64)));
    ApplyWindowStyle(this);

    // The image side.
    Label1 = MakeLabel(this, "Label1", QStringLiteral("Encrypted Image:"));
    File1 = new FileList(this);
    File1->setObjectName(QStringLiteral("File1"));
    File1->SetPattern(kImagePattern);
    File1->setMaximumHeight(130);
    Command1 = MakeButton(this, "Command1", QStringLiteral("Browse"));
    Picture5 = new PictureBox(kThumbnailSide, this);
    Picture5->setObjectName(QStringLiteral("Picture5"));
    Label9 = MakeLabel(this, "Label9", QString());

    // The key side.
    Label2 = MakeLabel(this, "Label2", QStringLiteral("Selected Key:"));
    File2 = new FileList(this);
    File2->setObjectName(QStringLiteral("File2"));
    File2->SetPattern(kKeyPattern);
    File2->setMaximumHeight(130);
    Command4 = MakeButton(this, "Command4", QStringLiteral("Browse"));
    Picture6 = new PictureBox(kThumbnailSide, this);
    Picture6->setObjectName(QStringLiteral("Picture6"));
    Label10 = MakeLabel(this, "Label10", QString());
    Label11 = MakeLabel(this, "Label11", QStringLiteral("Key Delimiters:"));
    DelimiterText = new UniText(this);
    DelimiterText->setObjectName(QStringLiteral("DelimiterText"));
    DelimiterText->SetMultiLine(false);
    DelimiterText->SetLocked(true);
    DelimiterText->setFixedHeight(DelimiterText->fontMetrics().height() + 12);
    // Beyond the design: a key that is no key says so next to the key.
    KeyWarning = MakeLabel(this, "KeyWarning", QString());
    KeyWarning->setWordWrap(true);
    KeyWarning->setVisible(false);
    SetBackColor(KeyWarning, QColor::fromRgb(kBadLightColor));

    // The image XOR key plane, and the two full-size pictures it is made of
    // (kept off screen: the thumbnails show them).
    Label3 = MakeLabel(this, "Label3", QStringLiteral("Image XOR Key:"));
    Picture3 = new PictureBox(0, this);
    Picture3->setObjectName(QStringLiteral("Picture3"));
    Picture3Area = new QScrollArea(this);
    Picture3Area->setObjectName(QStringLiteral("Picture3Area"));
    Picture3Area->setWidget(Picture3);
    // The plane scrolls inside a box of its own: a large image never widens
    // the window.
    Picture3Area->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    Picture3Area->setMinimumSize(kThumbnailSide, kThumbnailSide * 3 / 4);
    Command2 = MakeButton(this, "Command2", QStringLiteral("Image XOR Key"));
    Picture1 = new PictureBox(0, this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setVisible(false);
    Picture2 = new PictureBox(0, this);
    Picture2->setObjectName(QStringLiteral("Picture2"));
    Picture2->setVisible(false);

    // The message and its tools.
    Label5 = MakeLabel(this, "Label5", QStringLiteral("Message:"));
    Text1 = new UniText(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->SetMultiLine(true);
    Text1->SetScrollBars(2);
    toolButtons_ = MakeMessageToolButtons(this, "Command5", "Command6");

    // Decryption.
    Command3 = MakeButton(this, "Command3", ToQString(texts::kDecryptButton));
    Command3->setMinimumWidth(180);
    Check2 = new QCheckBox(QStringLiteral("Delete Key Used"), this);
    Check2->setObjectName(QStringLiteral("Check2"));
    Check3 = new QCheckBox(QStringLiteral("Delete/Wipe Image"), this);
    Check3->setObjectName(QStringLiteral("Check3"));
    Check3->setToolTip(ToQString(texts::kWipeImageTip));
    Label7 = MakeLabel(this, "Label7", QStringLiteral("SHA256:"));
    Label8 = MakeLabel(this, "Label8", QString());
    Label8->setToolTip(ToQString(texts::kDigestTip));
    Label8->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Label8->setMinimumWidth(Label8->fontMetrics().horizontalAdvance(QString(64, QLatin1Char('0'))) + 8);
    Label4 = MakeLabel(this, "Label4", QString());
    LogLabel = MakeLabel(this, "LogLabel", QString());
    LogLabel->setWordWrap(true);
    Command8 = MakeButton(this, "Command8", QStringLiteral("Quit"));

    // Layout: the two pickers and the XOR plane side by side, the message
    // below taking the room the window is given.
    auto* pickers = new QGridLayout;
    pickers->addWidget(Label1, 0, 0);
    pickers->addWidget(File1, 1, 0);
    pickers->addWidget(Command1, 2, 0, Qt::AlignLeft);
    pickers->addWidget(Picture5, 3, 0, Qt::AlignCenter);
    pickers->addWidget(Label9, 4, 0);
    pickers->addWidget(Label2, 0, 1);
    pickers->addWidget(File2, 1, 1);
    pickers->addWidget(Command4, 2, 1, Qt::AlignLeft);
    pickers->addWidget(Picture6, 3, 1, Qt::AlignCenter);
    pickers->addWidget(Label10, 4, 1);
    auto* xorColumn = new QVBoxLayout;
    xorColumn->addWidget(Label11);
    xorColumn->addWidget(DelimiterText);
    xorColumn->addWidget(KeyWarning);
    xorColumn->addWidget(Label3);
    xorColumn->addWidget(Picture3Area, 1);
    xorColumn->addWidget(Command2, 0, Qt::AlignLeft);
    pickers->addLayout(xorColumn, 0, 2, 5, 1);
    pickers->setColumnStretch(0, 1);
    pickers->setColumnStretch(1, 1);
    pickers->setColumnStretch(2, 1);

    auto* tools = new QHBoxLayout;
    tools->addWidget(Label5);
    tools->addStretch(1);
    const MessageToolButtons& t = toolButtons_;
    for (QPushButton* b : {t.paste, t.copy, t.clear, t.colors, t.larger, t.smaller, t.bold, t.font, t.print})
        tools->addWidget(b);

    auto* decrypt = new QHBoxLayout;
    decrypt->addWidget(Command3);
    decrypt->addWidget(Check2);
    decrypt->addWidget(Check3);
    decrypt->addSpacing(12);
    decrypt->addWidget(Label7);
    decrypt->addWidget(Label8, 1);
    decrypt->addWidget(Label4);
    decrypt->addWidget(Command8);

    auto* main = new QVBoxLayout(this);
    main->addLayout(pickers);
    main->addLayout(tools);
    main->addWidget(Text1, 1);
    main->addLayout(decrypt);
    main->addWidget(LogLabel);

    // Keyboard order: the image, the key, the plane, the message, decrypt.
    setTabOrder(File1, Command1);
    setTabOrder(Command1, File2);
    setTabOrder(File2, Command4);
    setTabOrder(Command4, Command2);
    setTabOrder(Command2, Text1);
    setTabOrder(Text1, Command3);
    setTabOrder(Command3, Check2);
    setTabOrder(Check2, Check3);
    resize(1180, 860);
}

void Form2::Form_Load() {
    std::string root = hooks_.root;
    if (root.empty()) {
        root = PrepareWorkingRoot(ApplicationFolder(), {kEncryptedFolder, kKeysFolder});
    } else {
        CreateFolders(JoinPath(root, kEncryptedFolder));
        CreateFolders(JoinPath(root, kKeysFolder));
    }
    File1->SetPath(JoinPath(root, kEncryptedFolder));
    File2->SetPath(JoinPath(root, kKeysFolder));
}

void Form2::File1_Click() {
    const std::string path = File1->SelectedPath();
    if (path.empty()) return;
    ImageReader reader;
    std::string error;
    PixelGrid grid;
    if (!StartEncryptedImage(reader, path, error) || !reader.Decode(grid)) {
        if (error.empty()) error = reader.error();
        messages_->Information(u"Cannot load the image " + Utf8ToText(File1->FileName()) + u": " + Utf8ToText(error));
        // The previous image stays selected, in the list as in the window.
        const QSignalBlocker quiet(File1);
        if (!imagePath_.empty() && std::filesystem::path(imagePath_).parent_path() == File1->Path())
            File1->SelectByName(std::filesystem::path(imagePath_).filename().string());
        else
            File1->clearSelection();
        return;
    }
    imagePath_ = path;
    image_ = std::move(grid);
    Picture1->SetGrid(image_);
    Picture5->SetGrid(image_);
    Label9->setText(SizeCaption(image_.width, image_.height));
}

void Form2::File2_Click() {
    const std::string path = File2->SelectedPath();
    if (path.empty()) return;
    keyPath_ = path;
    key_ = KeyImage();
    Picture2->Clear();
    Picture6->Clear();
    Label10->clear();
    KeyWarning->setVisible(false);
    ImageReader reader;
    if (!reader.Open(path, kKeyLoadRule) || !DecodeKeyImage(reader, key_)) {
        key_ = KeyImage();
        DelimiterText->SetText(u"");
        messages_->Information(texts::kSelectKey);
        return;
    }
    DelimiterText->SetText(key_.comment);
    if (!key_.hasSeed) {
        messages_->Information(texts::kSelectKey);
        return;
    }
    DelimiterText->SetBackColor(QColor::fromRgb(key_.comment.size() >= 24 ? kDelimiterGood : kDelimiterBad));
    Picture2->SetGrid(key_.pixels);
    Picture6->SetGrid(key_.pixels);
    Label10->setText(SizeCaption(key_.pixels.width, key_.pixels.height));
    if (!KeyLooksRandom(key_.pixels)) {
        KeyWarning->setText(ToQString(kKeyNotRandomWarning));
        KeyWarning->setVisible(true);
    }
}

std::string Form2::Browse(const QString& title, const QString& filters) {
    return AskOpenFile(hooks_.openFile, this, title, filters, QString::fromStdString(ApplicationFolder()));
}

void Form2::Command1_Click() {
    const std::string path = Browse(ToQString(texts::kSelectImageTitle),
                                    QStringLiteral("PNG Files (*.png);;BMP Files (*.bmp);;JP2 Files (*.jp2);;"
                                                   "JXR Files (*.jxr);;J2K Files (*.j2k);;TIF Files (*.tif);;"
                                                   "WEBP Files (*.webp)"));
    if (!path.empty()) ShowInList(*File1, path, *messages_);
}

void Form2::Command4_Click() {
    const std::string path = Browse(ToQString(texts::kSelectKeyTitle), QStringLiteral("PNG Files (*.png)"));
    if (!path.empty()) ShowInList(*File2, path, *messages_);
}

void Form2::Command2_Click() {
    if (image_.empty()) return;
    Picture3->SetGrid(ImageXorKey(image_, key_.pixels));
}

void Form2::Command3_Click() {
    if (busy_) return;
    DecryptInputs in;
    in.imagePath = imagePath_;
    in.keyPath = keyPath_;
    in.keyComment = key_.comment;
    in.keySeed = key_.params.seed;
    in.wipeKey = Check2->isChecked();
    in.wipeImage = Check3->isChecked();
    LogLabel->clear();
    // The plane is shown as the decryption reads it.
    if (!in.imagePath.empty() && !in.keyPath.empty() && key_.pixels.width >= image_.width &&
        key_.pixels.height >= image_.height)
        Command2_Click();
    Reporter reporter(*this);
    DecryptImage(image_, key_.pixels, in, reporter, ProgramRandom());
    if (closeWhenDone_) close();
}

void Form2::Command8_Click() { close(); }

void Form2::DropFile(const std::string& path, bool asKey) {
    if (busy_) return;
    ShowInList(asKey ? *File2 : *File1, path, *messages_);
}

void Form2::SetBusy(bool busy) {
    busy_ = busy;
    // While the operation runs, nothing that changes its inputs is taken.
    for (QWidget* w : std::initializer_list<QWidget*>{File1, File2, Command1, Command4, Command2, Check2, Check3})
        w->setEnabled(!busy);
    Command3->setEnabled(!busy);
    QFont font = Command3->font();
    font.setPointSize(busy ? 14 : 10);
    Command3->setFont(font);
    SetBackColor(Command3, QColor::fromRgb(busy ? kButtonBusyColor : kButtonIdleColor));
    Command3->setText(ToQString(busy ? texts::kWorking : texts::kDecryptButton));
    if (busy) QApplication::setOverrideCursor(Qt::WaitCursor);
    else QApplication::restoreOverrideCursor();
}

void Form2::ShowLog(std::u16string_view line) {
    const QString text = LogLabel->text();
    LogLabel->setText(text.isEmpty() ? ToQString(line) : text + QStringLiteral("  ") + ToQString(line));
}

void Form2::closeEvent(QCloseEvent* event) {
    // A running decryption ends first (at its next point of letting events
    // run it is still on its way); the window closes when it is done.
    if (busy_) {
        closeWhenDone_ = true;
        event->ignore();
        return;
    }
    event->accept();
}

void Form2::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && !busy_) event->acceptProposedAction();
}

void Form2::dropEvent(QDropEvent* event) {
    const std::string path = DroppedFile(*event);
    if (path.empty()) return;
    const QWidget* target = childAt(event->position().toPoint());
    const bool asKey = IsWithin(target, {File2, Command4, Picture6, Label2, Label10, Label11, DelimiterText});
    DropFile(path, asKey);
    event->acceptProposedAction();
}

}  // namespace corvane
