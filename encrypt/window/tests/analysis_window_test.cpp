// The analysis window against the analysis functions: an encrypted image
// examined against the carrier the main window shows.
#include "encrypt/window/analysis_window.hpp"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>

#include "encrypt/image_analysis.hpp"
#include "encrypt/steganalysis.hpp"
#include "encrypt/window/encrypt_window.hpp"
#include "encrypt_scene.hpp"
#include "widgets/picture_box.hpp"
#include "widgets/uni_text.hpp"

namespace corvane::encryptor {
namespace {

// The photo encrypted through the main window, which keeps showing it as
// its carrier; the analysis window open.
struct AnalysisScene : Scene {
    std::unique_ptr<EncryptWindow> form;
    AnalysisWindow* analysis = nullptr;
    std::string encryptedPath;
    PixelGrid encryptedImage;

    AnalysisScene() {
        form = Open();
        Pick(*form, "coffee.png", "key.png");
        form->messageText()->SetText(kMessage);
        PressEncrypt(*form);
        encryptedPath = form->lastResult().savedPath;
        EXPECT_TRUE(LoadGrid(encryptedPath, encryptedImage));
        form->analysisButton()->click();
        analysis = form->analysisWindow();
    }
    // Presses a button and waits for any computation it starts.
    void Press(QPushButton* button) {
        button->click();
        if (!analysis->running()) return;
        QSignalSpy ended(analysis, &AnalysisWindow::analysisFinished);
        ASSERT_TRUE(ended.wait(120000));
    }
    void Option(int index) {
        analysis->viewOption(index)->click();
    }
    // Loads through browse.
    void browse(const std::string& path) {
        openFileAnswer = path;
        Press(analysis->browseButton());
    }
};

TEST(AnalysisWindow, CalcDrawsTheDiffViewGraphAndChiSquaredAgainstTheCarrier) {
    AnalysisScene s;
    ASSERT_NE(s.analysis, nullptr);
    EXPECT_TRUE(s.analysis->windowTitle().startsWith("Image Analysis - Allows examination of LSBs"));
    s.browse(s.encryptedPath);
    EXPECT_EQ(s.openFileTitle, "Select Image File");
    EXPECT_EQ(s.analysis->pathLabel()->text(), QString::fromStdString(s.encryptedPath));
    EXPECT_EQ(s.analysis->image(), s.encryptedImage);
    EXPECT_EQ(s.analysis->view().width, 600);

    // Choosing a view draws nothing until Calc.
    const PixelGrid cleared = s.analysis->view();
    s.Option(4);
    EXPECT_EQ(s.analysis->lsbViewMode(), 4);
    EXPECT_EQ(s.analysis->view(), cleared);
    s.Press(s.analysis->calcButton());
    EXPECT_EQ(s.analysis->view(), LsbView(s.encryptedImage, 4, s.form->carrier()));
    const auto chi = ComputeChiSquared(s.encryptedImage, s.form->carrier());
    ASSERT_TRUE(chi.has_value());
    EXPECT_EQ(s.analysis->chiLabel()->text(), Q(chi->averageText));

    // The graph: one column per image column, rows 0-100, the three series
    // where the functions put them.
    const PixelGrid& graph = s.analysis->graph();
    ASSERT_EQ(graph.width, 600);
    ASSERT_EQ(graph.height, 101);
    const ColumnGraph columns = ComputeColumnGraph(s.encryptedImage);
    for (int x : {0, 123, 599}) {
        EXPECT_EQ(graph.at(x, chi->red[x]), Rgb(255, 0, 0)) << x;
        if (columns.yellow[x] != chi->red[x]) {
            EXPECT_EQ(graph.at(x, columns.yellow[x]), Rgb(255, 255, 0)) << x;
        }
        if (columns.green[x] != chi->red[x] && columns.green[x] != columns.yellow[x]) {
            EXPECT_EQ(graph.at(x, columns.green[x]), Rgb(0, 255, 0)) << x;
        }
    }
    EXPECT_TRUE(s.analysis->calcButton()->isEnabled());
}

TEST(AnalysisWindow, PsnrAndTheDiffOfTheCarrierAgainstItself) {
    AnalysisScene s;
    s.browse(s.encryptedPath);
    s.Press(s.analysis->psnrButton());
    EXPECT_EQ(s.analysis->psnrLabel()->text(), Q(ComputePsnr(s.form->carrier(), s.encryptedImage).text));
    EXPECT_TRUE(s.analysis->psnrLabel()->text().startsWith("R:"));

    // The main window shows the carrier with the encryption's repairs; picked
    // again it is the file as it stands, the same as the loaded image.
    Pick(*s.form, "coffee.png", nullptr);
    s.browse(s.images + "/coffee.png");
    s.Press(s.analysis->psnrButton());
    EXPECT_EQ(s.analysis->psnrLabel()->text(), "R:100.00 G:100.00 B:100.00");
    s.Option(4);
    s.Press(s.analysis->calcButton());
    for (uint32_t p : s.analysis->view().pixels) ASSERT_EQ(p, 0u);
    EXPECT_EQ(s.analysis->chiLabel()->text(), "0.000%");
}

TEST(AnalysisWindow, ReferenceOfAnotherSizeSkipsTheTestAndKeepsTheAverage) {
    AnalysisScene s;
    s.browse(s.encryptedPath);
    s.Press(s.analysis->calcButton());
    const QString average = s.analysis->chiLabel()->text();
    ASSERT_FALSE(average.isEmpty());
    // The carrier changes to one of another size: no red points, the
    // average stays.
    fs::copy_file(PhotoPath("astronaut.png"), s.images + "/astronaut.png");
    s.form->carrierList()->Refresh();
    Pick(*s.form, "astronaut.png", nullptr);
    s.Press(s.analysis->calcButton());
    EXPECT_EQ(s.analysis->chiLabel()->text(), average);
    for (uint32_t p : s.analysis->graph().pixels) ASSERT_NE(p, Rgb(255, 0, 0));
    // Loading another image clears the figures.
    s.browse(s.images + "/astronaut.png");
    EXPECT_EQ(s.analysis->chiLabel()->text(), "");
    EXPECT_TRUE(s.analysis->graph().empty());
}

TEST(AnalysisWindow, VariationMapNeedsAColour) {
    AnalysisScene s;
    s.browse(s.encryptedPath);
    s.Press(s.analysis->variationButton());
    EXPECT_EQ(s.Shown(), std::vector<std::u16string>{
                                     u"Please select a variation color (Red, Green, or Blue) using the buttons to "
                                     u"the left."});
    s.Option(3);
    s.Press(s.analysis->variationButton());
    EXPECT_EQ(s.analysis->view(), VariationMapOfChannel(s.encryptedImage, 3));
}

TEST(AnalysisWindow, CopySaveAndEstimateTakeTheCurrentView) {
    AnalysisScene s;
    // Nothing loaded yet: the buttons say so instead of working on nothing.
    s.Press(s.analysis->calcButton());
    s.Press(s.analysis->estimateButton());
    EXPECT_EQ(s.messages.shown.size(), 2u);
    s.browse(s.encryptedPath);
    s.Option(2);
    s.Press(s.analysis->calcButton());
    s.Press(s.analysis->copyButton());
    EXPECT_EQ(QImageToGrid(QGuiApplication::clipboard()->image()), s.analysis->view());

    s.saveFileAnswer = s.root / "view.png";
    s.Press(s.analysis->saveButton());
    PixelGrid saved;
    ASSERT_TRUE(LoadGrid(s.saveFileAnswer, saved));
    EXPECT_EQ(saved, s.analysis->view());
    // A name without the ending gets it, and replaces nothing unasked.
    s.saveFileAnswer = s.root / "view";
    s.messages.shown.clear();
    s.Press(s.analysis->saveButton());
    ASSERT_EQ(s.messages.shown.size(), 1u);
    EXPECT_NE(s.messages.shown[0].text.find(u"already exists"), std::u16string::npos);

    s.Press(s.analysis->estimateButton());
    const QStringList lines = s.analysis->estimateLabel()->text().split(QStringLiteral("\n"));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], Q(LsbEstimateCaption(EstimateLsbReplacement(s.encryptedImage))));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Largest Sub-Grid LSB Replacement: "))) << lines[1].toStdString();
}

TEST(AnalysisWindow, EstimateNamesTheSubGridAToolWroteOn) {
    AnalysisScene s;
    // Every second LSB of the sub-grid at x+1, y+0 replaced by a random bit:
    // about a quarter of its LSBs change, which that sub-grid's own figure
    // shows far above the whole image's.
    PixelGrid marked;
    ASSERT_TRUE(LoadGrid(PhotoPath("coffee.png"), marked));
    const PixelGrid noise = RandomGrid(marked.width, marked.height, 11);
    for (int y = 0; y < marked.height; y += 2)
        for (int x = 1; x < marked.width; x += 2)
            if ((x / 2 + y / 2) % 2 == 0) marked.at(x, y) = (marked.at(x, y) & ~0x010101u) | (noise.at(x, y) & 0x010101u);
    const std::string path = s.root / "marked.png";
    ASSERT_TRUE(SaveGrid(marked, OutputKind::Png, path));
    s.browse(path);
    s.Press(s.analysis->estimateButton());
    const QStringList lines = s.analysis->estimateLabel()->text().split(QStringLiteral("\n"));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Largest Sub-Grid LSB Replacement: "))) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral("(x+1 y+0)"))) << lines[1].toStdString();
    const double largest = lines[1].section(QLatin1Char(' '), 4, 4).chopped(1).toDouble();
    const double whole = lines[0].section(QLatin1Char(' '), 2, 2).chopped(1).toDouble();
    EXPECT_GT(largest, 15.0) << lines[1].toStdString();
    EXPECT_GT(largest, 2 * whole) << lines[0].toStdString();
}

TEST(AnalysisWindow, LoadsOnlyTheThreeEndingsAndKeepsTheImageOnFailure) {
    AnalysisScene s;
    s.browse(s.encryptedPath);
    const std::string webp = s.root / "image.webp";
    ASSERT_TRUE(SaveGrid(s.encryptedImage, OutputKind::Webp, webp));
    s.messages.shown.clear();
    s.browse(webp);
    ASSERT_EQ(s.messages.shown.size(), 1u);
    EXPECT_EQ(s.messages.shown[0].text, u"Cannot load image.webp: the analysis reads .png, .bmp and .jpg files.");
    testing::WriteBytes(s.root / "broken.png", "\x89PNG\r\n\x1a\n damaged");
    s.analysis->loadImage(s.root / "broken.png");
    EXPECT_EQ(s.messages.shown.size(), 2u);
    EXPECT_EQ(s.analysis->pathLabel()->text(), QString::fromStdString(s.encryptedPath));
    EXPECT_EQ(s.analysis->image(), s.encryptedImage);
    // A JPEG is read too.
    const std::string jpg = s.root / "photo.JPG";
    ASSERT_TRUE(SaveGrid(s.encryptedImage, OutputKind::Bmp, s.root / "photo.bmp"));
    fs::copy_file(s.root / "photo.bmp", s.root / "copy.BMP");
    EXPECT_TRUE(s.analysis->loadImage(s.root / "copy.BMP"));
    EXPECT_EQ(s.analysis->image(), s.encryptedImage);
}

}  // namespace
}  // namespace corvane::encryptor
