#include "encrypt/window/form2.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "core/code_page.hpp"
#include "core/image_decoder.hpp"
#include "core/key_randomness.hpp"
#include "core/number_format.hpp"
#include "core/platform.hpp"
#include "core/sequence_random.hpp"
#include "encrypt/carrier_analysis.hpp"
#include "encrypt/carrier_loading.hpp"
#include "encrypt/encrypt_texts.hpp"
#include "encrypt/window/form1.hpp"
#include "encrypt/window/form3.hpp"
#include "encrypt/window/form4.hpp"
#include "widgets/controls.hpp"
#include "widgets/file_dialogs.hpp"
#include "widgets/file_list.hpp"
#include "widgets/message_boxes.hpp"
#include "widgets/picture_box.hpp"
#include "widgets/program_icon.hpp"
#include "widgets/uni_text.hpp"
#include "widgets/window_style.hpp"

namespace corvane::encryptor {
namespace {

namespace texts = encrypt_texts;

constexpr int kPreviewSide = 320;
constexpr const char* kCarrierPattern = "*.png;*.bmp;*.jpg;*.jp2;*.jxr;*.j2k;*.tif;*.webp;*.nef;*.*";
constexpr const char* kKeyPattern = "*.png;*.bmp";
constexpr QRgb kDelimiterGood = qRgb(225, 255, 225);
constexpr QRgb kDelimiterBad = qRgb(200, 100, 100);
constexpr QRgb kStatisticsText = qRgb(128, 0, 0);
constexpr const char* kOtherFormats[] = {"JP2", "JXR", "J2K", "TIFF", "WEBP"};
constexpr OutputKind kOtherKinds[] = {OutputKind::Jp2, OutputKind::Jxr, OutputKind::J2k, OutputKind::Tif,
                                      OutputKind::Webp};
constexpr const char* kRatios[] = {"1.00:1", "0.50:1", "0.25:1", "0.20:1", "0.10:1"};
constexpr double kRatioValues[] = {1.0, 0.5, 0.25, 0.2, 0.1};

QColor ColourOf(IndicatorColour c) { return QColor(c.r, c.g, c.b); }

}  // namespace

// The encrypt operation's outputs, written into the window's controls.
class Form2::Reporter : public EncryptReporter {
public:
    explicit Reporter(Form2& form) : form_(form) {}

    void Progress(std::u16string_view caption) override { form_.Command6->setText(ToQString(caption)); }
    void Status(std::u16string_view text) override { form_.Text2->setPlainText(ToQString(text)); }
    void Log(std::u16string_view line) override { form_.Text2->appendPlainText(ToQString(line)); }
    void Message(std::u16string_view text, MessageIcon icon) override { form_.messages_->Show(text, icon); }
    void PendingEvents() override { QCoreApplication::processEvents(); }
    void StatsLabel(std::u16string_view caption, uint32_t backColour) override {
        form_.Label4->setText(ToQString(caption));
        SetBackColor(form_.Label4, ColourOfRef(backColour));
    }
    void DigestLabel(std::u16string_view upperHex) override { form_.Label8->setText(ToQString(upperHex)); }
    void Busy(bool busy) override { form_.SetBusy(busy); }
    void RefreshKeyList() override { form_.File2->Refresh(); }
    void RefreshImageList() override { form_.File1->Refresh(); }

private:
    Form2& form_;
};

Form2::Form2(Form2Hooks hooks, QWidget* parent) : QWidget(parent), hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("Form2"));
    messages_ = GivenOrQtMessageBoxes(hooks_.messages, this, ownMessages_);
    BuildControls();
    MessageToolsHooks toolHooks = hooks_.tools;
    tools_ = std::make_unique<MessageTools>(Text1, this, messages_, toolHooks);
    tools_->Connect(toolButtons_);
    connect(Command10, &QPushButton::clicked, this, [this] { Command10_Click(); });
    connect(File1, &FileList::Click, this, [this] { File1_Click(); });
    connect(File2, &FileList::Click, this, [this] { File2_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
    connect(Text1, &UniText::Change, this, [this] { Text1_Change(); });
    connect(Check1, &QPushButton::clicked, this, [this] { Check1_Click(); });
    connect(Check5, &QCheckBox::clicked, this, [this] { Check5_Click(); });
    connect(Command6, &QPushButton::clicked, this, [this] { Command6_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command16, &QPushButton::clicked, this, [this] { Command16_Click(); });
    connect(Command8, &QPushButton::clicked, this, [this] { Command8_Click(); });
    setAcceptDrops(true);
    Form_Load();
}

Form2::~Form2() = default;

void Form2::BuildControls() {
    setWindowTitle(QStringLiteral("Corvane-[Encrypt]"));
    setWindowIcon(QPixmap::fromImage(DrawProgramIcon(ProgramIcon::Encrypt, 64)));
    ApplyWindowStyle(this);

    Label1 = MakeLabel(this, "Label1", QStringLiteral("Select Image:"));
    File1 = new FileList(this);
    File1->setObjectName(QStringLiteral("File1"));
    File1->SetPattern(kCarrierPattern);
    File1->setMaximumHeight(130);
    Command2 = MakeButton(this, "Command2", QStringLiteral("Browse"),
                          QStringLiteral("You can load most image file formats, including RAW digital camera files "
                                         "such as Nikon NEF.  Select \"*.*\" to load various image file formats."));
    Label2 = MakeLabel(this, "Label2", QStringLiteral("Select Key:"));
    File2 = new FileList(this);
    File2->setObjectName(QStringLiteral("File2"));
    File2->SetPattern(kKeyPattern);
    File2->setMaximumHeight(130);
    Command3 = MakeButton(this, "Command3", QStringLiteral("Browse"));

    // The full-size pictures are the operations' pixels; the previews show
    // them on screen (the full-size ones appear in the steps viewer).
    Picture1 = new PictureBox(0, this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setVisible(false);
    Picture2 = new PictureBox(0, this);
    Picture2->setObjectName(QStringLiteral("Picture2"));
    Picture2->setVisible(false);
    Picture3 = new PictureBox(kPreviewSide, this);
    Picture3->setObjectName(QStringLiteral("Picture3"));
    Picture4 = new PictureBox(kPreviewSide, this);
    Picture4->setObjectName(QStringLiteral("Picture4"));
    Label9 = MakeLabel(this, "Label9", QString());
    Label10 = MakeLabel(this, "Label10", QString());
    Label12 = MakeLabel(this, "Label12", QString());
    QFont bold = Label12->font();
    bold.setBold(true);
    Label12->setFont(bold);
    Label11 = MakeLabel(this, "Label11", QStringLiteral("Key Delimiters:"));
    DelimiterText = new UniText(this);
    DelimiterText->setObjectName(QStringLiteral("DelimiterText"));
    DelimiterText->SetMultiLine(false);
    DelimiterText->SetLocked(true);
    DelimiterText->setToolTip(QStringLiteral("The key delimiter texts are used to denote the start and end of the "
                                             "message embedded into the image file."));
    DelimiterText->setFixedHeight(DelimiterText->fontMetrics().height() + 12);

    Label5 = MakeLabel(this, "Label5", QStringLiteral("Message:"));
    Text1 = new UniText(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->SetMultiLine(true);
    Text1->SetScrollBars(2);
    Label14 = MakeLabel(this, "Label14", QString(),
                        QStringLiteral("Byte length of Message Text / Estimated % of LSBs used to encode message."));
    Label14->setFont(bold);
    SetBackColor(Label14, QColor::fromRgb(kButtonIdleColor));
    Label6 = MakeLabel(this, "Label6", QStringLiteral("LSB Altered:"));
    Label4 = MakeLabel(this, "Label4", QString(),
                       QStringLiteral("Percent of image LSBs used to store message. <5% is Good."));
    Label7 = MakeLabel(this, "Label7", QStringLiteral("SHA256:"));
    Label8 = MakeLabel(this, "Label8", QString(), QStringLiteral("SHA256 hash value of the message."));
    Label8->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Label3 = MakeLabel(this, "Label3", QStringLiteral("Status:"));
    // The status is selectable, so that the saved file's path can be copied.
    Text2 = new QPlainTextEdit(this);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setReadOnly(true);
    Text2->setMaximumHeight(110);
    Label13 = MakeLabel(this, "Label13", QStringLiteral("File Name Prefix:"));
    Text3 = new QLineEdit(this);
    Text3->setObjectName(QStringLiteral("Text3"));
    Text3->setToolTip(QStringLiteral("If you enter text here it will be \nused as a prefix for the naming of the file."));

    Frame1 = new QGroupBox(QStringLiteral("File Type:"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Option1 = new QRadioButton(QStringLiteral("PNG"), Frame1);
    Option1->setObjectName(QStringLiteral("Option1"));
    Option1->setChecked(true);
    Option2 = new QRadioButton(QStringLiteral("BMP"), Frame1);
    Option2->setObjectName(QStringLiteral("Option2"));
    Option3 = new QRadioButton(QStringLiteral("Other"), Frame1);
    Option3->setObjectName(QStringLiteral("Option3"));
    Combo1 = new QComboBox(Frame1);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setToolTip(QStringLiteral("Image file format save type."));
    auto* frameRow = new QHBoxLayout(Frame1);
    for (QWidget* w : std::initializer_list<QWidget*>{Option1, Option2, Option3, Combo1}) frameRow->addWidget(w);

    Check4 = MakeCheck(this, "Check4", QStringLiteral("Compress"), QStringLiteral("Compress message data."), true);
    Check2 = MakeCheck(this, "Check2", QStringLiteral("Delete/Wipe Key"),
                       QStringLiteral("It is strongly recommended practice that you delete any key after you have "
                                      "used it to encrypt a message."),
                       false);
    Check3 = MakeCheck(this, "Check3", QStringLiteral("Delete/Wipe Original"),
                       QStringLiteral("Delete original image to prevent forensic comparisions."), false);
    Check6 = MakeButton(this, "Check6", QStringLiteral("Max Width"),
                        QStringLiteral("If selected, image will be resized to this maximum pixel width."), true);
    Text4 = new QLineEdit(QStringLiteral("1200"), this);
    Text4->setObjectName(QStringLiteral("Text4"));
    Text4->setToolTip(QStringLiteral("Maximum image pixel width."));
    Text4->setMaximumWidth(80);
    Check7 = MakeButton(this, "Check7", QStringLiteral("Resize"),
                        QStringLiteral("If selected, image will be resized by this ratio."), true);
    Combo2 = new QComboBox(this);
    Combo2->setObjectName(QStringLiteral("Combo2"));
    Combo2->setToolTip(QStringLiteral("Ratio for image resize."));
    Check5 = MakeCheck(this, "Check5", QStringLiteral("Encodability Score %"),
                       QStringLiteral("Encodability above 90% is good."), false);
    SetBackColor(Check5, ColourOf(kScoreIdle));
    Label15 = MakeLabel(this, "Label15", QString(),
                        QStringLiteral("Image stats for encoding: encoding color variation rating, same color pixels "
                                       "next to each other, black pixels, white pixels (25% weighting for each "
                                       "factor)."));
    QPalette red = Label15->palette();
    red.setColor(QPalette::WindowText, QColor::fromRgb(kStatisticsText));
    Label15->setPalette(red);
    Check1 = MakeButton(this, "Check1", QStringLiteral("Show Steps"),
                        QStringLiteral("Shows steps to encoding image using XOR pixel function."), true);
    Command6 = MakeButton(this, "Command6", QStringLiteral("Encrypt Image"));
    Command6->setMinimumWidth(170);
    Command1 = MakeButton(this, "Command1", QStringLiteral("About"));
    Command16 = MakeButton(this, "Command16", QStringLiteral("Analysis"),
                           QStringLiteral("Show image statistics and comparisons."));
    toolButtons_ = MakeMessageToolButtons(this, "Command4", "Command5");
    Command10 = MakeButton(this, "Command10", QStringLiteral("Load..."), QStringLiteral("Load a text file."));
    Command8 = MakeButton(this, "Command8", QStringLiteral("Quit"));

    // Layout: carrier and key side by side with their previews; the options;
    // the message taking the room the window is given; the status.
    auto* pickers = new QGridLayout;
    pickers->addWidget(Label1, 0, 0);
    pickers->addWidget(File1, 1, 0);
    pickers->addWidget(Command2, 2, 0, Qt::AlignLeft);
    pickers->addWidget(Picture3, 3, 0, Qt::AlignCenter);
    pickers->addWidget(Label9, 4, 0);
    pickers->addWidget(Label2, 0, 1);
    pickers->addWidget(File2, 1, 1);
    auto* keyButtons = new QHBoxLayout;
    keyButtons->addWidget(Command3);
    keyButtons->addStretch(1);
    keyButtons->addWidget(Label12);
    pickers->addLayout(keyButtons, 2, 1);
    pickers->addWidget(Picture4, 3, 1, Qt::AlignCenter);
    pickers->addWidget(Label10, 4, 1);
    pickers->setColumnStretch(0, 1);
    pickers->setColumnStretch(1, 1);

    auto* options = new QGridLayout;
    options->addWidget(Frame1, 0, 0, 1, 3);
    options->addWidget(Check4, 1, 0);
    options->addWidget(Check2, 2, 0);
    options->addWidget(Check3, 3, 0);
    options->addWidget(Check6, 1, 1);
    options->addWidget(Text4, 1, 2);
    options->addWidget(Check7, 2, 1);
    options->addWidget(Combo2, 2, 2);
    options->addWidget(Check1, 3, 1);
    options->addWidget(Check5, 4, 0, 1, 3);
    options->addWidget(Label15, 5, 0, 1, 3);
    options->addWidget(Label11, 6, 0, 1, 3);
    options->addWidget(DelimiterText, 7, 0, 1, 3);
    options->addWidget(Label13, 8, 0);
    options->addWidget(Text3, 8, 1, 1, 2);
    options->setRowStretch(9, 1);
    auto* top = new QHBoxLayout;
    top->addLayout(pickers, 3);
    top->addLayout(options, 1);

    auto* tools = new QHBoxLayout;
    tools->addWidget(Label5);
    tools->addWidget(Label14);
    tools->addStretch(1);
    const MessageToolButtons& t = toolButtons_;
    for (QPushButton* b : {t.paste, t.copy, t.clear, Command10, t.larger, t.smaller, t.bold, t.font, t.print, t.colors})
        tools->addWidget(b);

    auto* results = new QHBoxLayout;
    results->addWidget(Command6);
    results->addWidget(Label6);
    results->addWidget(Label4);
    results->addSpacing(12);
    results->addWidget(Label7);
    results->addWidget(Label8, 1);
    results->addWidget(Command16);
    results->addWidget(Command1);
    results->addWidget(Command8);

    auto* main = new QVBoxLayout(this);
    main->addLayout(top);
    main->addLayout(tools);
    main->addWidget(Text1, 1);
    main->addLayout(results);
    main->addWidget(Label3);
    main->addWidget(Text2);

    setTabOrder(File1, Command2);
    setTabOrder(Command2, File2);
    setTabOrder(File2, Command3);
    setTabOrder(Command3, Text1);
    setTabOrder(Text1, Command6);
    resize(1240, 900);
}

void Form2::Form_Load() {
    ProgramRandom().Seed(TickCount());
    root_ = hooks_.root;
    if (root_.empty()) {
        root_ = PrepareWorkingRoot(ApplicationFolder(), {kImagesFolder, kKeysFolder, kEncryptedFolder});
    } else {
        for (const char* folder : {kImagesFolder, kKeysFolder, kEncryptedFolder}) CreateFolders(JoinPath(root_, folder));
    }
    File1->SetPath(JoinPath(root_, kImagesFolder));
    File2->SetPath(JoinPath(root_, kKeysFolder));
    for (const char* item : kOtherFormats) Combo1->addItem(QString::fromLatin1(item));
    Combo1->setCurrentIndex(0);
    for (const char* item : kRatios) Combo2->addItem(QString::fromLatin1(item));
    Combo2->setCurrentIndex(0);
    Form1::Source source{[this]() -> const PixelGrid& { return carrier_; },
                         [this]() -> const PixelGrid& { return key_.pixels; }, [this] { RunStep2ByHand(); }};
    form1_ = new Form1(steps_, source, this);
    form1_->hide();
}

void Form2::ClearCarrier() {
    carrier_ = PixelGrid();
    Picture1->Clear();
    Picture3->Clear();
    Label9->setText(SizeCaption(carrier_.width, carrier_.height));
    Label12->clear();
    Label12->setToolTip(QString());
    SetBackColor(Label12, QColor::fromRgb(kWindowBackColor));
    Label15->clear();
    if (form1_) form1_->ClearFirstPicture();
}

void Form2::File1_Click() {
    // The batch selects carriers itself; the user cannot while it runs.
    if (busy_ || analysing_) return;
    const std::string path = File1->SelectedPath();
    if (path.empty()) return;
    imagePath_ = path;
    CarrierResize resize;
    if (Check6->isChecked()) {
        const std::string text = Text4->text().trimmed().toStdString();
        char* end = nullptr;
        const double v = std::strtod(text.c_str(), &end);
        if (!text.empty() && *end == '\0' && std::isfinite(v) && Nearest(v) >= 1 && Nearest(v) <= 1000000)
            resize.maxWidth = static_cast<int>(Nearest(v));
    }
    if (Check7->isChecked()) resize.ratio = kRatioValues[std::max(0, Combo2->currentIndex())];

    ImageReader reader;
    PixelGrid loaded;
    if (!reader.Open(path, LoadRuleForPath(path)) || !DecodeCarrier(reader, resize, loaded)) {
        // No stale picture, size or verdict is left from the previous carrier.
        ClearCarrier();
        Text2->setPlainText(QStringLiteral("Cannot load the carrier image ") + QString::fromStdString(File1->FileName()) +
                            QStringLiteral(": ") + QString::fromStdString(reader.error()));
        Text1_Change();
        return;
    }
    if (form1_) form1_->ClearFirstPicture();
    carrier_ = std::move(loaded);
    Picture1->SetGrid(carrier_);
    Picture3->SetGrid(carrier_);
    Label9->setText(SizeCaption(carrier_.width, carrier_.height));
    if (!keyPath_.empty()) CheckKeySize();
    Text1_Change();
    if (Check5->isChecked() && carrier_.width != 1 && carrier_.height != 1) RunCarrierAnalysis();
}

void Form2::RunCarrierAnalysis() {
    // While the analysis lets events run, nothing it reads can change.
    struct AnalysisReporter : corvane::Reporter {
        Form2& form;
        explicit AnalysisReporter(Form2& f) : form(f) {}
        void Progress(std::u16string_view caption) override { form.Check5->setText(ToQString(caption)); }
        void PendingEvents() override { QCoreApplication::processEvents(); }
    } reporter(*this);
    SetBackColor(Check5, ColourOf(kScoreIdle));
    analysing_ = true;
    UpdateEnabled();
    const CarrierAnalysisResult result = AnalyseCarrier(carrier_, reporter);
    analysing_ = false;
    UpdateEnabled();
    Label15->setText(ToQString(result.statistics));
    Check5->setText(ToQString(result.caption));
    SetBackColor(Check5, ColourOf(result.colour));
    if (closeWhenDone_) close();
}

void Form2::File2_Click() {
    if (busy_ || analysing_ || batch_) return;
    const std::string path = File2->SelectedPath();
    if (path.empty()) return;
    keyPath_ = path;
    ImageReader reader;
    KeyImage key;
    std::string error;
    if (!reader.Open(path, kKeyLoadRule) || !DecodeKeyImage(reader, key, &error)) {
        // The design ends quietly here; the status says why.
        if (error.empty()) error = reader.error();
        Text2->setPlainText(QStringLiteral("Cannot load the key image ") + QString::fromStdString(File2->FileName()) +
                            QStringLiteral(": ") + QString::fromStdString(error));
        return;
    }
    key_ = std::move(key);
    keyWiped_ = false;
    DelimiterText->SetText(key_.comment);
    keySeed_ = key_.hasSeed ? key_.params.seed : 0;
    DelimiterText->SetBackColor(QColor::fromRgb(key_.comment.size() < 24 ? kDelimiterBad : kDelimiterGood));
    Picture2->SetGrid(key_.pixels);
    Picture4->SetGrid(key_.pixels);
    Label10->setText(SizeCaption(key_.pixels.width, key_.pixels.height));
    if (!imagePath_.empty()) CheckKeySize();
}

void Form2::CheckKeySize() {
    const PixelGrid& key = key_.pixels;
    const QString size = QString::number(key.width) + QStringLiteral("x") + QString::number(key.height);
    const bool tooSmall = key.width < carrier_.width || key.height < carrier_.height;
    QString caption = tooSmall ? QStringLiteral("Key NOGO") : QStringLiteral("Key OK");
    QString tip = tooSmall ? QStringLiteral("NOGO. Key image is too small (") + size +
                                 QStringLiteral(") for the selected image.")
                           : QStringLiteral("OK. Key image is large enough (") + size +
                                 QStringLiteral(") for the selected image.");
    QColor colour = QColor::fromRgb(tooSmall ? kBadColor : kGoodColor);
    // A key without randomness protects nothing, whatever its size.
    if (!key.empty() && !KeyLooksRandom(key)) {
        caption += QStringLiteral(" - not random");
        tip += QStringLiteral("\n") + ToQString(kKeyNotRandomWarning);
        if (!tooSmall) colour = QColor::fromRgb(kWarningColor);
    }
    Label12->setText(caption);
    Label12->setToolTip(tip);
    SetBackColor(Label12, colour);
}

void Form2::Text1_Change() {
    const LsbUsage usage = UpdateLsbUsage(Text1->Text(), carrier_.width, carrier_.height);
    Label14->setText(ToQString(usage.caption));
    if (usage.recolour) SetBackColor(Label14, ColourOf(usage.colour));
}

std::string Form2::Browse(const QString& title, const QString& filters) {
    return AskOpenFile(hooks_.openFile, this, title, filters, QString::fromStdString(ApplicationFolder()));
}

void Form2::Command2_Click() {
    const std::string path =
        Browse(QStringLiteral("Select Image File"),
               QStringLiteral("PNG Files (*.png);;BMP Files (*.bmp);;JPG Files (*.jpg);;JP2 Files (*.jp2);;"
                              "JXR Files (*.jxr);;J2K Files (*.j2k);;TIF Files (*.tif);;NEF Files (*.nef);;"
                              "WEBP Files (*.webp);;RAW Files (*.*)"));
    if (!path.empty()) ShowInList(*File1, path, *messages_);
}

void Form2::Command3_Click() {
    const std::string path = Browse(QStringLiteral("Select Key File"), QStringLiteral("PNG Files (*.png)"));
    if (!path.empty()) ShowInList(*File2, path, *messages_);
}

void Form2::Command10_Click() {
    if (tools_->LoadTextFile()) Text1_Change();
}

void Form2::Check1_Click() {
    if (Check1->isChecked()) {
        form1_->show();
        form1_->ShowPlanes();
    } else {
        form1_->hide();
    }
}

void Form2::Check5_Click() {
    if (!Check5->isChecked()) {
        Check5->setText(QStringLiteral("Encodability %"));
        SetBackColor(Check5, ColourOf(kScoreIdle));
        Label15->setVisible(false);
    } else {
        Label15->clear();
        Label15->setVisible(true);
    }
}

OutputKind Form2::SelectedOutput() const {
    if (Option1->isChecked()) return OutputKind::Png;
    if (Option2->isChecked()) return OutputKind::Bmp;
    return kOtherKinds[std::clamp(Combo1->currentIndex(), 0, 4)];
}

EncryptInputs Form2::Inputs() const {
    EncryptInputs in;
    in.message = Text1->Text();
    in.imagePath = imagePath_;
    in.keyPath = keyPath_;
    in.keyComment = key_.comment;
    in.keySeed = keySeed_;
    in.compress = Check4->isChecked();
    in.outputKind = SelectedOutput();
    in.prefix = Text3->text().toStdU16String();
    in.wipeKey = Check2->isChecked() && !keyWiped_;
    in.wipeCarrier = Check3->isChecked();
    in.root = root_;
    in.fallbackRoot = hooks_.fallbackRoot;
    return in;
}

void Form2::Command6_Click() {
    if (busy_) return;
    const EncryptInputs in = Inputs();
    Reporter reporter(*this);
    lastResult_ = EncryptImage(carrier_, key_.pixels, in, steps_, reporter, ProgramRandom());
    if (lastResult_.keyWiped) keyWiped_ = true;
    // The repaired carrier is what the window shows from now on.
    Picture1->SetGrid(carrier_);
    if (!lastResult_.savedPath.empty()) {
        std::error_code ec;
        const std::filesystem::path full = std::filesystem::absolute(lastResult_.savedPath, ec);
        Text2->appendPlainText(QStringLiteral("Saved as: ") + QString::fromStdString(full.lexically_normal().string()));
    }
    if (form1_->isVisible()) form1_->ShowPlanes();
    if (closeWhenDone_) close();
}

void Form2::RunStep2ByHand() {
    // The steps viewer's step 2: the window's message into the parities, its
    // progress on "Encrypt Image" (left at "100.00%", as the design has it).
    Reporter reporter(*this);
    steps_.Step2(carrier_, key_.pixels, Text1->Text(), key_.comment, keySeed_, Check4->isChecked(), ProgramRandom(),
                 reporter);
}

std::u16string Form2::MessageText() const { return Text1->Text(); }

void Form2::UpdateEnabled() {
    // While an encryption, a score or a batch runs, nothing that changes
    // their inputs is taken.
    const bool locked = busy_ || analysing_ || batch_;
    for (QWidget* w : std::initializer_list<QWidget*>{File1, File2, Command2, Command3, Command10, Frame1, Check2,
                                                      Check3, Check4, Check5, Check6, Check7, Text3, Text4, Combo2,
                                                      Command6, form1_})
        if (w) w->setEnabled(!locked);
    // The message is kept as it is, but stays readable and copyable.
    Text1->SetLocked(locked);
    for (QPushButton* b : {toolButtons_.paste, toolButtons_.clear}) b->setEnabled(!locked);
}

void Form2::SetBatchRunning(bool running) {
    batch_ = running;
    UpdateEnabled();
    if (!running && closeWhenDone_) close();
}

void Form2::AppendStatus(std::u16string_view line) { Text2->appendPlainText(ToQString(line)); }

void Form2::SetBusy(bool busy) {
    busy_ = busy;
    UpdateEnabled();
    QFont font = Command6->font();
    font.setPointSize(busy ? 14 : 10);
    Command6->setFont(font);
    SetBackColor(Command6, QColor::fromRgb(busy ? kButtonBusyColor : kButtonIdleColor));
    Command6->setText(busy ? QStringLiteral("0.00%") : QStringLiteral("Encrypt Image"));
    if (busy) QApplication::setOverrideCursor(Qt::WaitCursor);
    else QApplication::restoreOverrideCursor();
}

void Form2::Command1_Click() {
    if (!form3_) form3_ = new Form3(*this, *messages_, this);
    form3_->show();
    form3_->raise();
}

void Form2::Command16_Click() {
    if (!form4_) form4_ = new Form4(*this, *messages_, Form4::Dialogs{hooks_.openFile, hooks_.saveFile}, this);
    form4_->show();
    form4_->raise();
}

void Form2::Command8_Click() { close(); }

void Form2::DropFile(const std::string& path, bool onKeySide) {
    if (busy_ || analysing_ || batch_) return;
    if (path.size() >= 4 && path.compare(path.size() - 4, 4, ".txt") == 0) {
        if (Text1->LoadFile(path, 1)) Text1_Change();
        return;
    }
    ShowInList(onKeySide ? *File2 : *File1, path, *messages_);
}

void Form2::closeEvent(QCloseEvent* event) {
    // A running encryption or score ends first, a batch after its current
    // carrier; the windows close after.
    if (busy_ || analysing_ || batch_) {
        if (batch_ && form3_) form3_->Command2_Click();
        closeWhenDone_ = true;
        event->ignore();
        return;
    }
    for (QWidget* w : std::initializer_list<QWidget*>{form1_, form3_, form4_})
        if (w) w->close();
    event->accept();
}

void Form2::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && !busy_ && !analysing_ && !batch_) event->acceptProposedAction();
}

void Form2::dropEvent(QDropEvent* event) {
    const std::string path = DroppedFile(*event);
    if (path.empty()) return;
    const QWidget* target = childAt(event->position().toPoint());
    const bool keySide = IsWithin(target, {File2, Command3, Picture4, Label2, Label10, Label12, DelimiterText});
    DropFile(path, keySide);
    event->acceptProposedAction();
}

}  // namespace corvane::encryptor
