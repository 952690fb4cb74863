#pragma once
// Form1, the steps viewer: the three planes of the embedding side by side,
// one screen pixel per image pixel, and a button per step to run it by hand.
// The planes are made only while the viewer is shown.
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

class Form1 : public QWidget {
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

    Form1(EmbeddingSteps& steps, Source source, QWidget* parent = nullptr);

    void Command2_Click();  // step 1 by hand: image XOR key
    void Command4_Click();  // step 2 by hand: the message into the parities
    void Command5_Click();  // step 3 by hand: XOR the key again

    // Shows the planes the steps hold now (after an encryption).
    void ShowPlanes();
    // The carrier changed: its plane no longer applies.
    void ClearFirstPicture();

private:
    EmbeddingSteps& steps_;
    Source source_;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label6 = nullptr;
    PictureBox* Picture3 = nullptr;
    PictureBox* Picture4 = nullptr;
    PictureBox* Picture5 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
};

}  // namespace corvane::encryptor
