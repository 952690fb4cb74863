#include "widgets/image_key_pickers.hpp"

#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include "core/platform.hpp"
#include "widgets/controls.hpp"
#include "widgets/file_list.hpp"
#include "widgets/picture_box.hpp"
#include "widgets/uni_text.hpp"

namespace corvane {

std::string OpenWorkingRoot(const std::string& given, std::initializer_list<const char*> folders) {
    if (given.empty()) return PrepareWorkingRoot(ApplicationFolder(), folders);
    for (const char* folder : folders) CreateFolders(JoinPath(given, folder));
    return given;
}

UniText* MakeKeyDelimiterBox(QWidget* window, const QString& tip) {
    auto* box = new UniText(window);
    box->setObjectName(QStringLiteral("DelimiterText"));
    box->SetMultiLine(false);
    box->SetLocked(true);
    box->setToolTip(tip);
    box->setFixedHeight(box->fontMetrics().height() + 12);
    return box;
}

ImageKeyPickers::ImageKeyPickers(QWidget* window, const PickerSetup& image, const PickerSetup& key, int previewSide,
                                 const FileDialog& openFile, MessageBoxes& messages)
    : QObject(window), window_(window), openFile_(openFile), messages_(messages), imageSetup_(image), keySetup_(key) {
    layout_ = new QGridLayout;
    image_ = makeSide(imageSetup_, previewSide, 0);
    key_ = makeSide(keySetup_, previewSide, 1);
    layout_->setColumnStretch(0, 1);
    layout_->setColumnStretch(1, 1);
    connect(image_.list, &FileList::Click, this, [this] { emit picked(Side::Image); });
    connect(key_.list, &FileList::Click, this, [this] { emit picked(Side::Key); });
    connect(image_.browse, &QPushButton::clicked, this,
            [this] { browse(Side::Image, QString::fromStdString(WorkingRoot(ApplicationFolder()))); });
    connect(key_.browse, &QPushButton::clicked, this,
            [this] { browse(Side::Key, QString::fromStdString(WorkingRoot(ApplicationFolder()))); });
    window->installEventFilter(this);
}

bool ImageKeyPickers::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_ || event->type() != QEvent::Drop) return false;
    auto* drop = static_cast<QDropEvent*>(event);
    const std::string path = DroppedFile(*drop);
    if (path.empty()) return false;
    emit dropped(path, droppedSide(*drop));
    drop->acceptProposedAction();
    return true;
}

PickerControls ImageKeyPickers::makeSide(const PickerSetup& setup, int previewSide, int column) {
    PickerControls c;
    c.caption = MakeLabel(window_, setup.captionName, setup.caption);
    c.list = new FileList(window_);
    c.list->setObjectName(QString::fromLatin1(setup.listName));
    c.list->SetPattern(setup.pattern);
    c.list->setMaximumHeight(130);
    c.browse = MakeButton(window_, setup.browseName, QStringLiteral("Browse"), setup.browseTip);
    c.preview = new PictureBox(previewSide, window_);
    c.preview->setObjectName(QString::fromLatin1(setup.previewName));
    c.size = MakeLabel(window_, setup.sizeName);
    c.browseRow = new QHBoxLayout;
    c.browseRow->addWidget(c.browse);
    c.browseRow->addStretch(1);
    layout_->addWidget(c.caption, 0, column);
    layout_->addWidget(c.list, 1, column);
    layout_->addLayout(c.browseRow, 2, column);
    layout_->addWidget(c.preview, 3, column, Qt::AlignCenter);
    layout_->addWidget(c.size, 4, column);
    return c;
}

void ImageKeyPickers::setFolders(const std::string& imageFolder, const std::string& keyFolder) {
    image_.list->SetPath(imageFolder);
    key_.list->SetPath(keyFolder);
}

void ImageKeyPickers::showPicture(Side s, const PixelGrid& grid) {
    const PickerControls& c = side(s);
    if (grid.empty()) {
        c.preview->Clear();
        c.size->clear();
        return;
    }
    c.preview->SetGrid(grid);
    c.size->setText(SizeCaption(grid.width, grid.height));
}

void ImageKeyPickers::setLocked(bool locked) {
    for (QWidget* w : std::initializer_list<QWidget*>{image_.list, image_.browse, key_.list, key_.browse})
        w->setEnabled(!locked);
}

void ImageKeyPickers::addToKeySide(std::initializer_list<const QWidget*> widgets) {
    keyArea_.insert(keyArea_.end(), widgets.begin(), widgets.end());
}

ImageKeyPickers::Side ImageKeyPickers::droppedSide(const QDropEvent& event) const {
    const QWidget* target = window_->childAt(event.position().toPoint());
    if (IsWithin(target, {key_.list, key_.browse, key_.preview, key_.caption, key_.size})) return Side::Key;
    for (const QWidget* w : keyArea_)
        if (IsWithin(target, {w})) return Side::Key;
    return Side::Image;
}

bool ImageKeyPickers::showFile(Side s, const std::string& path) { return ShowInList(*side(s).list, path, messages_); }

bool ImageKeyPickers::browse(Side s, const QString& folder) {
    const PickerSetup& setup = s == Side::Key ? keySetup_ : imageSetup_;
    const std::string path = AskOpenFile(openFile_, window_, setup.dialogTitle, setup.dialogFilters, folder);
    return !path.empty() && showFile(s, path);
}

}  // namespace corvane
