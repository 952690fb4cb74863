#include "encrypt/window/form4.hpp"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

#include "core/code_page.hpp"
#include "core/image_decoder.hpp"
#include "core/image_file.hpp"
#include "core/platform.hpp"
#include "encrypt/image_analysis.hpp"
#include "encrypt/steganalysis.hpp"
#include "encrypt/window/form2.hpp"
#include "widgets/controls.hpp"
#include "widgets/file_dialogs.hpp"
#include "widgets/message_boxes.hpp"
#include "widgets/picture_box.hpp"
#include "widgets/window_style.hpp"

namespace corvane::encryptor {
namespace {

constexpr int kGraphRows = 101;  // rows 0-100
constexpr uint32_t kGraphBack = Rgb(0, 0, 0);
constexpr uint32_t kGreen = Rgb(0, 255, 0);
constexpr uint32_t kYellow = Rgb(255, 255, 0);
constexpr uint32_t kRed = Rgb(255, 0, 0);


// The hourglass while a computation runs.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// Messages of the analysis functions, shown as message boxes.
class BoxReporter : public Reporter {
public:
    explicit BoxReporter(MessageBoxes& messages) : messages_(messages) {}
    void Message(std::u16string_view text, MessageIcon icon) override { messages_.Show(text, icon); }

private:
    MessageBoxes& messages_;
};

}  // namespace

Form4::Form4(Form2& main, MessageBoxes& messages, Dialogs dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), main_(main), messages_(messages), dialogs_(std::move(dialogs)) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Image Analysis - Allows examination of LSBs (Least Significant Bits) and "
                                  "comparision to original image."));
    ApplyWindowStyle(this);

    Command2 = MakeButton(this, "Command2", QStringLiteral("Browse"), QStringLiteral("Browse for image to load."));
    Label3 = MakeLabel(this, "Label3");
    Label3->setTextInteractionFlags(Qt::TextSelectableByMouse);

    Picture1 = new PictureBox(0, this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture2 = new PictureBox(0, this);
    Picture2->setObjectName(QStringLiteral("Picture2"));
    Picture3 = new PictureBox(0, this);
    Picture3->setObjectName(QStringLiteral("Picture3"));
    Picture3->setToolTip(QStringLiteral("Green: Average LSB Values by Pixel Column. Yellow: Sum of LSB Y Differences. "
                                        "Red: Chi-Squared Probability of Significance of Difference With Original "
                                        "Image."));

    Frame1 = new QGroupBox(QStringLiteral("LSB Pixel Option"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    const char* captions[] = {"All", "R", "G", "B", "Diff"};
    const char* tips[] = {
        "Shows image RGB LSBs.  Each is set to full-color (255) if it is set.",
        "Shows image R LSBs.  Each is set to full-color (255) if it is set.",
        "Shows image G LSBs.  Each is set to full-color (255) if it is set.",
        "Shows image B LSBs.  Each is set to full-color (255) if it is set.",
        "Shows pixel LSB differences between image loaded and currently selected input file.",
    };
    auto* options = new QVBoxLayout(Frame1);
    for (int i = 0; i < 5; ++i) {
        Option1[i] = new QRadioButton(QString::fromLatin1(captions[i]), Frame1);
        Option1[i]->setObjectName(QStringLiteral("Option1_") + QString::number(i));
        Option1[i]->setToolTip(QString::fromLatin1(tips[i]));
        options->addWidget(Option1[i]);
        connect(Option1[i], &QRadioButton::clicked, this, [this, i] { Option1_Click(i); });
    }
    Option1[0]->setChecked(true);

    Command1 = MakeButton(this, "Command1", QStringLiteral("Calc"), QStringLiteral("Calculate image analysis."));
    Label1 = MakeLabel(this, "Label1", QStringLiteral("Chi-Squared Average Probability:"));
    Label2 = MakeLabel(this, "Label2");
    Command5 = MakeButton(this, "Command5", QStringLiteral("PSNR"),
                          QStringLiteral("Calculate PSNR vs. original image (Peak Signal to Noise Ratio)."));
    Label4 = MakeLabel(this, "Label4");
    Label4->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Command4 = MakeButton(this, "Command4", QStringLiteral("Vari.."),
                          QStringLiteral("Show local pixel variations in RGB colors (select color using buttons to "
                                         "the left)."));
    Command3 = MakeButton(this, "Command3", QStringLiteral("Copy"));
    Command6 = MakeButton(this, "Command6", QStringLiteral("Save..."), QStringLiteral("Save the view as a PNG file."));
    Command7 = MakeButton(this, "Command7", QStringLiteral("Estimate"),
                          QStringLiteral("Estimate the share of LSBs replaced by an embedding, from this image alone "
                                         "(RS and sample-pair analysis)."));
    Label5 = MakeLabel(this, "Label5");
    Label5->setWordWrap(true);
    Label5->setTextInteractionFlags(Qt::TextSelectableByMouse);

    // The image and its view side by side, the graph under the image, its
    // columns under the image's: all at one screen pixel per image pixel,
    // scrolling when the image is large.
    auto* canvas = new QWidget(this);
    auto* grid = new QGridLayout(canvas);
    grid->addWidget(Picture1, 0, 0, Qt::AlignLeft | Qt::AlignTop);
    grid->addWidget(Picture2, 0, 1, Qt::AlignLeft | Qt::AlignTop);
    grid->addWidget(Picture3, 1, 0, Qt::AlignLeft | Qt::AlignTop);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(2, 1);
    Pictures = new QScrollArea(this);
    Pictures->setObjectName(QStringLiteral("Pictures"));
    Pictures->setWidget(canvas);
    Pictures->setWidgetResizable(true);

    auto* side = new QVBoxLayout;
    side->addWidget(Frame1);
    for (QPushButton* b : {Command1, Command5, Command4, Command3, Command6, Command7}) side->addWidget(b);
    side->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(Command2);
    top->addWidget(Label3, 1);
    auto* results = new QGridLayout;
    results->addWidget(Label1, 0, 0);
    results->addWidget(Label2, 0, 1);
    results->addWidget(new QLabel(QStringLiteral("PSNR:"), this), 1, 0);
    results->addWidget(Label4, 1, 1);
    results->addWidget(new QLabel(QStringLiteral("LSB Estimate:"), this), 2, 0, Qt::AlignTop);
    results->addWidget(Label5, 2, 1);
    results->setColumnStretch(1, 1);
    auto* middle = new QHBoxLayout;
    middle->addLayout(side);
    middle->addWidget(Pictures, 1);
    auto* column = new QVBoxLayout(this);
    column->addLayout(top);
    column->addLayout(middle, 1);
    column->addLayout(results);

    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command5, &QPushButton::clicked, this, [this] { Command5_Click(); });
    connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
    connect(Command6, &QPushButton::clicked, this, [this] { Command6_Click(); });
    connect(Command7, &QPushButton::clicked, this, [this] { Command7_Click(); });
    setAcceptDrops(true);
    // Room for two 600-pixel pictures side by side where the screen has it.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize room = screen ? screen->availableSize() : QSize(1280, 800);
    resize(std::min(1460, room.width() * 19 / 20), std::min(820, room.height() * 9 / 10));
}

const PixelGrid& Form4::Image() const { return Picture1->Grid(); }
const PixelGrid& Form4::View() const { return Picture2->Grid(); }
const PixelGrid& Form4::Graph() const { return Picture3->Grid(); }

const PixelGrid& Form4::Reference() const {
    // The carrier the main window shows, read at the moment of the press.
    static const PixelGrid kNone;
    return main_.ImagePath().empty() ? kNone : main_.Carrier();
}

void Form4::Command2_Click() {
    const QString title = QStringLiteral("Select Image File");
    const QString filters = QStringLiteral("PNG Files (*.png);;BMP Files (*.bmp);;JPG Files (*.jpg)");
    const QString folder = QString::fromStdString(ApplicationFolder());
    const std::string path = AskOpenFile(dialogs_.openFile, this, title, filters, folder);
    if (!path.empty()) LoadImage(path);
}

bool Form4::LoadImage(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    LoadRule rule;
    if (!AnalysisLoadRuleForPath(path, rule)) {
        messages_.Information(u"Cannot load " + Utf8ToText(name) + u": the analysis reads .png, .bmp and .jpg files.");
        return false;
    }
    PixelGrid image;
    std::string error;
    {
        WaitCursor wait;
        if (!LoadGridAs(path, rule, image, nullptr, &error)) {
            messages_.Information(u"Cannot load the image " + Utf8ToText(name) + u": " + Utf8ToText(error));
            return false;
        }
    }
    imagePath_ = path;
    Label3->setText(QString::fromStdString(path));
    // The view takes the image's size, cleared; the graph and the figures of
    // the previous image go.
    PixelGrid cleared(image.width, image.height);
    for (auto& p : cleared.pixels) p = kClearedViewColour;
    Picture2->SetGrid(std::move(cleared));
    Picture1->SetGrid(std::move(image));
    Picture3->Clear();
    Label2->clear();
    Label4->clear();
    Label5->clear();
    return true;
}

void Form4::Option1_Click(int index) { lsbViewMode_ = index; }

bool Form4::HaveImage() {
    if (!Picture1->IsEmpty()) return true;
    messages_.Information(u"No image loaded: Browse for an image, or drop one on this window.");
    return false;
}

void Form4::Command1_Click() {
    if (!HaveImage()) return;
    Command1->setEnabled(false);
    ImageAnalysisResult result;
    {
        WaitCursor wait;
        result = AnalyseImage(Picture1->Grid(), lsbViewMode_, Reference());
    }
    Picture2->SetGrid(std::move(result.view));
    const int w = Picture1->Grid().width;
    PixelGrid graph(w, kGraphRows);
    for (auto& p : graph.pixels) p = kGraphBack;
    for (int x = 0; x < w; ++x) {
        graph.at(x, result.graph.green[x]) = kGreen;
        graph.at(x, result.graph.yellow[x]) = kYellow;
        if (result.chiSquared) graph.at(x, result.chiSquared->red[x]) = kRed;
    }
    Picture3->SetGrid(std::move(graph));
    // Without a reference of the same size the test is skipped and the last
    // average stays.
    if (result.chiSquared) Label2->setText(ToQString(result.chiSquared->averageText));
    Command1->setEnabled(true);
}

void Form4::Command5_Click() {
    const PsnrResult psnr = ComputePsnr(Reference(), Picture1->Grid());
    Label4->setText(ToQString(psnr.text));
}

void Form4::Command4_Click() {
    if (!HaveImage()) return;
    BoxReporter reporter(messages_);
    std::optional<PixelGrid> map;
    {
        WaitCursor wait;
        map = VariationMap(Picture1->Grid(), lsbViewMode_, reporter);
    }
    if (map) Picture2->SetGrid(std::move(*map));
}

void Form4::Command3_Click() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    if (!Picture2->IsEmpty()) clipboard->setImage(Picture2->Image());
}

void Form4::Command6_Click() {
    if (Picture2->IsEmpty()) {
        messages_.Information(u"Nothing to save: press Calc or Vari.. first.");
        return;
    }
    const QString title = QStringLiteral("Save View");
    const QString filters = QStringLiteral("PNG Files (*.png)");
    QString folder = QString::fromStdString(ApplicationFolder());
    if (!imagePath_.empty()) {
        const std::filesystem::path p(imagePath_);
        folder = QString::fromStdString((p.parent_path() / (p.stem().string() + "-view.png")).string());
    }
    std::string path = AskSaveFile(dialogs_.saveFile, this, title, filters, folder);
    if (path.empty()) return;
    SaveOptions options;
    // The dialog has asked before replacing the file it names; a name it did
    // not see (the ending added here) replaces nothing.
    options.overwrite = true;
    if (std::filesystem::path(path).extension() != ".png") {
        path += ".png";
        options.overwrite = false;
    }
    std::string reason;
    switch (SaveGridFile(Picture2->Grid(), OutputKind::Png, path, options, &reason)) {
        case SaveStatus::Saved: return;
        case SaveStatus::AlreadyExists: reason = "the file already exists"; break;
        case SaveStatus::Failed: break;
    }
    messages_.Critical(u"The view was not saved to " + Utf8ToText(path) + u": " + Utf8ToText(reason));
}

void Form4::Command7_Click() {
    if (!HaveImage()) return;
    Command7->setEnabled(false);
    std::u16string caption;
    {
        WaitCursor wait;
        caption = LsbEstimateCaption(EstimateLsbReplacement(Picture1->Grid()));
    }
    Label5->setText(ToQString(caption));
    Command7->setEnabled(true);
}

void Form4::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void Form4::dropEvent(QDropEvent* event) {
    const std::string path = DroppedFile(*event);
    if (path.empty()) return;
    LoadImage(path);
    event->acceptProposedAction();
}

}  // namespace corvane::encryptor
