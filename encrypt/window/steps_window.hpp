#pragma once
// StepsWindow, the steps viewer: the three planes of the embedding side by side,
// one screen pixel per image pixel, and a button per step to run it by hand.
// The planes are made only while the viewer is shown.
//
// Controls by role, and the objectName each carries (the name tests and
// accessibility tools find it by):
//   xorCaption      Label3
//   messageCaption  Label4
//   outputCaption   Label6
//   xorPicture      Picture3
//   messagePicture  Picture4
//   outputPicture   Picture5
//   step1Button     Command2
//   step2Button     Command4
//   step3Button     Command5
#include <QWidget>

#include <functional>

#include "core/pixel_grid.hpp"

class QLabel;
class QPushButton;

namespace corvane {
class EmbeddingSteps;
class PictureBox;
}  // namespace corvane

namespace corvane::encryptor {

class StepsWindow : public QWidget {
    Q_OBJECT

public:
    // What the viewer needs of the encryptor window: the carrier and key as
    // displayed, and a way to run step 2 with the window's message (its
    // progress shows on the window's "Encrypt Image" button).
    struct Source {
        std::function<const PixelGrid&()> carrier;
        std::function<const PixelGrid&()> key;
        std::function<void()> runStep2;
    };

    StepsWindow(EmbeddingSteps& steps, Source source, QWidget* parent = nullptr);

    void onStep1();  // step 1 by hand: image XOR key
    void onStep2();  // step 2 by hand: the message into the parities
    void onStep3();  // step 3 by hand: XOR the key again

    // Shows the planes the steps hold now (after an encryption).
    void showPlanes();
    // The carrier changed: its plane no longer applies.
    void clearXorPicture();

    // The controls, by role.
    QLabel* xorCaption() const { return xorCaption_; }
    QLabel* messageCaption() const { return messageCaption_; }
    QLabel* outputCaption() const { return outputCaption_; }
    PictureBox* xorPicture() const { return xorPicture_; }
    PictureBox* messagePicture() const { return messagePicture_; }
    PictureBox* outputPicture() const { return outputPicture_; }
    QPushButton* step1Button() const { return step1Button_; }
    QPushButton* step2Button() const { return step2Button_; }
    QPushButton* step3Button() const { return step3Button_; }

private:
    EmbeddingSteps& steps_;
    Source source_;
    QLabel* xorCaption_ = nullptr;
    QLabel* messageCaption_ = nullptr;
    QLabel* outputCaption_ = nullptr;
    PictureBox* xorPicture_ = nullptr;
    PictureBox* messagePicture_ = nullptr;
    PictureBox* outputPicture_ = nullptr;
    QPushButton* step1Button_ = nullptr;
    QPushButton* step2Button_ = nullptr;
    QPushButton* step3Button_ = nullptr;
};

}  // namespace corvane::encryptor
