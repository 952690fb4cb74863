#pragma once
// The frame both main windows are built on: an image and a key picked side
// by side, each from a file list with a Browse button, shown as a preview
// with its size below; the working root their lists start in; and the hooks
// a test replaces.
//
// A window makes one ImageKeyPickers, puts layout() into its own layout
// (columns 0 and 1, rows 0 to 4; it may add columns of its own), connects
// picked() to its handlers, and asks droppedSide() which list a dropped file
// belongs to. The controls keep the names the window gives them as their
// object names.
#include <QObject>
#include <QString>

#include <initializer_list>
#include <string>
#include <vector>

#include "core/pixel_grid.hpp"
#include "widgets/file_dialogs.hpp"
#include "widgets/message_tools.hpp"

class QDropEvent;
class QEvent;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QWidget;

namespace corvane {

class FileList;
class MessageBoxes;
class PictureBox;
class UniText;

// What a main window reaches outside itself; tests replace it.
struct MainWindowHooks {
    // The working root whose folders the lists show; empty: the program's
    // folder, or the fallback root when that cannot be written.
    std::string root;
    MessageBoxes* messages = nullptr;  // Qt's when null
    // The open-file dialog (owner, title, filters, folder): the chosen path
    // or empty; Qt's when empty.
    FileDialog openFile;
    MessageToolsHooks tools;
};

// The root in use, with `folders` made inside it: `given` when set, else
// the program's folder or the fallback root.
std::string OpenWorkingRoot(const std::string& given, std::initializer_list<const char*> folders);

// The one-line, read-only box showing a key's delimiters ("DelimiterText"),
// which both windows place beside the key side.
UniText* MakeKeyDelimiterBox(QWidget* window, const QString& tip = {});

// The multi-line message box ("Text1") below the pickers, with both scroll
// bars as needed.
UniText* MakeMessageBox(QWidget* window);

// One side as the window names and labels it.
struct PickerSetup {
    const char* captionName;  // the caption above the list, e.g. "Label1"
    QString caption;
    const char* listName;
    std::string pattern;  // the list's patterns, "*.png;*.bmp"
    const char* browseName;
    QString browseTip;
    const char* previewName;
    const char* sizeName;  // the size caption below the preview
    QString dialogTitle;
    QString dialogFilters;
};

// One side's controls. browseRow holds the Browse button and a stretch;
// a window may add its own widgets after them.
struct PickerControls {
    QLabel* caption = nullptr;
    FileList* list = nullptr;
    QPushButton* browse = nullptr;
    PictureBox* preview = nullptr;
    QLabel* size = nullptr;
    QHBoxLayout* browseRow = nullptr;
};

class ImageKeyPickers : public QObject {
    Q_OBJECT

public:
    enum class Side { Image, Key };

    // Makes both sides' controls as children of `window`. The dialogs and
    // message boxes must outlive the pickers.
    ImageKeyPickers(QWidget* window, const PickerSetup& image, const PickerSetup& key, int previewSide,
                    const FileDialog& openFile, MessageBoxes& messages);

    const PickerControls& image() const { return image_; }
    const PickerControls& key() const { return key_; }
    const PickerControls& side(Side s) const { return s == Side::Key ? key_ : image_; }
    QGridLayout* layout() const { return layout_; }

    // Points the lists at their folders.
    void setFolders(const std::string& imageFolder, const std::string& keyFolder);
    // Shows `grid` in the side's preview with its size below; an empty grid
    // clears both.
    void showPicture(Side s, const PixelGrid& grid);
    // The lists and Browse buttons stop (or again start) taking input.
    void setLocked(bool locked);

    // Widgets of the window that count as the key side for a drop, beside
    // the key side's own controls; a drop anywhere else is the image side's.
    void addToKeySide(std::initializer_list<const QWidget*> widgets);

    // Lists the file's folder and selects the file (raising picked()); false,
    // with a message, when the list's patterns leave it out.
    bool showFile(Side s, const std::string& path);
    // The open dialog for the side, starting in `folder`; the chosen file is
    // shown as showFile() shows it. False when cancelled or refused.
    bool browse(Side s, const QString& folder);

signals:
    // The user (or showFile) selected a file in the side's list.
    void picked(corvane::ImageKeyPickers::Side side);
    // A local file was dropped on the window, on `side`. The window decides
    // what to do with it (whether a drag is taken at all is BusyGuard's).
    void dropped(const std::string& path, corvane::ImageKeyPickers::Side side);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Side droppedSide(const QDropEvent& event) const;
    PickerControls makeSide(const PickerSetup& setup, int previewSide, int column);

    QWidget* window_;
    FileDialog openFile_;
    MessageBoxes& messages_;
    PickerSetup imageSetup_, keySetup_;
    PickerControls image_, key_;
    QGridLayout* layout_ = nullptr;
    std::vector<const QWidget*> keyArea_;
};

}  // namespace corvane
