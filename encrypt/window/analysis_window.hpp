#pragma once
// AnalysisWindow, the image analysis window: an image (typically an encrypted one)
// examined by its least significant bits, alone and against the carrier the
// main window shows: LSB views, the column graph with the chi-squared test,
// the PSNR, the variation map, and a blind estimate of the LSBs replaced.
//
// Controls by role, and the objectName each carries (the name tests and
// accessibility tools find it by):
//   browseButton     Command2
//   pathLabel        Label3
//   picturesArea     Pictures
//   imagePicture     Picture1
//   viewPicture      Picture2
//   graphPicture     Picture3
//   viewFrame        Frame1
//   viewOptions      Option1_0 to Option1_4
//   calcButton       Command1
//   chiCaption       Label1
//   chiLabel         Label2
//   psnrButton       Command5
//   psnrLabel        Label4
//   variationButton  Command4
//   copyButton       Command3
//   saveButton       Command6
//   estimateButton   Command7
//   estimateLabel    Label5
#include <QPointer>
#include <QWidget>

#include <atomic>

#include <cstdint>
#include <functional>
#include <string>

#include "core/pixel_grid.hpp"
#include "widgets/file_dialogs.hpp"

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QThread;

namespace corvane {
struct ImageAnalysisResult;
class MessageBoxes;
class PictureBox;
}  // namespace corvane

namespace corvane::encryptor {

class AnalysisWindow : public QWidget {
    Q_OBJECT

public:
    // The dialogs the window opens: (owner, title, filters, folder) -> the
    // chosen path, or empty.
    struct Dialogs {
        FileDialog openFile;  // Qt's when empty
        FileDialog saveFile;  // Qt's when empty; it asks before replacing
    };

    // The image to compare with (the carrier the main window shows), read at
    // each press; null when there is none.
    using ReferenceSource = std::function<const PixelGrid*()>;

    AnalysisWindow(ReferenceSource reference, MessageBoxes& messages, Dialogs dialogs, QWidget* parent = nullptr);
    ~AnalysisWindow() override;

    // What the user asks of the window. Calc, Vari.. and Estimate compute
    // off the window's thread; analysisFinished() follows.
    void onBrowse();
    void onViewOption(int index);
    void onCalc();
    void onPsnr();
    void onVariation();
    void onCopy();
    void onSave();  // the view as a PNG file
    void onEstimate();

    // Loads an image by the exact-extension rule (.png, .bmp, .jpg, either
    // case); false, with a message and the previous image kept, otherwise.
    bool loadImage(const std::string& path);

    int32_t lsbViewMode() const { return lsbViewMode_; }
    const PixelGrid& image() const;
    const PixelGrid& view() const;
    const PixelGrid& graph() const;

    // The controls, by role.
    QPushButton* browseButton() const { return browseButton_; }
    QLabel* pathLabel() const { return pathLabel_; }
    QScrollArea* picturesArea() const { return picturesArea_; }
    PictureBox* imagePicture() const { return imagePicture_; }
    PictureBox* viewPicture() const { return viewPicture_; }
    PictureBox* graphPicture() const { return graphPicture_; }
    QGroupBox* viewFrame() const { return viewFrame_; }
    QRadioButton* viewOption(int i) const { return viewOptions_[i]; }
    QPushButton* calcButton() const { return calcButton_; }
    QLabel* chiCaption() const { return chiCaption_; }
    QLabel* chiLabel() const { return chiLabel_; }
    QPushButton* psnrButton() const { return psnrButton_; }
    QLabel* psnrLabel() const { return psnrLabel_; }
    QPushButton* variationButton() const { return variationButton_; }
    QPushButton* copyButton() const { return copyButton_; }
    QPushButton* saveButton() const { return saveButton_; }
    QPushButton* estimateButton() const { return estimateButton_; }
    QLabel* estimateLabel() const { return estimateLabel_; }

    // Whether a computation (Calc, Vari.., Estimate) is running.
    bool running() const { return running_; }

signals:
    // A computation has ended and its results are shown.
    void analysisFinished();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Runs `work` off the window's thread; what it returns then runs on the
    // window's thread to show the result.
    void runOffThread(std::function<std::function<void()>()> work);
    void setRunning(bool running);
    void showCalc(ImageAnalysisResult& result);
    void createPictures();
    void createViewOptions();
    void createButtons();
    void buildLayout();

    bool haveImage();
    const PixelGrid& reference() const;

    ReferenceSource reference_;
    bool running_ = false;
    QPointer<QThread> worker_;
    std::atomic<bool> abandoned_{false};
    MessageBoxes& messages_;
    Dialogs dialogs_;
    int32_t lsbViewMode_ = 0;
    std::string imagePath_;

    QPushButton* browseButton_ = nullptr;
    QLabel* pathLabel_ = nullptr;
    QScrollArea* picturesArea_ = nullptr;
    PictureBox* imagePicture_ = nullptr;
    PictureBox* viewPicture_ = nullptr;
    PictureBox* graphPicture_ = nullptr;
    QGroupBox* viewFrame_ = nullptr;
    QRadioButton* viewOptions_[5] = {};
    QPushButton* calcButton_ = nullptr;
    QLabel* chiCaption_ = nullptr;
    QLabel* chiLabel_ = nullptr;
    QPushButton* psnrButton_ = nullptr;
    QLabel* psnrLabel_ = nullptr;
    QPushButton* variationButton_ = nullptr;
    QPushButton* copyButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* estimateButton_ = nullptr;
    QLabel* estimateLabel_ = nullptr;
};

}  // namespace corvane::encryptor
