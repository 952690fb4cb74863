#include "keygen/window/form1.hpp"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
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
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
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

}  // namespace

// The run's reports, written into the window's controls.
class Form1::Reporter : public KeyGenerationReporter {
public:
    explicit Reporter(Form1& form) : form_(form) {}

    void Status(std::u16string_view text) override {
        // The run is busy from its first status on: a refused run leaves the
        // button as it was.
        if (!form_.busy_) form_.SetBusy(true);
        form_.ShowStatus(ToQString(text));
    }
    void Message(std::u16string_view text, MessageIcon icon) override {
        message_ = text;
        form_.messages_->Show(text, icon);
    }
    void PendingEvents() override { QCoreApplication::processEvents(); }
    void Preview(const PixelGrid& preview) override { form_.Picture2->SetGrid(preview); }
    void KeyComment(std::u16string_view comment) override {
        form_.Text1->SetText(comment);
        form_.Text1->SetBackColor(QColor::fromRgb(comment.size() >= 24 ? kDelimiterGood : kDelimiterBad));
    }
    void KeyTime(std::u16string_view caption) override { form_.Label12->setText(ToQString(caption)); }
    void KeySaved(const std::string& path) override {
        form_.KeyProgress->setValue(form_.KeyProgress->value() + 1);
        form_.ShowKeyFolder(std::filesystem::path(path).parent_path().string());
    }
    bool StopRequested() override { return form_.stopRequested_; }

    // The last message the run raised, for the status line.
    const std::u16string& LastMessage() const { return message_; }

private:
    Form1& form_;
    std::u16string message_;
};

Form1::Form1(Form1Hooks hooks, QWidget* parent) : QWidget(parent), hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("Form1"));
    messages_ = GivenOrQtMessageBoxes(hooks_.messages, this, ownMessages_);
    BuildControls();
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(KeyFolderLink, &QLabel::linkActivated, this, [this] { OpenKeyFolder(); });
    Form_Load();
}

Form1::~Form1() = default;

void Form1::BuildControls() {
    setWindowTitle(QStringLiteral("Corvane-[Generate Keys]"));
    setWindowIcon(QPixmap::fromImage(DrawProgramIcon(ProgramIcon::Keygen, 64)));
    ApplyWindowStyle(this);

    // The mnemonics ("&") give every control a key without changing what
    // the captions read.
    UniText1 = new UniText(this);
    UniText1->setObjectName(QStringLiteral("UniText1"));
    UniText1->SetMultiLine(false);
    UniText1->setFixedHeight(UniText1->fontMetrics().height() + 12);
    Label6 = MakeBuddyLabel(this, "Label6", QStringLiteral("Key &Series Name:"), UniText1);

    // A number that is not in the list can be typed; the run refuses what
    // is no count.
    Combo4 = new QComboBox(this);
    Combo4->setObjectName(QStringLiteral("Combo4"));
    Combo4->setEditable(true);
    Combo4->setInsertPolicy(QComboBox::NoInsert);
    Combo4->setMinimumContentsLength(5);
    Label4 = MakeBuddyLabel(this, "Label4", QStringLiteral("&Number of Keys to Create:"), Combo4);

    Frame2 = new QGroupBox(QStringLiteral("Key Naming &Option:"), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Option4 = MakeOption(Frame2, QStringLiteral("Option4"), QStringLiteral("Key Number"));
    Option3 = MakeOption(Frame2, QStringLiteral("Option3"), QStringLiteral("Date"));
    Option3->setChecked(true);
    auto* naming = new QVBoxLayout(Frame2);
    Compact(naming);
    naming->addWidget(Option4);
    naming->addWidget(Option3);

    Frame3 = new QGroupBox(QStringLiteral("&Random Number Generator:"), this);
    Frame3->setObjectName(QStringLiteral("Frame3"));
    auto* sources = new QVBoxLayout(Frame3);
    Compact(sources);
    for (const SourceButton& b : kSourceButtons) {
        const int index = static_cast<int>(b.source);
        Option6[index] = MakeOption(Frame3, QStringLiteral("Option6(%1)").arg(index), QString::fromLatin1(b.caption),
                                    QString::fromLatin1(b.tip));
        sources->addWidget(Option6[index]);
    }
    Option6[static_cast<int>(KeySource::MersenneTwister)]->setChecked(true);

    Combo1 = new QComboBox(this);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo2 = MakeList(this, "Combo2", 1, 12);
    Combo3 = MakeList(this, "Combo3", 1, 31);
    Label5 = MakeLabel(this, "Label5", QStringLiteral("Start Date:"));
    Label1 = MakeBuddyLabel(this, "Label1", QStringLiteral("&Year"), Combo1);
    Label2 = MakeBuddyLabel(this, "Label2", QStringLiteral("&Month"), Combo2);
    Label3 = MakeBuddyLabel(this, "Label3", QStringLiteral("&Day"), Combo3);

    Text3 = MakeTextBox(this, "Text3", QStringLiteral("1600"));
    Text4 = MakeTextBox(this, "Text4", QStringLiteral("1200"));
    for (QLineEdit* box : {Text3, Text4}) box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 16);
    Label8 = MakeBuddyLabel(this, "Label8", QStringLiteral("Key &Pixel Size:"), Text3);
    Label9 = MakeLabel(this, "Label9", QStringLiteral("X"));
    Label10 = MakeLabel(this, "Label10", QStringLiteral("Pixels"));

    // Informative: every key is a PNG, so "BMP" is shown but cannot be chosen.
    Frame1 = new QGroupBox(QStringLiteral("Key &File Type:"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Option1 = MakeOption(Frame1, QStringLiteral("Option1"), QStringLiteral("PNG"));
    Option1->setChecked(true);
    Option2 = MakeOption(Frame1, QStringLiteral("Option2"), QStringLiteral("BMP"),
                         QStringLiteral("Keys are always saved as PNG."));
    Option2->setEnabled(false);
    auto* fileType = new QHBoxLayout(Frame1);
    Compact(fileType);
    fileType->addWidget(Option1);
    fileType->addWidget(Option2);
    fileType->addStretch(1);

    Text1 = new UniText(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->SetMultiLine(false);
    Text1->SetLocked(true);
    Text1->SetBackColor(QColor::fromRgb(kDelimiterIdle));
    Text1->setFixedHeight(Text1->fontMetrics().height() + 12);
    Label11 = MakeBuddyLabel(this, "Label11", QStringLiteral("Key De&limiters:"), Text1);

    Command1 = new QPushButton(QStringLiteral("&Generate OTP Keys"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setMinimumHeight(36);
    SetBackColor(Command1, QColor::fromRgb(kButtonIdleColor));

    Text2 = MakeTextBox(this, "Text2", QString());
    Text2->setReadOnly(true);
    Label7 = MakeBuddyLabel(this, "Label7", QStringLiteral("S&tatus:"), Text2);
    // Beyond the design: how far a batch has come, and the folder its keys
    // went to, which opens in the file manager.
    KeyProgress = new QProgressBar(this);
    KeyProgress->setObjectName(QStringLiteral("KeyProgress"));
    KeyProgress->setFormat(QStringLiteral("%v of %m"));
    KeyProgress->setFixedWidth(180);
    KeyProgress->setVisible(false);
    Label12 = MakeLabel(this, "Label12", QString());
    KeyFolderLink = MakeLabel(this, "KeyFolderLink", QString());
    KeyFolderLink->setTextFormat(Qt::RichText);
    KeyFolderLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    KeyFolderLink->setFocusPolicy(Qt::StrongFocus);
    KeyFolderLink->setToolTip(QStringLiteral("Open the folder in the file manager."));
    KeyFolderLink->setVisible(false);

    Picture2 = new PictureBox(kPreviewSide, this);
    Picture2->setObjectName(QStringLiteral("Picture2"));
    Picture2->setFixedSize(kPreviewSide, kPreviewSide);
    auto* previewFrame = new QFrame(this);
    previewFrame->setFrameShape(QFrame::Box);
    auto* previewLayout = new QVBoxLayout(previewFrame);
    previewLayout->setContentsMargins(1, 1, 1, 1);
    previewLayout->addWidget(Picture2);

    // Layout: the settings in the left half, top to bottom; the preview in
    // the right half; the status across the bottom.
    auto* left = new QVBoxLayout;
    left->setSpacing(6);
    auto* series = new QHBoxLayout;
    series->addWidget(Label6);
    series->addWidget(UniText1, 1);
    left->addLayout(series);
    auto* countAndNaming = new QHBoxLayout;
    auto* count = new QVBoxLayout;
    count->addWidget(Label4);
    count->addWidget(Combo4, 0, Qt::AlignLeft);
    count->addStretch(1);
    countAndNaming->addLayout(count);
    countAndNaming->addWidget(Frame2, 1);
    left->addLayout(countAndNaming);
    left->addWidget(Frame3);
    auto* date = new QGridLayout;
    date->addWidget(Label5, 1, 0);
    date->addWidget(Label1, 0, 1);
    date->addWidget(Combo1, 1, 1);
    date->addWidget(Label2, 0, 2);
    date->addWidget(Combo2, 1, 2);
    date->addWidget(Label3, 0, 3);
    date->addWidget(Combo3, 1, 3);
    date->setColumnStretch(4, 1);
    left->addLayout(date);
    auto* size = new QHBoxLayout;
    size->addWidget(Label8);
    size->addWidget(Text3);
    size->addWidget(Label9);
    size->addWidget(Text4);
    size->addWidget(Label10);
    size->addStretch(1);
    left->addLayout(size);
    left->addWidget(Frame1);
    auto* delimiters = new QHBoxLayout;
    delimiters->addWidget(Label11);
    delimiters->addWidget(Text1, 1);
    left->addLayout(delimiters);
    left->addStretch(1);
    left->addWidget(Command1);

    auto* top = new QHBoxLayout;
    top->addLayout(left, 1);
    top->addSpacing(8);
    top->addWidget(previewFrame, 0, Qt::AlignTop);

    auto* status = new QHBoxLayout;
    status->addWidget(Label7);
    status->addWidget(Text2, 1);
    status->addWidget(KeyProgress);
    auto* below = new QHBoxLayout;
    below->addWidget(Label12);
    below->addStretch(1);
    below->addWidget(KeyFolderLink);

    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(10, 10, 10, 6);
    main->setSpacing(6);
    main->addLayout(top);
    main->addLayout(status);
    main->addLayout(below);

    // Keyboard order: top to bottom as the controls stand, then the button,
    // the status and the folder.
    std::vector<QWidget*> order = {UniText1, Combo4, Option4, Option3};
    for (const SourceButton& b : kSourceButtons) order.push_back(Option6[static_cast<int>(b.source)]);
    order.insert(order.end(), {Combo1, Combo2, Combo3, Text3, Text4, Option1, Option2, Text1, Command1, Text2,
                               KeyFolderLink});
    for (size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
    resize(952, 560);
}

void Form1::Form_Load() {
    PrepareKeyGenerator(state_, ProgramRandom());

    Combo4->clear();
    Combo4->addItem(QStringLiteral("1"));
    for (int n = 10; n <= 500; n += 10) Combo4->addItem(QString::number(n));
    Combo4->setCurrentIndex(0);

    // A year outside the list's range extends it, so that today can always
    // be chosen.
    const CivilDate today = hooks_.today ? hooks_.today() : Today();
    Combo1->clear();
    const int firstYear = std::min(kFirstListedYear, today.year);
    for (int year = firstYear; year <= std::max(kLastListedYear, today.year); ++year)
        Combo1->addItem(QString::number(year));
    Combo1->setCurrentIndex(today.year - firstYear);
    Combo2->setCurrentIndex(today.month - 1);
    Combo3->setCurrentIndex(today.day - 1);

    UniText1->SetText(FormatDate(today));

    root_ = hooks_.root.empty() ? WorkingRoot(ApplicationFolder()) : hooks_.root;
    fallbackRoot_ = hooks_.fallbackRoot.empty() ? FallbackRoot() : hooks_.fallbackRoot;
}

KeySource Form1::SelectedSource() const {
    for (int i = 0; i < kKeySourceCount; ++i)
        if (Option6[i]->isChecked()) return static_cast<KeySource>(i);
    return KeySource::MersenneTwister;
}

void Form1::Command1_Click() {
    if (busy_) return;
    KeyGenerationInputs in;
    in.widthText = ToU16(Text3->text());
    in.heightText = ToU16(Text4->text());
    in.seriesName = UniText1->Text();
    in.source = SelectedSource();
    in.countText = ToU16(Combo4->currentText());
    in.naming = Option4->isChecked() ? KeyNaming::Number : KeyNaming::Date;
    in.startYear = Combo1->currentText().toInt();
    in.startMonth = Combo2->currentText().toInt();
    in.startDay = Combo3->currentText().toInt();
    in.root = root_;
    in.fallbackRoot = fallbackRoot_;

    batchSize_ = Combo4->currentText().trimmed().toInt();
    stopRequested_ = false;

    Reporter reporter(*this);
    const KeyGenerationResult result = GenerateKeys(in, state_, ProgramRandom(), reporter);
    if (busy_) SetBusy(false);
    // A run that ended early says why where its progress was shown, not only
    // in a message box that is gone once acknowledged.
    if (!result.completed && !reporter.LastMessage().empty()) {
        if (result.status.empty())
            ShowStatus(QStringLiteral("Not started: ") + ToQString(reporter.LastMessage()));
        else
            ShowStatus(ToQString(result.status) + QStringLiteral(" - ") + ToQString(reporter.LastMessage()));
    }
    if (closeWhenDone_) {
        closeWhenDone_ = false;
        close();
    }
}

void Form1::OpenKeyFolder() {
    if (keyFolder_.empty()) return;
    const QUrl url = QUrl::fromLocalFile(QString::fromStdString(keyFolder_));
    if (hooks_.openFolder) hooks_.openFolder(url);
    else QDesktopServices::openUrl(url);
}

void Form1::SetBusy(bool busy) {
    busy_ = busy;
    if (busy) {
        KeyProgress->setRange(0, std::max(batchSize_, 1));
        KeyProgress->setValue(0);
        KeyProgress->setVisible(batchSize_ > 1);
    }
    Command1->setEnabled(!busy);
    SetBackColor(Command1, QColor::fromRgb(busy ? kButtonBusyColor : kButtonIdleColor));
}

void Form1::ShowStatus(const QString& text) {
    Text2->setText(text);
    // A long path stays readable from its start, and whole in the tooltip.
    Text2->setCursorPosition(0);
    Text2->setToolTip(text);
}

void Form1::ShowKeyFolder(const std::string& folder) {
    if (folder == keyFolder_) return;
    keyFolder_ = folder;
    const QString shown = QString::fromStdString(folder).toHtmlEscaped();
    KeyFolderLink->setText(QStringLiteral("Keys in: <a href=\"folder\">%1</a>").arg(shown));
    KeyFolderLink->setVisible(true);
}

void Form1::closeEvent(QCloseEvent* event) {
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
