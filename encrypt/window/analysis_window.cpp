#include "encrypt/window/analysis_window.hpp"

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
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>

#include "core/code_page.hpp"
#include "core/image_decoder.hpp"
#include "core/image_file.hpp"
#include "core/platform.hpp"
#include "encrypt/image_analysis.hpp"
#include "encrypt/steganalysis.hpp"
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

// Messages of the analysis functions, shown as message boxes on the window's
// thread; the computation waits until the user has seen them.
class BoxReporter : public Reporter {
public:
    BoxReporter(MessageBoxes& messages, QObject* window, const std::atomic<bool>& abandoned)
        : messages_(messages), window_(window), abandoned_(abandoned) {}
    void Message(std::u16string_view text, MessageIcon icon) override {
        if (abandoned_) return;
        auto show = [this, text, icon] { messages_.Show(text, icon); };
        if (QThread::currentThread() == window_->thread()) show();
        else QMetaObject::invokeMethod(window_, show, Qt::BlockingQueuedConnection);
    }

private:
    MessageBoxes& messages_;
    QObject* window_;
    const std::atomic<bool>& abandoned_;
};

}  // namespace

AnalysisWindow::AnalysisWindow(ReferenceSource reference, MessageBoxes& messages, Dialogs dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), reference_(std::move(reference)), messages_(messages), dialogs_(std::move(dialogs)) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Image Analysis - Allows examination of LSBs (Least Significant Bits) and "
                                  "comparision to original image."));
    ApplyWindowStyle(this);

    createPictures();
    createViewOptions();
    createButtons();
    buildLayout();
    connect(browseButton_, &QPushButton::clicked, this, [this] { onBrowse(); });
    connect(calcButton_, &QPushButton::clicked, this, [this] { onCalc(); });
    connect(psnrButton_, &QPushButton::clicked, this, [this] { onPsnr(); });
    connect(variationButton_, &QPushButton::clicked, this, [this] { onVariation(); });
    connect(copyButton_, &QPushButton::clicked, this, [this] { onCopy(); });
    connect(saveButton_, &QPushButton::clicked, this, [this] { onSave(); });
    connect(estimateButton_, &QPushButton::clicked, this, [this] { onEstimate(); });
    setAcceptDrops(true);
    // Room for two 600-pixel pictures side by side where the screen has it.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize room = screen ? screen->availableSize() : QSize(1280, 800);
    resize(std::min(1460, room.width() * 19 / 20), std::min(820, room.height() * 9 / 10));
}

void AnalysisWindow::createPictures() {
    browseButton_ = MakeButton(this, "Command2", QStringLiteral("Browse"), QStringLiteral("Browse for image to load."));
    pathLabel_ = MakeLabel(this, "Label3");
    pathLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    imagePicture_ = new PictureBox(0, this);
    imagePicture_->setObjectName(QStringLiteral("Picture1"));
    viewPicture_ = new PictureBox(0, this);
    viewPicture_->setObjectName(QStringLiteral("Picture2"));
    graphPicture_ = new PictureBox(0, this);
    graphPicture_->setObjectName(QStringLiteral("Picture3"));
    graphPicture_->setToolTip(QStringLiteral("Green: Average LSB Values by Pixel Column. Yellow: Sum of LSB Y Differences. "
                                        "Red: Chi-Squared Probability of Significance of Difference With Original "
                                        "Image."));
}

void AnalysisWindow::createViewOptions() {
    viewFrame_ = new QGroupBox(QStringLiteral("LSB Pixel Option"), this);
    viewFrame_->setObjectName(QStringLiteral("Frame1"));
    const char* captions[] = {"All", "R", "G", "B", "Diff"};
    const char* tips[] = {
        "Shows image RGB LSBs.  Each is set to full-color (255) if it is set.",
        "Shows image R LSBs.  Each is set to full-color (255) if it is set.",
        "Shows image G LSBs.  Each is set to full-color (255) if it is set.",
        "Shows image B LSBs.  Each is set to full-color (255) if it is set.",
        "Shows pixel LSB differences between image loaded and currently selected input file.",
    };
    auto* options = new QVBoxLayout(viewFrame_);
    for (int i = 0; i < 5; ++i) {
        viewOptions_[i] = new QRadioButton(QString::fromLatin1(captions[i]), viewFrame_);
        viewOptions_[i]->setObjectName(QStringLiteral("Option1_") + QString::number(i));
        viewOptions_[i]->setToolTip(QString::fromLatin1(tips[i]));
        options->addWidget(viewOptions_[i]);
        connect(viewOptions_[i], &QRadioButton::clicked, this, [this, i] { onViewOption(i); });
    }
    viewOptions_[0]->setChecked(true);
}

void AnalysisWindow::createButtons() {
    calcButton_ = MakeButton(this, "Command1", QStringLiteral("Calc"), QStringLiteral("Calculate image analysis."));
    chiCaption_ = MakeLabel(this, "Label1", QStringLiteral("Chi-Squared Average Probability:"));
    chiLabel_ = MakeLabel(this, "Label2");
    psnrButton_ = MakeButton(this, "Command5", QStringLiteral("PSNR"),
                          QStringLiteral("Calculate PSNR vs. original image (Peak Signal to Noise Ratio)."));
    psnrLabel_ = MakeLabel(this, "Label4");
    psnrLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    variationButton_ = MakeButton(this, "Command4", QStringLiteral("Vari.."),
                          QStringLiteral("Show local pixel variations in RGB colors (select color using buttons to "
                                         "the left)."));
    copyButton_ = MakeButton(this, "Command3", QStringLiteral("Copy"));
    saveButton_ = MakeButton(this, "Command6", QStringLiteral("Save..."), QStringLiteral("Save the view as a PNG file."));
    estimateButton_ = MakeButton(this, "Command7", QStringLiteral("Estimate"),
                          QStringLiteral("Estimate the share of LSBs replaced by an embedding, from this image alone "
                                         "(RS and sample-pair analysis)."));
    estimateLabel_ = MakeLabel(this, "Label5");
    estimateLabel_->setWordWrap(true);
    estimateLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
}

void AnalysisWindow::buildLayout() {
    // The image and its view side by side, the graph under the image, its
    // columns under the image's: all at one screen pixel per image pixel,
    // scrolling when the image is large.
    auto* canvas = new QWidget(this);
    auto* grid = new QGridLayout(canvas);
    grid->addWidget(imagePicture_, 0, 0, Qt::AlignLeft | Qt::AlignTop);
    grid->addWidget(viewPicture_, 0, 1, Qt::AlignLeft | Qt::AlignTop);
    grid->addWidget(graphPicture_, 1, 0, Qt::AlignLeft | Qt::AlignTop);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(2, 1);
    picturesArea_ = new QScrollArea(this);
    picturesArea_->setObjectName(QStringLiteral("Pictures"));
    picturesArea_->setWidget(canvas);
    picturesArea_->setWidgetResizable(true);

    auto* side = new QVBoxLayout;
    side->addWidget(viewFrame_);
    for (QPushButton* b : {calcButton_, psnrButton_, variationButton_, copyButton_, saveButton_, estimateButton_}) side->addWidget(b);
    side->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(browseButton_);
    top->addWidget(pathLabel_, 1);
    auto* results = new QGridLayout;
    results->addWidget(chiCaption_, 0, 0);
    results->addWidget(chiLabel_, 0, 1);
    results->addWidget(new QLabel(QStringLiteral("PSNR:"), this), 1, 0);
    results->addWidget(psnrLabel_, 1, 1);
    results->addWidget(new QLabel(QStringLiteral("LSB Estimate:"), this), 2, 0, Qt::AlignTop);
    results->addWidget(estimateLabel_, 2, 1);
    results->setColumnStretch(1, 1);
    auto* middle = new QHBoxLayout;
    middle->addLayout(side);
    middle->addWidget(picturesArea_, 1);
    auto* column = new QVBoxLayout(this);
    column->addLayout(top);
    column->addLayout(middle, 1);
    column->addLayout(results);
}

const PixelGrid& AnalysisWindow::image() const { return imagePicture_->Grid(); }
const PixelGrid& AnalysisWindow::view() const { return viewPicture_->Grid(); }
const PixelGrid& AnalysisWindow::graph() const { return graphPicture_->Grid(); }

const PixelGrid& AnalysisWindow::reference() const {
    // The carrier the main window shows, read at the moment of the press.
    static const PixelGrid kNone;
    const PixelGrid* reference = reference_ ? reference_() : nullptr;
    return reference ? *reference : kNone;
}

void AnalysisWindow::onBrowse() {
    const QString title = QStringLiteral("Select Image File");
    const QString filters = QStringLiteral("PNG Files (*.png);;BMP Files (*.bmp);;JPG Files (*.jpg)");
    const QString folder = QString::fromStdString(WorkingRoot(ApplicationFolder()));
    const std::string path = AskOpenFile(dialogs_.openFile, this, title, filters, folder);
    if (!path.empty()) loadImage(path);
}

bool AnalysisWindow::loadImage(const std::string& path) {
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
    pathLabel_->setText(QString::fromStdString(path));
    // The view takes the image's size, cleared; the graph and the figures of
    // the previous image go.
    PixelGrid cleared(image.width, image.height);
    for (auto& p : cleared.pixels) p = kClearedViewColour;
    viewPicture_->SetGrid(std::move(cleared));
    imagePicture_->SetGrid(std::move(image));
    graphPicture_->Clear();
    chiLabel_->clear();
    psnrLabel_->clear();
    estimateLabel_->clear();
    return true;
}

void AnalysisWindow::onViewOption(int index) { lsbViewMode_ = index; }

bool AnalysisWindow::haveImage() {
    if (!imagePicture_->IsEmpty()) return true;
    messages_.Information(u"No image loaded: Browse for an image, or drop one on this window.");
    return false;
}

void AnalysisWindow::onCalc() {
    if (!haveImage()) return;
    runOffThread([this, image = imagePicture_->Grid(), mode = lsbViewMode_, reference = reference()] {
        auto result = std::make_shared<ImageAnalysisResult>(AnalyseImage(image, mode, reference));
        return [this, result] { showCalc(*result); };
    });
}

void AnalysisWindow::showCalc(ImageAnalysisResult& result) {
    viewPicture_->SetGrid(std::move(result.view));
    const int w = imagePicture_->Grid().width;
    PixelGrid graph(w, kGraphRows);
    for (auto& p : graph.pixels) p = kGraphBack;
    for (int x = 0; x < w; ++x) {
        graph.at(x, result.graph.green[x]) = kGreen;
        graph.at(x, result.graph.yellow[x]) = kYellow;
        if (result.chiSquared) graph.at(x, result.chiSquared->red[x]) = kRed;
    }
    graphPicture_->SetGrid(std::move(graph));
    // Without a reference of the same size the test is skipped and the last
    // average stays.
    if (result.chiSquared) chiLabel_->setText(ToQString(result.chiSquared->averageText));
}

void AnalysisWindow::runOffThread(std::function<std::function<void()>()> work) {
    setRunning(true);
    QThread* worker = QThread::create([this, work = std::move(work)] {
        std::function<void()> show = work();
        QMetaObject::invokeMethod(
            this,
            [this, show] {
                setRunning(false);
                show();
                emit analysisFinished();
            },
            Qt::QueuedConnection);
    });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker_ = worker;
    worker->start();
}

void AnalysisWindow::setRunning(bool running) {
    // Nothing that changes what a computation reads, or starts another, is
    // taken while one runs; the pointer is an hourglass meanwhile.
    running_ = running;
    for (QWidget* w : std::initializer_list<QWidget*>{browseButton_, viewFrame_, calcButton_, psnrButton_,
                                                      variationButton_, copyButton_, saveButton_, estimateButton_})
        w->setEnabled(!running);
    if (running) QApplication::setOverrideCursor(Qt::WaitCursor);
    else QApplication::restoreOverrideCursor();
}

AnalysisWindow::~AnalysisWindow() {
    abandoned_ = true;
    if (worker_) worker_->wait();
}

void AnalysisWindow::onPsnr() {
    const PsnrResult psnr = ComputePsnr(reference(), imagePicture_->Grid());
    psnrLabel_->setText(ToQString(psnr.text));
}

void AnalysisWindow::onVariation() {
    if (!haveImage()) return;
    runOffThread([this, image = imagePicture_->Grid(), mode = lsbViewMode_] {
        BoxReporter reporter(messages_, this, abandoned_);
        auto map = std::make_shared<std::optional<PixelGrid>>(VariationMap(image, mode, reporter));
        return [this, map] {
            if (*map) viewPicture_->SetGrid(std::move(**map));
        };
    });
}

void AnalysisWindow::onCopy() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    if (!viewPicture_->IsEmpty()) clipboard->setImage(viewPicture_->Image());
}

void AnalysisWindow::onSave() {
    if (viewPicture_->IsEmpty()) {
        messages_.Information(u"Nothing to save: press Calc or Vari.. first.");
        return;
    }
    const QString title = QStringLiteral("Save View");
    const QString filters = QStringLiteral("PNG Files (*.png)");
    QString folder = QString::fromStdString(WorkingRoot(ApplicationFolder()));
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
    switch (SaveGridFile(viewPicture_->Grid(), OutputKind::Png, path, options, &reason)) {
        case SaveStatus::Saved: return;
        case SaveStatus::AlreadyExists: reason = "the file already exists"; break;
        case SaveStatus::Failed: break;
    }
    messages_.Critical(u"The view was not saved to " + Utf8ToText(path) + u": " + Utf8ToText(reason));
}

void AnalysisWindow::onEstimate() {
    if (!haveImage()) return;
    runOffThread([this, image = imagePicture_->Grid()] {
        // A tool that writes on one 2 x 2 sub-grid only shows there several
        // times more plainly than in the whole image.
        const QString caption = ToQString(LsbEstimateCaption(EstimateLsbReplacement(image))) + QStringLiteral("\n") +
                                ToQString(SubGridEstimateCaption(EstimateSubGrids(image)));
        return [this, caption] { estimateLabel_->setText(caption); };
    });
}

void AnalysisWindow::dragEnterEvent(QDragEnterEvent* event) {
    // A new image while a computation runs would not match its result.
    if (event->mimeData()->hasUrls() && !running_) event->acceptProposedAction();
}

void AnalysisWindow::dropEvent(QDropEvent* event) {
    const std::string path = DroppedFile(*event);
    if (path.empty()) return;
    loadImage(path);
    event->acceptProposedAction();
}

}  // namespace corvane::encryptor
