#include "encrypt/window/form1.hpp"

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

Form1::Form1(EmbeddingSteps& steps, Source source, QWidget* parent)
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
    row->addLayout(column(Label3, "Label3", QStringLiteral("Image XOR Key"), Command2, "Command2",
                          QStringLiteral("Image XOR Key"), Picture3, "Picture3"));
    row->addLayout(column(Label4, "Label4", QStringLiteral("Image XOR Key + Message"), Command4, "Command4",
                          QStringLiteral("Image XOR Key + Message"), Picture4, "Picture4"));
    row->addLayout(column(Label6, "Label6", QStringLiteral("Image XOR Key + Message XOR Key"), Command5, "Command5",
                          QStringLiteral("XOR + Key"), Picture5, "Picture5"));
    row->addStretch(1);
    // Three carriers side by side are wider than most screens: they scroll.
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(planes);
    scroll->setWidgetResizable(true);
    auto* main = new QVBoxLayout(this);
    main->addWidget(scroll);
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
    connect(Command5, &QPushButton::clicked, this, [this] { Command5_Click(); });
    // Opens at a size that fits the screen.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize room = screen ? screen->availableSize() : QSize(1280, 800);
    resize(room.width() * 9 / 10, room.height() * 3 / 4);
}

void Form1::Command2_Click() {
    const PixelGrid& carrier = source_.carrier();
    steps_.Step1(carrier, source_.key());
    Picture3->SetGrid(steps_.XorPlane(carrier, source_.key()));
}

void Form1::Command4_Click() {
    source_.runStep2();
    Picture4->SetGrid(steps_.MessagePlane(source_.carrier(), source_.key()));
}

void Form1::Command5_Click() {
    steps_.Step3(source_.carrier());
    Picture5->SetGrid(steps_.OutputPlane());
}

void Form1::ShowPlanes() {
    const PixelGrid& carrier = source_.carrier();
    const PixelGrid& key = source_.key();
    if (steps_.OutputPlane().empty() || steps_.OutputPlane().width != carrier.width ||
        steps_.OutputPlane().height != carrier.height)
        return;
    Picture3->SetGrid(steps_.XorPlane(carrier, key));
    Picture4->SetGrid(steps_.MessagePlane(carrier, key));
    Picture5->SetGrid(steps_.OutputPlane());
}

void Form1::ClearFirstPicture() { Picture3->Clear(); }

}  // namespace corvane::encryptor
