#include "encrypt/window/encrypt_window.hpp"

#include <QThread>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
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
#include "encrypt/detectability.hpp"
#include "encrypt/encrypt_texts.hpp"
#include "encrypt/used_keys.hpp"
#include "encrypt/window/steps_window.hpp"
#include "encrypt/window/batch_box.hpp"
#include "encrypt/window/analysis_window.hpp"
#include "widgets/controls.hpp"
#include "widgets/file_dialogs.hpp"
#include "widgets/file_list.hpp"
#include "widgets/message_boxes.hpp"
#include "widgets/picture_box.hpp"
#include "widgets/program_icon.hpp"
#include "widgets/uni_text.hpp"
#include "widgets/window_style.hpp"
#include "widgets/window_worker.hpp"

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
// Long enough that a prediction waits for a pause in typing, short enough
// that the verdict follows the message.
constexpr int kDetectabilityPauseMs = 400;
constexpr const char16_t* kHighQuestion =
    u"Standard steganalysis will likely detect this message in this image. Use a larger or busier photo, a "
    u"shorter message, or compression. Encrypt anyway?";

QRgb DetectabilityBack(Detectability level) {
    switch (level) {
        case Detectability::Low: return kGoodColor;
        case Detectability::Medium: return kWarningColor;
        case Detectability::High: return kBadColor;
    }
    return kWindowBackColor;
}

QColor ColourOf(IndicatorColour c) { return QColor(c.r, c.g, c.b); }

PictureBox* HiddenPicture(QWidget* window, const char* name) {
    auto* picture = new PictureBox(0, window);
    picture->setObjectName(QString::fromLatin1(name));
    picture->setVisible(false);
    return picture;
}

PickerSetup CarrierSide() {
    return {"Label1", QStringLiteral("Select Image:"), "File1", kCarrierPattern, "Command2",
            QStringLiteral("You can load most image file formats, including RAW digital camera files "
                           "such as Nikon NEF.  Select \"*.*\" to load various image file formats."),
            "Picture3", "Label9", QStringLiteral("Select Image File"),
            QStringLiteral("PNG Files (*.png);;BMP Files (*.bmp);;JPG Files (*.jpg);;JP2 Files (*.jp2);;"
                           "JXR Files (*.jxr);;J2K Files (*.j2k);;TIF Files (*.tif);;NEF Files (*.nef);;"
                           "WEBP Files (*.webp);;RAW Files (*.*)")};
}

PickerSetup KeySide() {
    return {"Label2", QStringLiteral("Select Key:"), "File2", kKeyPattern, "Command3", QString(), "Picture4",
            "Label10", QStringLiteral("Select Key File"), QStringLiteral("PNG Files (*.png)")};
}

QFont BoldFont(const QWidget* control) {
    QFont bold = control->font();
    bold.setBold(true);
    return bold;
}

}  // namespace

// The encrypt operation's reports, carried to the window's thread and shown
// there: the captions and colours are the window's. Also used on the
// window's own thread (a step run by hand), where it shows them at once.
class EncryptWindow::RunReporter : public EncryptReporter {
public:
    RunReporter(EncryptWindow* window, std::string keyPath)
        : window_(window), worker_(*window->worker_), keyPath_(std::move(keyPath)) {}

    void ProgressFraction(double fraction) override {
        // Only a changed caption is worth a trip to the window.
        QString caption = ToQString(FormatNumber(fraction, "0.00%"));
        if (caption == lastCaption_) return;
        lastCaption_ = caption;
        show([w = window_, caption] { w->encryptButton_->setText(caption); });
    }
    void Status(std::u16string_view text) override {
        show([w = window_, q = ToQString(text)] { w->statusText_->setPlainText(q); });
    }
    void Log(std::u16string_view line) override {
        show([w = window_, q = ToQString(line)] { w->statusText_->appendPlainText(q); });
    }
    void Message(std::u16string_view text, MessageIcon icon) override {
        // The run waits until the user has acknowledged the message.
        auto shown = [w = window_, text, icon] { w->messages_->Show(text, icon); };
        if (QThread::currentThread() == window_->thread()) shown();
        else worker_.call(shown);
    }
    void Statistics(const EncodeStats& stats) override {
        show([w = window_, q = ToQString(stats.Text()), c = stats.Colour()] {
            w->lsbAlteredLabel_->setText(q);
            SetBackColor(w->lsbAlteredLabel_, ColourOfRef(c));
        });
    }
    void EncodingFailed() override {
        show([w = window_] {
            w->lsbAlteredLabel_->setText(ToQString(texts::kUnsuccessful));
            SetBackColor(w->lsbAlteredLabel_, QColor::fromRgb(kBadColor));
        });
    }
    void DigestComputed(std::u16string_view upperHex) override {
        show([w = window_, q = ToQString(upperHex)] { w->digestLabel_->setText(q); });
    }
    void WorkStarted() override {
        show([w = window_] { w->setBusy(true); });
    }
    void WorkEnded() override {
        show([w = window_] { w->setBusy(false); });
    }
    void Wiped(const std::string& path) override {
        const bool key = path == keyPath_;
        show([w = window_, key] { (key ? w->keyList() : w->carrierList())->Refresh(); });
    }

private:
    template <typename F>
    void show(F f) {
        if (QThread::currentThread() == window_->thread()) f();
        else worker_.post(std::move(f));
    }

    EncryptWindow* window_;
    WindowWorker& worker_;
    std::string keyPath_;
    QString lastCaption_;
};

EncryptWindow::EncryptWindow(EncryptWindowHooks hooks, QWidget* parent)
    : QWidget(parent), hooks_(std::move(hooks)), worker_(std::make_unique<WindowWorker>()) {
    setObjectName(QStringLiteral("Form2"));
    messages_ = GivenOrQtMessageBoxes(hooks_.messages, this, ownMessages_);
    buildControls();
    MessageToolsHooks toolHooks = hooks_.tools;
    tools_ = std::make_unique<MessageTools>(messageText_, this, messages_, toolHooks);
    tools_->Connect(toolButtons_);
    connect(loadTextButton_, &QPushButton::clicked, this, [this] { onLoadText(); });
    // The pickers' Browse buttons open their dialogs themselves.
    connect(pickers_, &ImageKeyPickers::picked, this, [this](ImageKeyPickers::Side side) {
        side == ImageKeyPickers::Side::Key ? onKeyClicked() : onCarrierClicked();
    });
    connect(pickers_, &ImageKeyPickers::dropped, this, [this](const std::string& path, ImageKeyPickers::Side side) {
        dropFile(path, side == ImageKeyPickers::Side::Key);
    });
    connect(messageText_, &UniText::Change, this, [this] { onMessageChanged(); });
    // The compression and the key's sub-grid change the verdict as the
    // message does.
    detectabilityTimer_ = new QTimer(this);
    detectabilityTimer_->setSingleShot(true);
    detectabilityTimer_->setInterval(kDetectabilityPauseMs);
    connect(detectabilityTimer_, &QTimer::timeout, this, [this] { onDetectabilityPause(); });
    connect(compressCheck_, &QCheckBox::toggled, this, [this] { onMessageChanged(); });
    connect(delimiterText_, &UniText::Change, this, [this] { onMessageChanged(); });
    connect(showStepsButton_, &QPushButton::clicked, this, [this] { onShowSteps(); });
    connect(scoreCheck_, &QCheckBox::clicked, this, [this] { onScoreToggled(); });
    connect(encryptButton_, &QPushButton::clicked, this, [this] { onEncrypt(); });
    connect(aboutButton_, &QPushButton::clicked, this, [this] { onAbout(); });
    connect(analysisButton_, &QPushButton::clicked, this, [this] { onAnalysis(); });
    connect(quitButton_, &QPushButton::clicked, this, [this] { onQuit(); });
    // A close during a batch stops it after its current carrier.
    guard_ = new BusyGuard(this);
    connect(guard_, &BusyGuard::closeDeferred, this, [this] {
        if (batch_ && batchBox_) batchBox_->onStop();
    });
    load();
    guard_->lockWhileBusy({carrierList(), keyList(), browseCarrierButton(), browseKeyButton(), loadTextButton_,
                           fileTypeFrame_, wipeKeyCheck_, wipeCarrierCheck_, compressCheck_, scoreCheck_,
                           maxWidthButton_, resizeButton_, prefixEdit_, maxWidthEdit_, ratioCombo_, encryptButton_,
                           stepsWindow_, toolButtons_.paste, toolButtons_.clear});
}

EncryptWindow::~EncryptWindow() {
    // A prediction still going is waited for; the worker waits for its run.
    if (predictor_) predictor_->wait();
}

void EncryptWindow::buildControls() {
    setWindowTitle(QStringLiteral("Corvane-[Encrypt]"));
    setWindowIcon(QPixmap::fromImage(DrawProgramIcon(ProgramIcon::Encrypt, 64)));
    ApplyWindowStyle(this);
    // Made in this order, which is also the order Tab takes them in.
    createPickerControls();
    createMessageControls();
    createOptionControls();
    createButtons();

    // Layout: carrier and key side by side with their previews; the options;
    // the message taking the room the window is given; the status.
    auto* top = new QHBoxLayout;
    top->addLayout(buildPickers(), 3);
    // The options keep their width whatever their captions say (a score
    // being worked out, its statistics), so nothing beside them shifts.
    auto* options = new QWidget(this);
    QLayout* optionsLayout = buildOptions();
    optionsLayout->setContentsMargins(0, 0, 0, 0);
    options->setLayout(optionsLayout);
    options->setFixedWidth(options->sizeHint().width());
    top->addWidget(options, 1);
    auto* main = new QVBoxLayout(this);
    main->addLayout(top);
    main->addLayout(buildMessageRow());
    main->addWidget(messageText_, 1);
    main->addLayout(buildResultsRow());
    main->addWidget(statusCaption_);
    main->addWidget(statusText_);

    setTabOrder(carrierList(), browseCarrierButton());
    setTabOrder(browseCarrierButton(), keyList());
    setTabOrder(keyList(), browseKeyButton());
    setTabOrder(browseKeyButton(), messageText_);
    setTabOrder(messageText_, encryptButton_);
    resize(1240, 900);
}


void EncryptWindow::createPickerControls() {
    pickers_ = new ImageKeyPickers(this, CarrierSide(), KeySide(), kPreviewSide, hooks_.openFile, *messages_);
    // New keys are saved in a series folder below the keys folder.
    keyList()->SetListSubfolders(true);

    // The full-size pictures are the operations' pixels; the previews show
    // them on screen (the full-size ones appear in the steps viewer).
    carrierPicture_ = HiddenPicture(this, "Picture1");
    keyPicture_ = HiddenPicture(this, "Picture2");
    keyVerdictLabel_ = MakeLabel(this, "Label12", QString());
    keyVerdictLabel_->setFont(BoldFont(keyVerdictLabel_));
    // Room between the verdict and the edge of its coloured frame.
    keyVerdictLabel_->setMargin(4);
    delimiterCaption_ = MakeLabel(this, "Label11", QStringLiteral("Key Delimiters:"));
    delimiterText_ = MakeKeyDelimiterBox(this, QStringLiteral("The key delimiter texts are used to denote the "
                                                              "start and end of the message embedded into the "
                                                              "image file."));
    pickers_->addToKeySide({keyVerdictLabel_, delimiterText_});
}

void EncryptWindow::createMessageControls() {
    messageCaption_ = MakeLabel(this, "Label5", QStringLiteral("Message:"));
    messageText_ = MakeMessageBox(this);
    lsbUsageLabel_ = MakeLabel(this, "Label14", QString(),
                        QStringLiteral("Byte length of Message Text / Estimated % of LSBs used to encode message."));
    lsbUsageLabel_->setFont(BoldFont(lsbUsageLabel_));
    SetBackColor(lsbUsageLabel_, QColor::fromRgb(kButtonIdleColor));
    detectabilityLabel_ = MakeLabel(this, "Label16", QString());
    detectabilityLabel_->setFont(BoldFont(detectabilityLabel_));
    lsbAlteredCaption_ = MakeLabel(this, "Label6", QStringLiteral("LSB Altered:"));
    lsbAlteredLabel_ = MakeLabel(this, "Label4", QString(),
                       QStringLiteral("Percent of image LSBs used to store message. <5% is Good."));
    digestCaption_ = MakeLabel(this, "Label7", QStringLiteral("SHA256:"));
    digestLabel_ = MakeLabel(this, "Label8", QString(), QStringLiteral("SHA256 hash value of the message."));
    digestLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusCaption_ = MakeLabel(this, "Label3", QStringLiteral("Status:"));
    // The status is selectable, so that the saved file's path can be copied.
    statusText_ = new QPlainTextEdit(this);
    statusText_->setObjectName(QStringLiteral("Text2"));
    statusText_->setReadOnly(true);
    statusText_->setMaximumHeight(110);
}

void EncryptWindow::createOptionControls() {
    prefixCaption_ = MakeLabel(this, "Label13", QStringLiteral("File Name Prefix:"));
    prefixEdit_ = new QLineEdit(this);
    prefixEdit_->setObjectName(QStringLiteral("Text3"));
    prefixEdit_->setToolTip(QStringLiteral("If you enter text here it will be \nused as a prefix for the naming of the file."));

    fileTypeFrame_ = new QGroupBox(QStringLiteral("File Type:"), this);
    fileTypeFrame_->setObjectName(QStringLiteral("Frame1"));
    pngOption_ = new QRadioButton(QStringLiteral("PNG"), fileTypeFrame_);
    pngOption_->setObjectName(QStringLiteral("Option1"));
    pngOption_->setChecked(true);
    bmpOption_ = new QRadioButton(QStringLiteral("BMP"), fileTypeFrame_);
    bmpOption_->setObjectName(QStringLiteral("Option2"));
    otherOption_ = new QRadioButton(QStringLiteral("Other"), fileTypeFrame_);
    otherOption_->setObjectName(QStringLiteral("Option3"));
    otherFormatCombo_ = new QComboBox(fileTypeFrame_);
    otherFormatCombo_->setObjectName(QStringLiteral("Combo1"));
    otherFormatCombo_->setToolTip(QStringLiteral("Image file format save type."));
    auto* frameRow = new QHBoxLayout(fileTypeFrame_);
    for (QWidget* w : std::initializer_list<QWidget*>{pngOption_, bmpOption_, otherOption_, otherFormatCombo_}) frameRow->addWidget(w);

    compressCheck_ = MakeCheck(this, "Check4", QStringLiteral("Compress"), QStringLiteral("Compress message data."), true);
    wipeKeyCheck_ = MakeCheck(this, "Check2", QStringLiteral("Delete/Wipe Key"),
                       QStringLiteral("It is strongly recommended practice that you delete any key after you have "
                                      "used it to encrypt a message."),
                       false);
    wipeCarrierCheck_ = MakeCheck(this, "Check3", QStringLiteral("Delete/Wipe Original"),
                       QStringLiteral("Delete original image to prevent forensic comparisions."), false);
    maxWidthButton_ = MakeButton(this, "Check6", QStringLiteral("Max Width"),
                        QStringLiteral("If selected, image will be resized to this maximum pixel width."), true);
    maxWidthEdit_ = new QLineEdit(QStringLiteral("1200"), this);
    maxWidthEdit_->setObjectName(QStringLiteral("Text4"));
    maxWidthEdit_->setToolTip(QStringLiteral("Maximum image pixel width."));
    maxWidthEdit_->setMaximumWidth(80);
    resizeButton_ = MakeButton(this, "Check7", QStringLiteral("Resize"),
                        QStringLiteral("If selected, image will be resized by this ratio."), true);
    ratioCombo_ = new QComboBox(this);
    ratioCombo_->setObjectName(QStringLiteral("Combo2"));
    ratioCombo_->setToolTip(QStringLiteral("Ratio for image resize."));
    scoreCheck_ = MakeCheck(this, "Check5", QStringLiteral("Encodability Score %"),
                       QStringLiteral("Encodability above 90% is good."), false);
    SetBackColor(scoreCheck_, ColourOf(kScoreIdle));
    scoreStatsLabel_ = MakeLabel(this, "Label15", QString(),
                        QStringLiteral("Image stats for encoding: encoding color variation rating, same color pixels "
                                       "next to each other, black pixels, white pixels (25% weighting for each "
                                       "factor)."));
    QPalette red = scoreStatsLabel_->palette();
    red.setColor(QPalette::WindowText, QColor::fromRgb(kStatisticsText));
    scoreStatsLabel_->setPalette(red);
    scoreStatsLabel_->setWordWrap(true);
    showStepsButton_ = MakeButton(this, "Check1", QStringLiteral("Show Steps"),
                        QStringLiteral("Shows steps to encoding image using XOR pixel function."), true);
}

void EncryptWindow::createButtons() {
    encryptButton_ = MakeButton(this, "Command6", QStringLiteral("Encrypt Image"));
    encryptButton_->setMinimumWidth(170);
    aboutButton_ = MakeButton(this, "Command1", QStringLiteral("About"));
    analysisButton_ = MakeButton(this, "Command16", QStringLiteral("Analysis"),
                           QStringLiteral("Show image statistics and comparisons."));
    toolButtons_ = MakeMessageToolButtons(this, "Command4", "Command5");
    loadTextButton_ = MakeButton(this, "Command10", QStringLiteral("Load..."), QStringLiteral("Load a text file."));
    quitButton_ = MakeButton(this, "Command8", QStringLiteral("Quit"));
}

QLayout* EncryptWindow::buildPickers() {
    pickers_->key().browseRow->addWidget(keyVerdictLabel_);
    return pickers_->layout();
}

QLayout* EncryptWindow::buildOptions() {
    auto* options = new QGridLayout;
    options->addWidget(fileTypeFrame_, 0, 0, 1, 3);
    options->addWidget(compressCheck_, 1, 0);
    options->addWidget(wipeKeyCheck_, 2, 0);
    options->addWidget(wipeCarrierCheck_, 3, 0);
    options->addWidget(maxWidthButton_, 1, 1);
    options->addWidget(maxWidthEdit_, 1, 2);
    options->addWidget(resizeButton_, 2, 1);
    options->addWidget(ratioCombo_, 2, 2);
    options->addWidget(showStepsButton_, 3, 1);
    options->addWidget(scoreCheck_, 4, 0, 1, 3);
    options->addWidget(scoreStatsLabel_, 5, 0, 1, 3);
    options->addWidget(delimiterCaption_, 6, 0, 1, 3);
    options->addWidget(delimiterText_, 7, 0, 1, 3);
    options->addWidget(prefixCaption_, 8, 0);
    options->addWidget(prefixEdit_, 8, 1, 1, 2);
    options->setRowStretch(9, 1);
    return options;
}

QLayout* EncryptWindow::buildMessageRow() {
    auto* tools = new QHBoxLayout;
    tools->addWidget(messageCaption_);
    tools->addWidget(lsbUsageLabel_);
    tools->addWidget(detectabilityLabel_);
    tools->addStretch(1);
    const MessageToolButtons& t = toolButtons_;
    for (QPushButton* b : {t.paste, t.copy, t.clear, loadTextButton_, t.larger, t.smaller, t.bold, t.font, t.print, t.colors})
        tools->addWidget(b);
    return tools;
}

QLayout* EncryptWindow::buildResultsRow() {
    auto* results = new QHBoxLayout;
    results->addWidget(encryptButton_);
    results->addWidget(lsbAlteredCaption_);
    results->addWidget(lsbAlteredLabel_);
    results->addSpacing(12);
    results->addWidget(digestCaption_);
    results->addWidget(digestLabel_, 1);
    results->addWidget(analysisButton_);
    results->addWidget(aboutButton_);
    results->addWidget(quitButton_);
    return results;
}

void EncryptWindow::load() {
    ProgramRandom().Seed(TickCount());
    root_ = OpenWorkingRoot(hooks_.root, {kImagesFolder, kKeysFolder, kEncryptedFolder});
    pickers_->setFolders(JoinPath(root_, kImagesFolder), JoinPath(root_, kKeysFolder));
    for (const char* item : kOtherFormats) otherFormatCombo_->addItem(QString::fromLatin1(item));
    otherFormatCombo_->setCurrentIndex(0);
    for (const char* item : kRatios) ratioCombo_->addItem(QString::fromLatin1(item));
    ratioCombo_->setCurrentIndex(0);
    StepsWindow::Source source{[this]() -> const PixelGrid& { return carrier_; },
                         [this]() -> const PixelGrid& { return key_.pixels; }, [this] { runStep2ByHand(); }};
    stepsWindow_ = new StepsWindow(steps_, source, this);
    stepsWindow_->hide();
}

void EncryptWindow::clearCarrier() {
    carrier_ = PixelGrid();
    carrierPicture_->Clear();
    pickers_->showPicture(ImageKeyPickers::Side::Image, carrier_);
    carrierSizeLabel()->setText(SizeCaption(carrier_.width, carrier_.height));
    clearVerdict();
    scoreStatsLabel_->clear();
    if (stepsWindow_) stepsWindow_->clearXorPicture();
}

void EncryptWindow::clearVerdict() {
    keyVerdictLabel_->clear();
    keyVerdictLabel_->setToolTip(QString());
    SetBackColor(keyVerdictLabel_, QColor::fromRgb(kWindowBackColor));
}

void EncryptWindow::clearKey() {
    // No key is selected: the next encryption asks for one instead of using
    // pixels of a key that failed to load or is gone.
    keyPath_.clear();
    key_ = KeyImage();
    keySeed_ = 0;
    keyWipe_.Reset();
    delimiterText_->SetText(u"");
    keyPicture_->Clear();
    pickers_->showPicture(ImageKeyPickers::Side::Key, key_.pixels);
    clearVerdict();
}

void EncryptWindow::onCarrierClicked() {
    // The batch selects carriers itself; the user cannot while it runs.
    if (encrypting_ || analysing_) return;
    const std::string path = carrierList()->SelectedPath();
    if (path.empty()) return;
    imagePath_ = path;
    CarrierResize resize;
    if (maxWidthButton_->isChecked()) ParseMaxWidth(maxWidthEdit_->text().toStdString(), resize.maxWidth);
    if (resizeButton_->isChecked()) resize.ratio = kResizeRatios[std::clamp(ratioCombo_->currentIndex(), 0, 4)];

    ImageReader reader;
    PixelGrid loaded;
    if (!reader.Open(path, LoadRuleForPath(path)) || !DecodeCarrier(reader, resize, loaded)) {
        // No stale picture, size or verdict is left from the previous carrier,
        // and no carrier is selected: the next encryption asks for one.
        imagePath_.clear();
        clearCarrier();
        statusText_->setPlainText(QStringLiteral("Cannot load the carrier image ") + QString::fromStdString(carrierList()->FileName()) +
                            QStringLiteral(": ") + QString::fromStdString(reader.error()));
        onMessageChanged();
        return;
    }
    if (stepsWindow_) stepsWindow_->clearXorPicture();
    carrier_ = std::move(loaded);
    carrierPicture_->SetGrid(carrier_);
    pickers_->showPicture(ImageKeyPickers::Side::Image, carrier_);
    if (!keyPath_.empty()) checkKeySize();
    onMessageChanged();
    if (scoreCheck_->isChecked() && carrier_.width != 1 && carrier_.height != 1) scoreCarrier();
}

void EncryptWindow::scoreCarrier() {
    // Nothing the score reads can change until it is shown: the inputs are
    // locked meanwhile.
    SetBackColor(scoreCheck_, ColourOf(kScoreIdle));
    scoreCheck_->setText(QStringLiteral("Working..."));
    analysing_ = true;
    updateEnabled();
    auto result = std::make_shared<CarrierAnalysisResult>();
    worker_->start(
        [this, result] {
            corvane::Reporter quiet;
            *result = AnalyseCarrier(carrier_, quiet);
        },
        [this, result] { scoreEnded(*result); });
}

void EncryptWindow::scoreEnded(const CarrierAnalysisResult& result) {
    analysing_ = false;
    scoreStatsLabel_->setText(ToQString(result.statistics));
    scoreCheck_->setText(ToQString(result.caption));
    SetBackColor(scoreCheck_, ColourOf(result.colour));
    emit scoreFinished();
    // A close asked for meanwhile happens here.
    updateEnabled();
    // A batch waiting for the score encrypts now.
    if (batchDone_ && !encrypting_) onEncrypt();
}

void EncryptWindow::onKeyClicked() {
    if (encrypting_ || analysing_ || batch_) return;
    const std::string path = keyList()->SelectedPath();
    if (path.empty()) return;
    KeyImage key;
    std::string error;
    if (!LoadKeyImage(path, key, &error)) {
        // The previous key is no longer selected either; the status says why.
        clearKey();
        statusText_->setPlainText(QStringLiteral("Cannot load the key image ") + QString::fromStdString(keyList()->FileName()) +
                            QStringLiteral(": ") + QString::fromStdString(error));
        return;
    }
    keyPath_ = path;
    key_ = std::move(key);
    keyWipe_.Reset();
    delimiterText_->SetText(key_.comment);
    keySeed_ = key_.hasSeed ? key_.params.seed : 0;
    delimiterText_->SetBackColor(QColor::fromRgb(key_.comment.size() < 24 ? kDelimiterBad : kDelimiterGood));
    keyPicture_->SetGrid(key_.pixels);
    pickers_->showPicture(ImageKeyPickers::Side::Key, key_.pixels);
    if (!imagePath_.empty()) checkKeySize();
}

void EncryptWindow::checkKeySize() {
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
    keyVerdictLabel_->setText(caption);
    keyVerdictLabel_->setToolTip(tip);
    SetBackColor(keyVerdictLabel_, colour);
}

void EncryptWindow::onMessageChanged() {
    const LsbUsage usage = UpdateLsbUsage(messageText_->Text(), carrier_.width, carrier_.height);
    lsbUsageLabel_->setText(ToQString(usage.caption));
    if (usage.recolour) SetBackColor(lsbUsageLabel_, ColourOf(usage.colour));
    // Every result asked for before this change is stale now.
    ++predictionRequest_;
    if (carrier_.empty() || messageText_->Text().empty()) {
        detectabilityTimer_->stop();
        clearDetectability();
        return;
    }
    detectabilityTimer_->start();
}

bool EncryptWindow::predicting() const {
    // A thread that has posted its result may not have ended yet: the result
    // shown is what counts.
    return detectabilityTimer_->isActive() || predictionQueued_ || predictionInFlight_;
}

EncryptWindow::PredictionInputs EncryptWindow::predictionInputs() {
    // The prediction reads a copy: an encryption repairs the window's
    // carrier in place, and a new carrier may be loaded while it runs.
    if (carrier_.empty()) {
        predictedCarrier_.reset();
        carrierEstimates_.reset();
    } else if (!predictedCarrier_ || *predictedCarrier_ != carrier_) {
        predictedCarrier_ = std::make_shared<const PixelGrid>(carrier_);
        carrierEstimates_.reset();
    }
    return {predictedCarrier_, messageText_->Text(), compressCheck_->isChecked(), key_.comment};
}

void EncryptWindow::onDetectabilityPause() {
    detectabilityTimer_->stop();
    if (carrier_.empty() || messageText_->Text().empty()) return;
    // The carrier belongs to the encryption until it ends.
    if (encrypting_) {
        detectabilityTimer_->start();
        return;
    }
    if (predictor_ && predictor_->isRunning()) {
        predictionQueued_ = true;
        return;
    }
    launchPrediction();
}

void EncryptWindow::launchPrediction() {
    const PredictionInputs in = predictionInputs();
    const uint64_t request = predictionRequest_;
    QThread* thread = QThread::create([this, in, request, clean = carrierEstimates_] {
        // The carrier's own figures are worked out once and kept.
        auto estimates = clean ? clean : std::make_shared<const CarrierEstimates>(EstimateCarrier(*in.carrier));
        DetectabilityRequest asked;
        asked.message = in.message;
        asked.compress = in.compress;
        asked.keyComment = in.keyComment;
        const DetectabilityPrediction p = PredictDetectability(*in.carrier, *estimates, asked);
        QMetaObject::invokeMethod(
            this, [this, request, in, estimates, p] { predictionEnded(request, in, estimates, p); },
            Qt::QueuedConnection);
    });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    // One prediction at a time: a change made meanwhile is predicted next.
    connect(thread, &QThread::finished, this, [this] {
        if (!predictionQueued_) return;
        predictionQueued_ = false;
        onDetectabilityPause();
    });
    predictor_ = thread;
    predictionInFlight_ = true;
    thread->start(QThread::LowPriority);
}

void EncryptWindow::predictionEnded(uint64_t request, const PredictionInputs& in,
                                    std::shared_ptr<const CarrierEstimates> clean,
                                    const DetectabilityPrediction& prediction) {
    predictionInFlight_ = false;
    if (in.carrier == predictedCarrier_ && !carrierEstimates_) carrierEstimates_ = std::move(clean);
    if (request != predictionRequest_) return;
    shownInputs_ = in;
    shownCurrent_ = true;
    shownHigh_ = prediction.status == PredictionStatus::Done && prediction.figures.verdict == Detectability::High;
    showDetectability(prediction);
    emit detectabilityShown();
}

void EncryptWindow::showDetectability(const DetectabilityPrediction& prediction) {
    if (prediction.status != PredictionStatus::Done) {
        // The reason is too long for the message row: it would widen the window.
        detectabilityLabel_->setText(QStringLiteral("Detectability: --"));
        detectabilityLabel_->setToolTip(QStringLiteral("No prediction: ") + ToQString(PredictionFailureText(prediction.status)));
        SetBackColor(detectabilityLabel_, QColor::fromRgb(kWindowBackColor));
        return;
    }
    std::vector<std::u16string> lines = DetectabilityLines(prediction);
    // The last line is the label's own text.
    detectabilityLabel_->setText(ToQString(lines.back()));
    lines.pop_back();
    QString tip;
    for (const auto& line : lines) tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + ToQString(line);
    detectabilityLabel_->setToolTip(tip);
    SetBackColor(detectabilityLabel_, QColor::fromRgb(DetectabilityBack(prediction.figures.verdict)));
}

void EncryptWindow::clearDetectability() {
    shownCurrent_ = false;
    detectabilityLabel_->clear();
    detectabilityLabel_->setToolTip(QString());
    SetBackColor(detectabilityLabel_, QColor::fromRgb(kWindowBackColor));
}

bool EncryptWindow::acceptDetectability(const PredictionInputs& in, bool high) {
    if (!high) return true;
    // A Yes holds for this carrier, message and compression; a No is asked
    // again at the next press.
    if (acceptedPath_ == imagePath_ && acceptedHigh_.message == in.message && acceptedHigh_.compress == in.compress)
        return true;
    if (!messages_->Question(kHighQuestion)) return false;
    acceptedPath_ = imagePath_;
    acceptedHigh_ = {nullptr, in.message, in.compress, {}};
    return true;
}

bool EncryptWindow::predictInRun(const PredictionInputs& in, std::shared_ptr<const CarrierEstimates> clean, bool ask,
                                 std::u16string& verdict) {
    if (!in.carrier || in.message.empty()) return true;
    DetectabilityRequest asked;
    asked.message = in.message;
    asked.compress = in.compress;
    asked.keyComment = in.keyComment;
    asked.findLongestLow = false;
    const DetectabilityPrediction p =
        clean ? PredictDetectability(*in.carrier, *clean, asked) : PredictDetectability(*in.carrier, asked);
    if (p.status != PredictionStatus::Done) return true;
    verdict = DetectabilityName(p.figures.verdict);
    if (!ask || p.figures.verdict != Detectability::High) return true;
    bool yes = false;
    // A window going away answers No: nothing is encrypted.
    if (!worker_->call([this, &yes, &in] { yes = acceptDetectability(in, true); })) return false;
    return yes;
}

void EncryptWindow::onBrowseCarrier() {
    pickers_->browse(ImageKeyPickers::Side::Image, QString::fromStdString(WorkingRoot(ApplicationFolder())));
}

void EncryptWindow::onBrowseKey() {
    pickers_->browse(ImageKeyPickers::Side::Key, QString::fromStdString(WorkingRoot(ApplicationFolder())));
}

void EncryptWindow::onLoadText() {
    if (tools_->LoadTextFile()) onMessageChanged();
}

void EncryptWindow::onShowSteps() {
    if (showStepsButton_->isChecked()) {
        stepsWindow_->show();
        stepsWindow_->showPlanes();
    } else {
        stepsWindow_->hide();
    }
}

void EncryptWindow::onScoreToggled() {
    if (!scoreCheck_->isChecked()) {
        scoreCheck_->setText(QStringLiteral("Encodability %"));
        SetBackColor(scoreCheck_, ColourOf(kScoreIdle));
        scoreStatsLabel_->setVisible(false);
    } else {
        scoreStatsLabel_->clear();
        scoreStatsLabel_->setVisible(true);
    }
}

OutputKind EncryptWindow::selectedOutput() const {
    if (pngOption_->isChecked()) return OutputKind::Png;
    if (bmpOption_->isChecked()) return OutputKind::Bmp;
    return kOtherKinds[std::clamp(otherFormatCombo_->currentIndex(), 0, 4)];
}

EncryptInputs EncryptWindow::inputs() const {
    EncryptInputs in;
    in.message = messageText_->Text();
    in.imagePath = imagePath_;
    in.keyPath = keyPath_;
    in.keyComment = key_.comment;
    in.keySeed = keySeed_;
    in.compress = compressCheck_->isChecked();
    in.outputKind = selectedOutput();
    in.prefix = prefixEdit_->text().toStdU16String();
    in.wipeKey = keyWipe_.Wanted(wipeKeyCheck_->isChecked());
    in.wipeCarrier = wipeCarrierCheck_->isChecked();
    in.root = root_;
    in.fallbackRoot = hooks_.fallbackRoot;
    in.usedKeysPath = hooks_.usedKeysPath.empty() ? UsedKeysPath() : hooks_.usedKeysPath;
    in.allowKeyReuse = allowKeyReuse_;
    return in;
}

void EncryptWindow::onEncrypt() {
    if (encrypting_ || analysing_) return;
    // The batch reports each carrier's verdict instead of asking. Without a
    // key the run refuses before anything could be seen.
    const bool batch = static_cast<bool>(batchDone_);
    const PredictionInputs predicted = predictionInputs();
    bool ask = !batch && !key_.pixels.empty();
    if (ask && shownCurrent_ && shownInputs_ == predicted) {
        if (!acceptDetectability(predicted, shownHigh_)) return;
        ask = false;
    }
    // The carrier, key and steps belong to the run until it has ended.
    encrypting_ = true;
    updateEnabled();
    const EncryptInputs in = inputs();
    auto result = std::make_shared<EncryptResult>();
    auto verdict = std::make_shared<std::u16string>();
    worker_->start(
        [this, in, result, verdict, predicted, ask, predict = batch || ask, clean = carrierEstimates_] {
            // A verdict not shown yet is worked out here, before anything changes.
            if (!predict || predictInRun(predicted, clean, ask, *verdict)) {
                RunReporter reporter(this, in.keyPath);
                *result = EncryptImage(carrier_, key_.pixels, in, steps_, reporter, ProgramRandom());
            }
        },
        [this, result, verdict] {
            lastDetectability_ = *verdict;
            encryptEnded(*result);
        });
}

bool EncryptWindow::reuseKeyAfterAsking(const EncryptResult& result) {
    if (!result.keyReuse || !messages_->Question(result.refusal)) return false;
    // The same press again, with the user's leave to use the key twice.
    allowKeyReuse_ = true;
    onEncrypt();
    allowKeyReuse_ = false;
    return true;
}

void EncryptWindow::encryptEnded(const EncryptResult& result) {
    encrypting_ = false;
    if (reuseKeyAfterAsking(result)) return;
    lastResult_ = result;
    keyWipe_.After(lastResult_);
    // A wiped key is gone; a batch keeps its pixels for its later carriers
    // and lets it go when it ends.
    if (keyWipe_.Wiped() && !batch_) clearKey();
    // The repaired carrier is what the window shows from now on.
    carrierPicture_->SetGrid(carrier_);
    if (!lastResult_.savedPath.empty()) {
        std::error_code ec;
        const std::filesystem::path full = std::filesystem::absolute(lastResult_.savedPath, ec);
        statusText_->appendPlainText(QStringLiteral("Saved as: ") +
                                     QString::fromStdString(full.lexically_normal().string()));
    }
    if (!lastResult_.ledgerWarning.empty())
        appendStatus(std::u16string(encrypt_texts::kLedgerWarning) + Utf8ToText(lastResult_.ledgerWarning));
    if (stepsWindow_->isVisible()) stepsWindow_->showPlanes();
    emit encryptFinished();
    // A close asked for meanwhile happens here, unless a batch goes on.
    updateEnabled();
    if (batchDone_) {
        auto done = std::move(batchDone_);
        batchDone_ = nullptr;
        done(lastResult_);
    }
}

void EncryptWindow::encryptForBatch(std::function<void(const EncryptResult&)> done) {
    batchDone_ = std::move(done);
    // A score still running for this carrier comes first; it starts the run.
    if (!analysing_) onEncrypt();
}

bool EncryptWindow::haveCarrier() const { return !carrier_.empty(); }

const PixelGrid* EncryptWindow::comparisonCarrier() const {
    // While a run repairs the carrier there is no settled one to compare with.
    if (imagePath_.empty() || encrypting_) return nullptr;
    return &carrier_;
}

void EncryptWindow::runStep2ByHand() {
    // The steps viewer's step 2: the window's message into the parities, its
    // progress on "Encrypt Image" (left at "100.00%" afterwards).
    RunReporter reporter(this, keyPath_);
    steps_.Step2(carrier_, key_.pixels, messageText_->Text(), key_.comment, keySeed_, compressCheck_->isChecked(), ProgramRandom(),
                 reporter);
}

std::u16string EncryptWindow::message() const { return messageText_->Text(); }

void EncryptWindow::updateEnabled() {
    // While an encryption, a score or a batch runs, nothing that changes
    // their inputs is taken.
    const bool locked = encrypting_ || analysing_ || batch_;
    // The message is kept as it is, but stays readable and copyable.
    messageText_->SetLocked(locked);
    if (locked) guard_->begin();
    else guard_->end();
}

void EncryptWindow::setBatchRunning(bool running) {
    batch_ = running;
    if (!running && keyWipe_.Wiped()) clearKey();
    updateEnabled();
}

void EncryptWindow::appendStatus(std::u16string_view line) { statusText_->appendPlainText(ToQString(line)); }

void EncryptWindow::setBusy(bool busy) {
    busy_ = busy;
    updateEnabled();
    QFont font = encryptButton_->font();
    font.setPointSize(busy ? 14 : 10);
    encryptButton_->setFont(font);
    SetBackColor(encryptButton_, QColor::fromRgb(busy ? kButtonBusyColor : kButtonIdleColor));
    encryptButton_->setText(busy ? QStringLiteral("0.00%") : QStringLiteral("Encrypt Image"));
}

void EncryptWindow::onAbout() {
    if (!batchBox_) batchBox_ = new BatchBox(*this, *messages_, this);
    batchBox_->show();
    batchBox_->raise();
}

void EncryptWindow::onAnalysis() {
    if (!analysisWindow_) analysisWindow_ = new AnalysisWindow([this] { return comparisonCarrier(); }, *messages_, AnalysisWindow::Dialogs{hooks_.openFile, hooks_.saveFile}, this);
    analysisWindow_->show();
    analysisWindow_->raise();
}

void EncryptWindow::onQuit() { close(); }

void EncryptWindow::dropFile(const std::string& path, bool onKeySide) {
    if (encrypting_ || analysing_ || batch_) return;
    if (path.size() >= 4 && path.compare(path.size() - 4, 4, ".txt") == 0) {
        if (messageText_->LoadFile(path, 1)) onMessageChanged();
        return;
    }
    pickers_->showFile(onKeySide ? ImageKeyPickers::Side::Key : ImageKeyPickers::Side::Image, path);
}

void EncryptWindow::closeEvent(QCloseEvent* event) {
    // Only once idle (a close while busy waits for the run): the other
    // windows close with this one.
    for (QWidget* w : std::initializer_list<QWidget*>{stepsWindow_, batchBox_, analysisWindow_})
        if (w) w->close();
    event->accept();
}

}  // namespace corvane::encryptor
