#include "encrypt/window/steps_window.hpp"

#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>

#include "encrypt/embedding_steps.hpp"
#include "widgets/picture_box.hpp"
#include "widgets/window_style.hpp"

namespace corvane::encryptor {

StepsWindow::StepsWindow(EmbeddingSteps& steps, Source source, QWidget* parent)
    : QWidget(parent, Qt::Window), steps_(steps), source_(std::move(source)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Corvane-[Steps]"));
    ApplyWindowStyle(this);
    auto column = [this](QLabel*& label, const char* labelName, const QString& title, QPushButton*& button,
                         const char* buttonName, const QString& caption, PictureBox*& picture,
                         const char* pictureName) {
        auto* box = new QVBoxLayout;
        label = new QLabel(title, this);
        label->setObjectName(QString::fromLatin1(labelName));
        button = new QPushButton(caption, this);
        button->setObjectName(QString::fromLatin1(buttonName));
        SetBackColor(button, QColor::fromRgb(kButtonIdleColor));
        picture = new PictureBox(0, this);
        picture->setObjectName(QString::fromLatin1(pictureName));
        box->addWidget(label);
        box->addWidget(button, 0, Qt::AlignLeft);
        box->addWidget(picture, 0, Qt::AlignLeft | Qt::AlignTop);
        box->addStretch(1);
        return box;
    };
    auto* planes = new QWidget(this);
    auto* row = new QHBoxLayout(planes);
    row->addLayout(column(xorCaption_, "Label3", QStringLiteral("Image XOR Key"), step1Button_, "Command2",
                          QStringLiteral("Image XOR Key"), xorPicture_, "Picture3"));
    row->addLayout(column(messageCaption_, "Label4", QStringLiteral("Image XOR Key + Message"), step2Button_, "Command4",
                          QStringLiteral("Image XOR Key + Message"), messagePicture_, "Picture4"));
    row->addLayout(column(outputCaption_, "Label6", QStringLiteral("Image XOR Key + Message XOR Key"), step3Button_, "Command5",
                          QStringLiteral("XOR + Key"), outputPicture_, "Picture5"));
    row->addStretch(1);
    // Three carriers side by side are wider than most screens: they scroll.
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(planes);
    scroll->setWidgetResizable(true);
    auto* main = new QVBoxLayout(this);
    main->addWidget(scroll);
    connect(step1Button_, &QPushButton::clicked, this, [this] { onStep1(); });
    connect(step2Button_, &QPushButton::clicked, this, [this] { onStep2(); });
    connect(step3Button_, &QPushButton::clicked, this, [this] { onStep3(); });
    // Opens at a size that fits the screen.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize room = screen ? screen->availableSize() : QSize(1280, 800);
    resize(room.width() * 9 / 10, room.height() * 3 / 4);
}

void StepsWindow::onStep1() {
    const PixelGrid& carrier = source_.carrier();
    steps_.Step1(carrier, source_.key());
    xorPicture_->SetGrid(steps_.XorPlane(carrier, source_.key()));
}

void StepsWindow::onStep2() {
    source_.runStep2();
    messagePicture_->SetGrid(steps_.MessagePlane(source_.carrier(), source_.key()));
}

void StepsWindow::onStep3() {
    steps_.Step3(source_.carrier());
    outputPicture_->SetGrid(steps_.OutputPlane());
}

void StepsWindow::showPlanes() {
    const PixelGrid& carrier = source_.carrier();
    const PixelGrid& key = source_.key();
    if (steps_.OutputPlane().empty() || steps_.OutputPlane().width != carrier.width ||
        steps_.OutputPlane().height != carrier.height)
        return;
    xorPicture_->SetGrid(steps_.XorPlane(carrier, key));
    messagePicture_->SetGrid(steps_.MessagePlane(carrier, key));
    outputPicture_->SetGrid(steps_.OutputPlane());
}

void StepsWindow::clearXorPicture() { xorPicture_->Clear(); }

}  // namespace corvane::encryptor
