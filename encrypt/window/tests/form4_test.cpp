// The analysis window against the analysis functions: an encrypted image
// examined against the carrier the main window shows.
#include "encrypt/window/form4.hpp"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "encrypt/image_analysis.hpp"
#include "encrypt/steganalysis.hpp"
#include "encrypt/window/form2.hpp"
#include "encrypt_scene.hpp"
#include "widgets/picture_box.hpp"
#include "widgets/uni_text.hpp"

namespace corvane::encryptor {
namespace {

// The photo encrypted through the main window, which keeps showing it as
// its carrier; the analysis window open.
struct AnalysisScene : Scene {
    std::unique_ptr<Form2> form;
    Form4* analysis = nullptr;
    std::string encryptedPath;
    PixelGrid encryptedImage;

    AnalysisScene() {
        form = Open();
        Pick(*form, "coffee.png", "key.png");
        Control<UniText>(*form, "Text1")->SetText(kMessage);
        Control<QPushButton>(*form, "Command6")->click();
        encryptedPath = form->LastResult().savedPath;
        EXPECT_TRUE(LoadGrid(encryptedPath, encryptedImage));
        Control<QPushButton>(*form, "Command16")->click();
        analysis = form->AnalysisWindow();
    }
    void Press(const char* button) { Control<QPushButton>(*analysis, button)->click(); }
    void Option(int index) {
        Control<QRadioButton>(*analysis, ("Option1_" + std::to_string(index)).c_str())->click();
    }
    QString Text(const char* label) { return Control<QLabel>(*analysis, label)->text(); }
    // Loads through Browse.
    void Browse(const std::string& path) {
        openFileAnswer = path;
        Press("Command2");
    }
};

TEST(AnalysisWindow, CalcDrawsTheDiffViewGraphAndChiSquaredAgainstTheCarrier) {
    AnalysisScene s;
    ASSERT_NE(s.analysis, nullptr);
    EXPECT_TRUE(s.analysis->windowTitle().startsWith("Image Analysis - Allows examination of LSBs"));
    s.Browse(s.encryptedPath);
    EXPECT_EQ(s.openFileTitle, "Select Image File");
    EXPECT_EQ(s.Text("Label3"), QString::fromStdString(s.encryptedPath));
    EXPECT_EQ(s.analysis->Image(), s.encryptedImage);
    EXPECT_EQ(s.analysis->View().width, 600);

    // Choosing a view draws nothing until Calc.
    const PixelGrid cleared = s.analysis->View();
    s.Option(4);
    EXPECT_EQ(s.analysis->LsbViewMode(), 4);
    EXPECT_EQ(s.analysis->View(), cleared);
    s.Press("Command1");
    EXPECT_EQ(s.analysis->View(), LsbView(s.encryptedImage, 4, s.form->Carrier()));
    const auto chi = ComputeChiSquared(s.encryptedImage, s.form->Carrier());
    ASSERT_TRUE(chi.has_value());
    EXPECT_EQ(s.Text("Label2"), Q(chi->averageText));

    // The graph: one column per image column, rows 0-100, the three series
    // where the functions put them.
    const PixelGrid& graph = s.analysis->Graph();
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
    EXPECT_TRUE(Control<QPushButton>(*s.analysis, "Command1")->isEnabled());
}

TEST(AnalysisWindow, PsnrAndTheDiffOfTheCarrierAgainstItself) {
    AnalysisScene s;
    s.Browse(s.encryptedPath);
    s.Press("Command5");
    EXPECT_EQ(s.Text("Label4"), Q(ComputePsnr(s.form->Carrier(), s.encryptedImage).text));
    EXPECT_TRUE(s.Text("Label4").startsWith("R:"));

    // The main window shows the carrier with the encryption's repairs; picked
    // again it is the file as it stands, the same as the loaded image.
    Pick(*s.form, "coffee.png", nullptr);
    s.Browse(s.images + "/coffee.png");
    s.Press("Command5");
    EXPECT_EQ(s.Text("Label4"), "R:100.00 G:100.00 B:100.00");
    s.Option(4);
    s.Press("Command1");
    for (uint32_t p : s.analysis->View().pixels) ASSERT_EQ(p, 0u);
    EXPECT_EQ(s.Text("Label2"), "0.000%");
}

TEST(AnalysisWindow, ReferenceOfAnotherSizeSkipsTheTestAndKeepsTheAverage) {
    AnalysisScene s;
    s.Browse(s.encryptedPath);
    s.Press("Command1");
    const QString average = s.Text("Label2");
    ASSERT_FALSE(average.isEmpty());
    // The carrier changes to one of another size: no red points, the
    // average stays.
    fs::copy_file(PhotoPath("astronaut.png"), s.images + "/astronaut.png");
    Control<FileList>(*s.form, "File1")->Refresh();
    Pick(*s.form, "astronaut.png", nullptr);
    s.Press("Command1");
    EXPECT_EQ(s.Text("Label2"), average);
    for (uint32_t p : s.analysis->Graph().pixels) ASSERT_NE(p, Rgb(255, 0, 0));
    // Loading another image clears the figures.
    s.Browse(s.images + "/astronaut.png");
    EXPECT_EQ(s.Text("Label2"), "");
    EXPECT_TRUE(s.analysis->Graph().empty());
}

TEST(AnalysisWindow, VariationMapNeedsAColour) {
    AnalysisScene s;
    s.Browse(s.encryptedPath);
    s.Press("Command4");
    EXPECT_EQ(Shown(s.messages), std::vector<std::u16string>{
                                     u"Please select a variation color (Red, Green, or Blue) using the buttons to "
                                     u"the left."});
    s.Option(3);
    s.Press("Command4");
    EXPECT_EQ(s.analysis->View(), VariationMapOfChannel(s.encryptedImage, 3));
}

TEST(AnalysisWindow, CopySaveAndEstimateTakeTheCurrentView) {
    AnalysisScene s;
    // Nothing loaded yet: the buttons say so instead of working on nothing.
    s.Press("Command1");
    s.Press("Command7");
    EXPECT_EQ(s.messages.shown.size(), 2u);
    s.Browse(s.encryptedPath);
    s.Option(2);
    s.Press("Command1");
    s.Press("Command3");
    EXPECT_EQ(QImageToGrid(QGuiApplication::clipboard()->image()), s.analysis->View());

    s.saveFileAnswer = s.root / "view.png";
    s.Press("Command6");
    PixelGrid saved;
    ASSERT_TRUE(LoadGrid(s.saveFileAnswer, saved));
    EXPECT_EQ(saved, s.analysis->View());
    // A name without the ending gets it, and replaces nothing unasked.
    s.saveFileAnswer = s.root / "view";
    s.messages.shown.clear();
    s.Press("Command6");
    ASSERT_EQ(s.messages.shown.size(), 1u);
    EXPECT_NE(s.messages.shown[0].text.find(u"already exists"), std::u16string::npos);

    s.Press("Command7");
    EXPECT_EQ(s.Text("Label5"), Q(LsbEstimateCaption(EstimateLsbReplacement(s.encryptedImage))));
}

TEST(AnalysisWindow, LoadsOnlyTheThreeEndingsAndKeepsTheImageOnFailure) {
    AnalysisScene s;
    s.Browse(s.encryptedPath);
    const std::string webp = s.root / "image.webp";
    ASSERT_TRUE(SaveGrid(s.encryptedImage, OutputKind::Webp, webp));
    s.messages.shown.clear();
    s.Browse(webp);
    ASSERT_EQ(s.messages.shown.size(), 1u);
    EXPECT_EQ(s.messages.shown[0].text, u"Cannot load image.webp: the analysis reads .png, .bmp and .jpg files.");
    testing::WriteBytes(s.root / "broken.png", "\x89PNG\r\n\x1a\n damaged");
    s.analysis->LoadImage(s.root / "broken.png");
    EXPECT_EQ(s.messages.shown.size(), 2u);
    EXPECT_EQ(s.Text("Label3"), QString::fromStdString(s.encryptedPath));
    EXPECT_EQ(s.analysis->Image(), s.encryptedImage);
    // A JPEG is read too.
    const std::string jpg = s.root / "photo.JPG";
    ASSERT_TRUE(SaveGrid(s.encryptedImage, OutputKind::Bmp, s.root / "photo.bmp"));
    fs::copy_file(s.root / "photo.bmp", s.root / "copy.BMP");
    EXPECT_TRUE(s.analysis->LoadImage(s.root / "copy.BMP"));
    EXPECT_EQ(s.analysis->Image(), s.encryptedImage);
}

}  // namespace
}  // namespace corvane::encryptor
