#include "encrypt/window/form3.hpp"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/code_page.hpp"
#include "encrypt/encrypt_texts.hpp"
#include "encrypt/window/form2.hpp"
#include "widgets/controls.hpp"
#include "widgets/file_list.hpp"
#include "widgets/message_boxes.hpp"
#include "widgets/program_icon.hpp"
#include "widgets/window_style.hpp"

namespace corvane::encryptor {
namespace {

QLabel* Picture(QWidget* parent, const char* name, ProgramIcon icon, int side) {
    auto* picture = new QLabel(parent);
    picture->setObjectName(QString::fromLatin1(name));
    picture->setPixmap(QPixmap::fromImage(DrawProgramIcon(icon, side)));
    picture->setFixedSize(side, side);
    return picture;
}

}  // namespace

Form3::Form3(Form2& main, MessageBoxes& messages, QWidget* parent)
    : QWidget(parent, Qt::Window), main_(main), messages_(messages) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("About"));
    ApplyWindowStyle(this);
    setWindowIcon(QPixmap::fromImage(DrawProgramIcon(ProgramIcon::Encrypt, 64)));

    Picture1 = Picture(this, "Picture1", ProgramIcon::Encrypt, 96);
    Picture2 = Picture(this, "Picture2", ProgramIcon::Keygen, 48);
    Label1 = new QLabel(QStringLiteral("Corvane Encrypt"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont title = Label1->font();
    title.setBold(true);
    title.setPointSize(title.pointSize() + 6);
    Label1->setFont(title);
    Label2 = new QLabel(QStringLiteral("Hides a message in a photograph, sealed with a one-time key image."), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setWordWrap(true);
    const QString version = QApplication::applicationVersion();
    Label3 = new QLabel(QStringLiteral("Version ") + (version.isEmpty() ? QStringLiteral("-") : version), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    // Where the files are: beside the program, or the fallback root when
    // the program's folder cannot be written (an installed program).
    Label5 = new QLabel(QStringLiteral("Files in: ") + QString::fromStdString(main_.Root()), this);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->setWordWrap(true);
    Label5->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Label4 = new QLabel(this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setWordWrap(true);
    Label4->setTextInteractionFlags(Qt::TextSelectableByMouse);

    Command1 = MakeButton(this, "Command1", QStringLiteral("Batch Encrypt"),
                          QStringLiteral("This will encrypt the same message to all images in the selected "
                                         "directory (useful for testing/research)."));
    Command1->setMinimumWidth(180);
    Command2 = MakeButton(this, "Command2", QStringLiteral("Stop"), QStringLiteral("Stop batch encryption."));
    Command8 = MakeButton(this, "Command8", QStringLiteral("OK"));

    auto* texts = new QVBoxLayout;
    texts->addWidget(Label1);
    texts->addWidget(Label2);
    texts->addWidget(Label3);
    texts->addWidget(Label5);
    texts->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(Picture1, 0, Qt::AlignTop);
    top->addLayout(texts, 1);
    top->addWidget(Picture2, 0, Qt::AlignTop);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    buttons->addStretch(1);
    buttons->addWidget(Command8);
    auto* column = new QVBoxLayout(this);
    column->addLayout(top);
    column->addWidget(Label4);
    column->addLayout(buttons);
    setMinimumWidth(520);

    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Command8, &QPushButton::clicked, this, [this] { Command8_Click(); });
}

void Form3::Command1_Click() {
    if (running_) return;
    if (main_.MessageText().empty()) {
        messages_.Information(encrypt_texts::kNoMessage);
        return;
    }
    if (main_.KeyPath().empty()) {
        messages_.Information(encrypt_texts::kNoKey);
        return;
    }
    // A stop asked for in an earlier batch does not end this one.
    stopRequested_ = 0;
    running_ = true;
    summary_ = BatchSummary();
    Label4->clear();
    Command1->setEnabled(false);
    Command1->setText(QStringLiteral("Working..."));
    main_.SetBatchRunning(true);

    // The carriers as listed now, taken by name: a carrier wiped after its
    // encryption leaves the list, and must not shift the ones after it.
    FileList* list = main_.CarrierList();
    const std::vector<std::string> names = list->Names();
    const int n = static_cast<int>(names.size());
    summary_.carriers = n;
    for (int i = 0; i < n; ++i) {
        const bool selected = list->SelectByName(names[i]);
        Command1->setText(QStringLiteral("Working: ") + QString::number(i + 1) + QStringLiteral(" of ") +
                          QString::number(n));
        QCoreApplication::processEvents();
        ++summary_.processed;
        if (!selected || main_.Carrier().empty()) {
            // The window's status already says why a carrier did not load.
            if (!selected)
                main_.AppendStatus(u"Skipped " + Utf8ToText(names[i]) + u": no longer in the folder.");
            summary_.failed.push_back(names[i]);
        } else {
            main_.PressEncrypt();
            if (main_.LastResult().status == EncryptStatus::Saved) ++summary_.saved;
            else summary_.failed.push_back(names[i]);
        }
        QCoreApplication::processEvents();
        if (stopRequested_ == 1) {
            summary_.stopped = i + 1 < n;
            break;
        }
    }
    Command1->setText(QStringLiteral("Batch Encrypt"));
    Command1->setEnabled(true);
    running_ = false;
    ShowSummary();
    main_.SetBatchRunning(false);
}

void Form3::ShowSummary() {
    const QString carriers = summary_.carriers == 1 ? QStringLiteral("carrier") : QStringLiteral("carriers");
    QString text = summary_.stopped ? QStringLiteral("Stopped after %1 of %2 %3: ")
                                          .arg(summary_.processed)
                                          .arg(summary_.carriers)
                                          .arg(carriers)
                                    : QStringLiteral("%1 %2: ").arg(summary_.carriers).arg(carriers);
    text += QStringLiteral("%1 saved").arg(summary_.saved);
    if (!summary_.failed.empty()) {
        text += QStringLiteral(", not saved: ");
        for (size_t i = 0; i < summary_.failed.size(); ++i) {
            if (i) text += QStringLiteral(", ");
            text += QString::fromStdString(summary_.failed[i]);
        }
    }
    Label4->setText(text + QStringLiteral("."));
}

void Form3::Command2_Click() { stopRequested_ = 1; }

void Form3::Command8_Click() { close(); }

void Form3::closeEvent(QCloseEvent* event) {
    // Closing the box during a batch stops the batch after its current
    // carrier; the box itself stays alive for the batch to finish.
    if (running_) stopRequested_ = 1;
    event->accept();
}

}  // namespace corvane::encryptor
