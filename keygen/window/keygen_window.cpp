#include "keygen/window/keygen_window.hpp"

#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <utility>
#include <vector>

#include "core/code_page.hpp"
#include "core/platform.hpp"
#include "core/sequence_random.hpp"
#include "keygen/key_generation.hpp"
#include "widgets/controls.hpp"
#include "widgets/message_boxes.hpp"
#include "widgets/picture_box.hpp"
#include "widgets/program_icon.hpp"
#include "widgets/uni_text.hpp"
#include "widgets/window_style.hpp"

namespace corvane::keygen {
namespace {

constexpr int kPreviewSide = 500;
constexpr int kFirstListedYear = 2015;
constexpr int kLastListedYear = 2050;
constexpr QRgb kDelimiterIdle = qRgb(224, 224, 224);
constexpr QRgb kDelimiterGood = qRgb(225, 255, 225);
constexpr QRgb kDelimiterBad = qRgb(200, 100, 100);


struct SourceButton {
    KeySource source;
    const char* caption;
    const char* tip;
};

// Top to bottom as the frame shows them.
constexpr SourceButton kSourceButtons[kKeySourceCount] = {
    {KeySource::MersenneTwister, "Mersenne Twister", "Mersenne Twister DLL Function (Recommended)."},
    {KeySource::Isaac, "ISAAC",
     "ISAAC is a cryptographically secure pseudo-random number generator (CSPRNG) and stream cipher."},
    {KeySource::RtlGenRandom, "RtlGenRandom", "Microsoft RtlGenRandom Function."},
    {KeySource::CryptGenRandom, "CryptGenRandom", "Microsoft CryptGenRandom Function."},
    {KeySource::Rnd, "Rnd()",
     "Rnd(), the built-in pseudo-random function: a 24-bit sequence, not cryptographically secure."},
};


// A label whose shortcut letter moves the focus to its control.
QLabel* MakeBuddyLabel(QWidget* parent, const char* name, const QString& caption, QWidget* buddy) {
    QLabel* label = MakeLabel(parent, name, caption);
    label->setBuddy(buddy);
    return label;
}

// Frames hold their buttons close, so that the settings fit beside the preview.
void Compact(QBoxLayout* layout) {
    layout->setContentsMargins(10, 4, 10, 4);
    layout->setSpacing(2);
}

QComboBox* MakeList(QWidget* parent, const char* name, int first, int last, int step = 1) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QString::fromLatin1(name));
    for (int v = first; v <= last; v += step) list->addItem(QString::number(v));
    return list;
}

QRadioButton* MakeOption(QWidget* parent, const QString& name, const QString& caption, const QString& tip = {}) {
    auto* option = new QRadioButton(caption, parent);
    option->setObjectName(name);
    if (!tip.isEmpty()) option->setToolTip(tip);
    return option;
}

QLineEdit* MakeTextBox(QWidget* parent, const char* name, const QString& text) {
    auto* box = new QLineEdit(text, parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

// A row of controls; the one at `stretched` takes the spare width.
QHBoxLayout* Row(std::initializer_list<QWidget*> widgets, int stretched = -1) {
    auto* row = new QHBoxLayout;
    int index = 0;
    for (QWidget* w : widgets) row->addWidget(w, index++ == stretched ? 1 : 0);
    return row;
}

}  // namespace

// The run's reports, posted from the worker to the window's thread. A run
// raises its message only as it ends, so the message waits for the end and
// is shown before the final status, as the user reads them.
class KeygenWindow::RunReporter : public KeyGenerationReporter {
public:
    explicit RunReporter(KeygenWindow& window) : window_(window) {}

    void Status(std::u16string_view text) override {
        if (!message_.empty()) return;  // the end shows it after the message
        post([w = &window_, t = ToQString(text)] { w->showStatus(t); });
    }
    void Message(std::u16string_view text, MessageIcon icon) override {
        message_ = text;
        icon_ = icon;
    }
    void Preview(const PixelGrid& preview) override {
        post([w = &window_, grid = preview] { w->previewBox_->SetGrid(grid); });
    }
    void KeyComment(std::u16string_view comment) override {
        post([w = &window_, c = std::u16string(comment)] {
            w->delimitersBox_->SetText(c);
            w->delimitersBox_->SetBackColor(QColor::fromRgb(c.size() >= 24 ? kDelimiterGood : kDelimiterBad));
        });
    }
    void KeySaved(const SavedKey& key) override {
        post([w = &window_, key] { w->onKeySaved(key); });
    }
    bool StopRequested() const override {
        if (window_.betweenKeys_) window_.betweenKeys_();
        return window_.stopRequested_.load();
    }

    // Sent last: the window is idle again once it has run.
    void Finish(const KeyGenerationResult& result) {
        post([w = &window_, result, m = message_, i = icon_] { w->onRunFinished(result, m, i); });
    }

private:
    template <class F>
    void post(F&& f) {
        QMetaObject::invokeMethod(&window_, std::forward<F>(f), Qt::QueuedConnection);
    }

    KeygenWindow& window_;
    std::u16string message_;
    MessageIcon icon_ = MessageIcon::Information;
};

KeygenWindow::KeygenWindow(KeygenWindowHooks hooks, QWidget* parent) : QWidget(parent), hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Corvane-[Generate Keys]"));
    setWindowIcon(QPixmap::fromImage(DrawProgramIcon(ProgramIcon::Keygen, 64)));
    ApplyWindowStyle(this);
    messages_ = GivenOrQtMessageBoxes(hooks_.messages, this, ownMessages_);
    buildSettings();
    buildSourceFrame();
    buildDateAndSize();
    buildResults();
    layOutControls();
    setTabOrderTopToBottom();
    resize(952, 560);
    connect(generateButton_, &QPushButton::clicked, this, &KeygenWindow::onGenerate);
    connect(folderLink_, &QLabel::linkActivated, this, &KeygenWindow::onOpenKeyFolder);
    loadSettings();
}

KeygenWindow::~KeygenWindow() {
    if (!worker_) return;
    stopRequested_ = true;
    worker_->wait();
}

// The mnemonics ("&") give every control a key without changing what the
// captions read.
void KeygenWindow::buildSettings() {
    seriesBox_ = new UniText(this);
    seriesBox_->setObjectName(QStringLiteral("UniText1"));
    seriesBox_->SetMultiLine(false);
    seriesBox_->setFixedHeight(seriesBox_->fontMetrics().height() + 12);
    seriesLabel_ = MakeBuddyLabel(this, "Label6", QStringLiteral("Key &Series Name:"), seriesBox_);

    // A number that is not in the list can be typed, and stays as typed: no
    // completion from the list ("3" is not "30"). The run refuses what is no
    // count.
    countBox_ = new QComboBox(this);
    countBox_->setObjectName(QStringLiteral("Combo4"));
    countBox_->setEditable(true);
    countBox_->setCompleter(nullptr);
    countBox_->setInsertPolicy(QComboBox::NoInsert);
    countBox_->setMinimumContentsLength(5);
    countLabel_ = MakeBuddyLabel(this, "Label4", QStringLiteral("&Number of Keys to Create:"), countBox_);

    namingFrame_ = new QGroupBox(QStringLiteral("Key Naming &Option:"), this);
    namingFrame_->setObjectName(QStringLiteral("Frame2"));
    numberNaming_ = MakeOption(namingFrame_, QStringLiteral("Option4"), QStringLiteral("Key Number"));
    dateNaming_ = MakeOption(namingFrame_, QStringLiteral("Option3"), QStringLiteral("Date"));
    dateNaming_->setChecked(true);
    auto* naming = new QVBoxLayout(namingFrame_);
    Compact(naming);
    naming->addWidget(numberNaming_);
    naming->addWidget(dateNaming_);
}

void KeygenWindow::buildSourceFrame() {
    sourceFrame_ = new QGroupBox(QStringLiteral("&Random Number Generator:"), this);
    sourceFrame_->setObjectName(QStringLiteral("Frame3"));
    auto* sources = new QVBoxLayout(sourceFrame_);
    Compact(sources);
    for (const SourceButton& b : kSourceButtons) {
        const int index = static_cast<int>(b.source);
        sourceButtons_[index] = MakeOption(sourceFrame_, QStringLiteral("Option6(%1)").arg(index),
                                           QString::fromLatin1(b.caption), QString::fromLatin1(b.tip));
        sources->addWidget(sourceButtons_[index]);
    }
    sourceButton(KeySource::MersenneTwister)->setChecked(true);
}

void KeygenWindow::buildDateAndSize() {
    yearBox_ = new QComboBox(this);
    yearBox_->setObjectName(QStringLiteral("Combo1"));
    monthBox_ = MakeList(this, "Combo2", 1, 12);
    dayBox_ = MakeList(this, "Combo3", 1, 31);
    startDateLabel_ = MakeLabel(this, "Label5", QStringLiteral("Start Date:"));
    yearLabel_ = MakeBuddyLabel(this, "Label1", QStringLiteral("&Year"), yearBox_);
    monthLabel_ = MakeBuddyLabel(this, "Label2", QStringLiteral("&Month"), monthBox_);
    dayLabel_ = MakeBuddyLabel(this, "Label3", QStringLiteral("&Day"), dayBox_);

    widthBox_ = MakeTextBox(this, "Text3", QStringLiteral("1600"));
    heightBox_ = MakeTextBox(this, "Text4", QStringLiteral("1200"));
    for (QLineEdit* box : {widthBox_, heightBox_})
        box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 16);
    sizeLabel_ = MakeBuddyLabel(this, "Label8", QStringLiteral("Key &Pixel Size:"), widthBox_);
    byLabel_ = MakeLabel(this, "Label9", QStringLiteral("X"));
    pixelsLabel_ = MakeLabel(this, "Label10", QStringLiteral("Pixels"));

    // Informative: every key is a PNG, so "BMP" is shown but cannot be chosen.
    fileTypeFrame_ = new QGroupBox(QStringLiteral("Key &File Type:"), this);
    fileTypeFrame_->setObjectName(QStringLiteral("Frame1"));
    pngOption_ = MakeOption(fileTypeFrame_, QStringLiteral("Option1"), QStringLiteral("PNG"));
    pngOption_->setChecked(true);
    bmpOption_ = MakeOption(fileTypeFrame_, QStringLiteral("Option2"), QStringLiteral("BMP"),
                            QStringLiteral("Keys are always saved as PNG."));
    bmpOption_->setEnabled(false);
    auto* fileType = new QHBoxLayout(fileTypeFrame_);
    Compact(fileType);
    fileType->addWidget(pngOption_);
    fileType->addWidget(bmpOption_);
    fileType->addStretch(1);
}

void KeygenWindow::buildResults() {
    delimitersBox_ = new UniText(this);
    delimitersBox_->setObjectName(QStringLiteral("Text1"));
    delimitersBox_->SetMultiLine(false);
    delimitersBox_->SetLocked(true);
    delimitersBox_->SetBackColor(QColor::fromRgb(kDelimiterIdle));
    delimitersBox_->setFixedHeight(delimitersBox_->fontMetrics().height() + 12);
    delimitersLabel_ = MakeBuddyLabel(this, "Label11", QStringLiteral("Key De&limiters:"), delimitersBox_);

    generateButton_ = new QPushButton(QStringLiteral("&Generate OTP Keys"), this);
    generateButton_->setObjectName(QStringLiteral("Command1"));
    generateButton_->setMinimumHeight(36);
    SetBackColor(generateButton_, QColor::fromRgb(kButtonIdleColor));

    statusBox_ = MakeTextBox(this, "Text2", QString());
    statusBox_->setReadOnly(true);
    statusLabel_ = MakeBuddyLabel(this, "Label7", QStringLiteral("S&tatus:"), statusBox_);
    // How far a batch has come, and the folder its keys went to, which opens
    // in the file manager.
    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName(QStringLiteral("KeyProgress"));
    progressBar_->setFormat(QStringLiteral("%v of %m"));
    progressBar_->setFixedWidth(180);
    progressBar_->setVisible(false);
    keyTimeLabel_ = MakeLabel(this, "Label12", QString());
    folderLink_ = MakeLabel(this, "KeyFolderLink", QString());
    folderLink_->setTextFormat(Qt::RichText);
    folderLink_->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    folderLink_->setFocusPolicy(Qt::StrongFocus);
    folderLink_->setToolTip(QStringLiteral("Open the folder in the file manager."));
    folderLink_->setVisible(false);

    previewBox_ = new PictureBox(kPreviewSide, this);
    previewBox_->setObjectName(QStringLiteral("Picture2"));
    previewBox_->setFixedSize(kPreviewSide, kPreviewSide);
}

// The settings in the left half, top to bottom; the preview in the right
// half; the status across the bottom.
void KeygenWindow::layOutControls() {
    auto* left = new QVBoxLayout;
    left->setSpacing(6);
    left->addLayout(Row({seriesLabel_, seriesBox_}, 1));
    auto* count = new QVBoxLayout;
    count->addWidget(countLabel_);
    count->addWidget(countBox_, 0, Qt::AlignLeft);
    count->addStretch(1);
    auto* countAndNaming = new QHBoxLayout;
    countAndNaming->addLayout(count);
    countAndNaming->addWidget(namingFrame_, 1);
    left->addLayout(countAndNaming);
    left->addWidget(sourceFrame_);
    auto* date = new QGridLayout;
    date->addWidget(startDateLabel_, 1, 0);
    date->addWidget(yearLabel_, 0, 1);
    date->addWidget(yearBox_, 1, 1);
    date->addWidget(monthLabel_, 0, 2);
    date->addWidget(monthBox_, 1, 2);
    date->addWidget(dayLabel_, 0, 3);
    date->addWidget(dayBox_, 1, 3);
    date->setColumnStretch(4, 1);
    left->addLayout(date);
    QHBoxLayout* size = Row({sizeLabel_, widthBox_, byLabel_, heightBox_, pixelsLabel_});
    size->addStretch(1);
    left->addLayout(size);
    left->addWidget(fileTypeFrame_);
    left->addLayout(Row({delimitersLabel_, delimitersBox_}, 1));
    left->addStretch(1);
    left->addWidget(generateButton_);

    auto* previewFrame = new QFrame(this);
    previewFrame->setFrameShape(QFrame::Box);
    auto* previewLayout = new QVBoxLayout(previewFrame);
    previewLayout->setContentsMargins(1, 1, 1, 1);
    previewLayout->addWidget(previewBox_);
    auto* top = new QHBoxLayout;
    top->addLayout(left, 1);
    top->addSpacing(8);
    top->addWidget(previewFrame, 0, Qt::AlignTop);

    QHBoxLayout* below = Row({keyTimeLabel_});
    below->addStretch(1);
    below->addWidget(folderLink_);
    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(10, 10, 10, 6);
    main->setSpacing(6);
    main->addLayout(top);
    main->addLayout(Row({statusLabel_, statusBox_, progressBar_}, 1));
    main->addLayout(below);
}

// Keyboard order: top to bottom as the controls stand, then the button,
// the status and the folder.
void KeygenWindow::setTabOrderTopToBottom() {
    std::vector<QWidget*> order = {seriesBox_, countBox_, numberNaming_, dateNaming_};
    for (const SourceButton& b : kSourceButtons) order.push_back(sourceButton(b.source));
    order.insert(order.end(), {yearBox_, monthBox_, dayBox_, widthBox_, heightBox_, pngOption_, bmpOption_,
                               delimitersBox_, generateButton_, statusBox_, folderLink_});
    for (size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void KeygenWindow::loadSettings() {
    PrepareKeyGenerator(state_, ProgramRandom());

    countBox_->clear();
    countBox_->addItem(QStringLiteral("1"));
    for (int n = 10; n <= 500; n += 10) countBox_->addItem(QString::number(n));
    countBox_->setCurrentIndex(0);

    // A year outside the list's range extends it, so that today can always
    // be chosen.
    const CivilDate today = hooks_.today ? hooks_.today() : Today();
    yearBox_->clear();
    const int firstYear = std::min(kFirstListedYear, today.year);
    for (int year = firstYear; year <= std::max(kLastListedYear, today.year); ++year)
        yearBox_->addItem(QString::number(year));
    yearBox_->setCurrentIndex(today.year - firstYear);
    monthBox_->setCurrentIndex(today.month - 1);
    dayBox_->setCurrentIndex(today.day - 1);

    seriesBox_->SetText(FormatDate(today));

    root_ = hooks_.root.empty() ? WorkingRoot(ApplicationFolder()) : hooks_.root;
    fallbackRoot_ = hooks_.fallbackRoot.empty() ? FallbackRoot() : hooks_.fallbackRoot;
}

KeySource KeygenWindow::selectedSource() const {
    for (int i = 0; i < kKeySourceCount; ++i)
        if (sourceButtons_[i]->isChecked()) return static_cast<KeySource>(i);
    return KeySource::MersenneTwister;
}

void KeygenWindow::onGenerate() {
    if (busy_) return;
    KeyGenerationInputs in;
    in.widthText = ToU16(widthBox_->text());
    in.heightText = ToU16(heightBox_->text());
    in.seriesName = seriesBox_->Text();
    in.source = selectedSource();
    in.countText = ToU16(countBox_->currentText());
    in.naming = numberNaming_->isChecked() ? KeyNaming::Number : KeyNaming::Date;
    in.startYear = yearBox_->currentText().toInt();
    in.startMonth = monthBox_->currentText().toInt();
    in.startDay = dayBox_->currentText().toInt();
    in.root = root_;
    in.fallbackRoot = fallbackRoot_;

    auto batch = std::make_shared<KeyBatch>();
    std::u16string refusal;
    if (!CheckKeyGeneration(in, *batch, refusal)) return refuse(refusal);
    countText_ = in.countText;
    startRun(std::move(batch));
}

// A refused batch leaves the button as it was and nothing of the last batch
// that could be read as this one's.
void KeygenWindow::refuse(const std::u16string& reason) {
    messages_->Show(reason, MessageIcon::Information);
    hideLastRun();
    showStatus(QStringLiteral("Not started: ") + ToQString(reason));
}

void KeygenWindow::startRun(std::shared_ptr<KeyBatch> batch) {
    stopRequested_ = false;
    setBusy(true, batch->count);
    worker_.reset(QThread::create([this, batch] {
        RunReporter reporter(*this);
        reporter.Finish(RunKeyGeneration(*batch, state_, ProgramRandom(), reporter));
    }));
    worker_->start();
}

// The bar and the status count the keys saved, so they always agree.
void KeygenWindow::onKeySaved(const SavedKey& key) {
    // The bar repaints itself at once: the status is set first.
    showStatus(ToQString(KeyProgressText(key.number, key.count, countText_)));
    progressBar_->setValue(key.number);
    keyTimeLabel_->setText(ToQString(FormatNumber(key.milliseconds, "#,##0") + u"ms"));
    showKeyFolder(std::filesystem::path(key.path).parent_path().string());
}

void KeygenWindow::onRunFinished(const KeyGenerationResult& result, const std::u16string& message,
                                 MessageIcon icon) {
    worker_->wait();
    worker_.reset();
    if (!message.empty()) messages_->Show(message, icon);
    if (!message.empty() && result.status.empty()) {
        // Refused before its first key (no memory for it).
        setBusy(false);
        hideLastRun();
        showStatus(QStringLiteral("Not started: ") + ToQString(message));
    } else if (!message.empty()) {
        showStatus(ToQString(result.status));
        setBusy(false);
        // A run that ended early says why where its progress was shown, not
        // only in a message box that is gone once acknowledged.
        showStatus(ToQString(result.status) + QStringLiteral(" - ") + ToQString(message));
    } else {
        setBusy(false);
    }
    if (closeWhenDone_) {
        closeWhenDone_ = false;
        close();
    }
    emit runFinished();
}

void KeygenWindow::onOpenKeyFolder() {
    if (keyFolder_.empty()) return;
    const QUrl url = QUrl::fromLocalFile(QString::fromStdString(keyFolder_));
    if (hooks_.openFolder) hooks_.openFolder(url);
    else QDesktopServices::openUrl(url);
}

void KeygenWindow::setBusy(bool busy, int batchSize) {
    busy_ = busy;
    if (busy) {
        progressBar_->setRange(0, std::max(batchSize, 1));
        progressBar_->setValue(0);
        progressBar_->setVisible(batchSize > 1);
    }
    generateButton_->setEnabled(!busy);
    SetBackColor(generateButton_, QColor::fromRgb(busy ? kButtonBusyColor : kButtonIdleColor));
}

void KeygenWindow::showStatus(const QString& text) {
    statusBox_->setText(text);
    // A long path stays readable from its start, and whole in the tooltip.
    statusBox_->setCursorPosition(0);
    statusBox_->setToolTip(text);
}

void KeygenWindow::showKeyFolder(const std::string& folder) {
    if (folder == keyFolder_) return;
    keyFolder_ = folder;
    const QString shown = QString::fromStdString(folder).toHtmlEscaped();
    folderLink_->setText(QStringLiteral("Keys in: <a href=\"folder\">%1</a>").arg(shown));
    folderLink_->setVisible(true);
}

void KeygenWindow::hideLastRun() {
    progressBar_->setVisible(false);
    progressBar_->reset();
    folderLink_->setVisible(false);
    folderLink_->clear();
    keyFolder_.clear();
}

void KeygenWindow::closeEvent(QCloseEvent* event) {
    // A running batch stops after the key it is making (the run asks between
    // keys); the window closes once it has.
    if (busy_) {
        stopRequested_ = true;
        closeWhenDone_ = true;
        event->ignore();
        return;
    }
    event->accept();
}

}  // namespace corvane::keygen
