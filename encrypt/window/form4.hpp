#pragma once
// Form4, the image analysis window: an image (typically an encrypted one)
// examined by its least significant bits, alone and against the carrier the
// main window shows: LSB views, the column graph with the chi-squared test,
// the PSNR, the variation map, and a blind estimate of the LSBs replaced.
#include <QWidget>

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

namespace corvane {
class MessageBoxes;
class PictureBox;
}  // namespace corvane

namespace corvane::encryptor {

class Form2;

class Form4 : public QWidget {
    Q_OBJECT

public:
    // The dialogs the window opens: (owner, title, filters, folder) -> the
    // chosen path, or empty.
    struct Dialogs {
        FileDialog openFile;  // Qt's when empty
        FileDialog saveFile;  // Qt's when empty; it asks before replacing
    };

    Form4(Form2& main, MessageBoxes& messages, Dialogs dialogs, QWidget* parent = nullptr);

    void Command2_Click();  // Browse
    void Option1_Click(int index);
    void Command1_Click();  // Calc
    void Command5_Click();  // PSNR
    void Command4_Click();  // Vari..
    void Command3_Click();  // Copy
    void Command6_Click();  // Save...
    void Command7_Click();  // Estimate

    // Loads an image by the exact-extension rule (.png, .bmp, .jpg, either
    // case); false, with a message and the previous image kept, otherwise.
    bool LoadImage(const std::string& path);

    int32_t LsbViewMode() const { return lsbViewMode_; }
    const PixelGrid& Image() const;
    const PixelGrid& View() const;
    const PixelGrid& Graph() const;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool HaveImage();
    const PixelGrid& Reference() const;

    Form2& main_;
    MessageBoxes& messages_;
    Dialogs dialogs_;
    int32_t lsbViewMode_ = 0;
    std::string imagePath_;

    QPushButton* Command2 = nullptr;
    QLabel* Label3 = nullptr;
    QScrollArea* Pictures = nullptr;
    PictureBox* Picture1 = nullptr;
    PictureBox* Picture2 = nullptr;
    PictureBox* Picture3 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QRadioButton* Option1[5] = {};
    QPushButton* Command1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* Command5 = nullptr;
    QLabel* Label4 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command6 = nullptr;
    QPushButton* Command7 = nullptr;
    QLabel* Label5 = nullptr;
};

}  // namespace corvane::encryptor
