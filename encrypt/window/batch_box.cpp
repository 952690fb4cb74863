#include "encrypt/window/batch_box.hpp"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/code_page.hpp"
#include "encrypt/encrypt_texts.hpp"
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

BatchBox::BatchBox(BatchHost& main, MessageBoxes& messages, QWidget* parent)
    : QWidget(parent, Qt::Window), main_(main), messages_(messages) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("About"));
    ApplyWindowStyle(this);
    setWindowIcon(QPixmap::fromImage(DrawProgramIcon(ProgramIcon::Encrypt, 64)));

    createControls();
    buildLayout();
    connect(batchButton_, &QPushButton::clicked, this, [this] { onBatchEncrypt(); });
    connect(stopButton_, &QPushButton::clicked, this, [this] { onStop(); });
    connect(okButton_, &QPushButton::clicked, this, [this] { onOk(); });
}

void BatchBox::createControls() {
    encryptIcon_ = Picture(this, "Picture1", ProgramIcon::Encrypt, 96);
    keygenIcon_ = Picture(this, "Picture2", ProgramIcon::Keygen, 48);
    titleLabel_ = new QLabel(QStringLiteral("Corvane Encrypt"), this);
    titleLabel_->setObjectName(QStringLiteral("Label1"));
    QFont title = titleLabel_->font();
    title.setBold(true);
    title.setPointSize(title.pointSize() + 6);
    titleLabel_->setFont(title);
    blurbLabel_ = new QLabel(QStringLiteral("Hides a message in a photograph, sealed with a one-time key image."), this);
    blurbLabel_->setObjectName(QStringLiteral("Label2"));
    blurbLabel_->setWordWrap(true);
    const QString version = QApplication::applicationVersion();
    versionLabel_ = new QLabel(QStringLiteral("Version ") + (version.isEmpty() ? QStringLiteral("-") : version), this);
    versionLabel_->setObjectName(QStringLiteral("Label3"));
    licenceLabel_ = new QLabel(QStringLiteral("Released under GPL-3.0-or-later: the GNU General Public License, "
                                              "version 3 or any later version. It comes with no warranty."),
                               this);
    licenceLabel_->setObjectName(QStringLiteral("LicenceLabel"));
    licenceLabel_->setWordWrap(true);
    // Where the files are: ~/Corvane/ for an installed program, build/bin/
    // for one run from its build tree.
    rootLabel_ = new QLabel(QStringLiteral("Files in: ") + QString::fromStdString(main_.root()), this);
    rootLabel_->setObjectName(QStringLiteral("Label5"));
    rootLabel_->setWordWrap(true);
    rootLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    summaryLabel_ = new QLabel(this);
    summaryLabel_->setObjectName(QStringLiteral("Label4"));
    summaryLabel_->setWordWrap(true);
    summaryLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    batchButton_ = MakeButton(this, "Command1", QStringLiteral("Batch Encrypt"),
                          QStringLiteral("This will encrypt the same message to all images in the selected "
                                         "directory (useful for testing/research)."));
    batchButton_->setMinimumWidth(180);
    stopButton_ = MakeButton(this, "Command2", QStringLiteral("Stop"), QStringLiteral("Stop batch encryption."));
    okButton_ = MakeButton(this, "Command8", QStringLiteral("OK"));
}

void BatchBox::buildLayout() {
    auto* texts = new QVBoxLayout;
    texts->addWidget(titleLabel_);
    texts->addWidget(blurbLabel_);
    texts->addWidget(versionLabel_);
    texts->addWidget(licenceLabel_);
    texts->addWidget(rootLabel_);
    texts->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(encryptIcon_, 0, Qt::AlignTop);
    top->addLayout(texts, 1);
    top->addWidget(keygenIcon_, 0, Qt::AlignTop);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(batchButton_);
    buttons->addWidget(stopButton_);
    buttons->addStretch(1);
    buttons->addWidget(okButton_);
    auto* column = new QVBoxLayout(this);
    column->addLayout(top);
    column->addWidget(summaryLabel_);
    column->addLayout(buttons);
    setMinimumWidth(520);
}

void BatchBox::onBatchEncrypt() {
    if (running_) return;
    if (main_.message().empty()) {
        messages_.Information(encrypt_texts::kNoMessage);
        return;
    }
    if (main_.keyPath().empty()) {
        messages_.Information(encrypt_texts::kNoKey);
        return;
    }
    // A stop asked for in an earlier batch does not end this one.
    stopRequested_ = 0;
    running_ = true;
    summary_ = BatchSummary();
    summaryLabel_->clear();
    batchButton_->setEnabled(false);
    batchButton_->setText(QStringLiteral("Working..."));
    main_.setBatchRunning(true);
    // The carriers as listed now, taken by name: a carrier wiped after its
    // encryption leaves the list, and must not shift the ones after it.
    names_ = main_.carrierList()->Names();
    next_ = 0;
    summary_.carriers = static_cast<int>(names_.size());
    takeNextCarrier();
}

void BatchBox::takeNextCarrier() {
    if (next_ >= names_.size()) {
        endBatch();
        return;
    }
    const std::string& name = names_[next_++];
    batchButton_->setText(QStringLiteral("Working: ") + QString::number(next_) + QStringLiteral(" of ") +
                          QString::number(names_.size()));
    ++summary_.processed;
    const bool selected = main_.carrierList()->SelectByName(name);
    if (!selected || !main_.haveCarrier()) {
        // The window's status already says why a carrier did not load.
        if (!selected) main_.appendStatus(u"Skipped " + Utf8ToText(name) + u": no longer in the folder.");
        // Queued, so that the caption is painted and a Stop is seen first.
        QMetaObject::invokeMethod(this, [this] { carrierEnded(false); }, Qt::QueuedConnection);
        return;
    }
    main_.encryptForBatch([this](const EncryptResult& r) { carrierEnded(r.status == EncryptStatus::Saved); });
}

void BatchBox::carrierEnded(bool saved) {
    if (saved) {
        ++summary_.saved;
        const std::u16string verdict = main_.lastDetectability();
        if (!verdict.empty()) summary_.detectability.emplace_back(names_[next_ - 1], verdict);
    } else {
        summary_.failed.push_back(names_[next_ - 1]);
    }
    if (stopRequested_ == 1) {
        summary_.stopped = next_ < names_.size();
        endBatch();
        return;
    }
    QMetaObject::invokeMethod(this, [this] { takeNextCarrier(); }, Qt::QueuedConnection);
}

void BatchBox::endBatch() {
    batchButton_->setText(QStringLiteral("Batch Encrypt"));
    batchButton_->setEnabled(true);
    running_ = false;
    showSummary();
    main_.setBatchRunning(false);
    emit batchFinished();
}

void BatchBox::showSummary() {
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
    text += QStringLiteral(".");
    // How visible the message is differs from carrier to carrier.
    for (size_t i = 0; i < summary_.detectability.size(); ++i) {
        const auto& [name, verdict] = summary_.detectability[i];
        text += QString(i ? QStringLiteral(", ") : QStringLiteral(" Detectability: ")) + QString::fromStdString(name) +
                QStringLiteral(" ") + ToQString(verdict);
    }
    if (!summary_.detectability.empty()) text += QStringLiteral(".");
    summaryLabel_->setText(text);
}

void BatchBox::onStop() { stopRequested_ = 1; }

void BatchBox::onOk() { close(); }

void BatchBox::closeEvent(QCloseEvent* event) {
    // Closing the box during a batch stops the batch after its current
    // carrier; the box itself stays alive for the batch to finish.
    if (running_) stopRequested_ = 1;
    event->accept();
}

}  // namespace corvane::encryptor
