#pragma once
// The decryptor's window: an encrypted image and a key picked from two lists
// (or dialogs, or dropped on the window), their thumbnails, the key's
// delimiters, the image XOR key plane, "Decrypt Image" and the message with
// its tools. The window reads its controls into the decrypt operation, runs
// it off its own thread and shows what it reports; it computes nothing the
// operation owns.
//
// Controls by role, and the object names tests and accessibility find them by:
//
//   role                  objectName      role                  objectName
//   image list caption    Label1          plane caption         Label3
//   image list            File1           plane                 Picture3 (in Picture3Area)
//   browse for an image   Command1        image XOR key         Command2
//   image thumbnail       Picture5        full-size image       Picture1 (hidden)
//   image size            Label9          full-size key         Picture2 (hidden)
//   key list caption      Label2          message caption       Label5
//   key list              File2           message               Text1
//   browse for a key      Command4        message tools         Command5..Command7, Command9, Command11..Command15
//                                         save the message      Command10
//   key thumbnail         Picture6        decrypt               Command3
//   key size              Label10         wipe the key          Check2
//   delimiters caption    Label11         wipe the image        Check3
//   key delimiters        DelimiterText   digest caption        Label7
//   key warning           KeyWarning      digest                Label8
//   elapsed time          Label4          log                   LogLabel
//   quit                  Command8
#include <QWidget>

#include <memory>
#include <string>

#include "core/key_image.hpp"
#include "core/pixel_grid.hpp"
#include "widgets/busy_guard.hpp"
#include "widgets/image_key_pickers.hpp"
#include "widgets/message_tools.hpp"

class QCheckBox;
class QLabel;
class QPushButton;
class QScrollArea;

namespace corvane {
class FileList;
class MessageBoxes;
class PictureBox;
class UniText;
class WindowWorker;
struct DecryptResult;
}  // namespace corvane

namespace corvane::decryptor {

using DecryptWindowHooks = MainWindowHooks;

class DecryptWindow : public QWidget {
    Q_OBJECT

public:
    explicit DecryptWindow(DecryptWindowHooks hooks = {}, QWidget* parent = nullptr);
    ~DecryptWindow() override;

    // A file dropped on the window: an image for the image side, a key for
    // the key side. Selects it in its list, switching the list's folder.
    void dropFile(const std::string& path, bool onKeySide);

    bool busy() const { return busy_->busy(); }
    const std::string& imagePath() const { return imagePath_; }
    const std::string& keyPath() const { return keyPath_; }

    FileList* imageList() const { return pickers_->image().list; }
    FileList* keyList() const { return pickers_->key().list; }
    QPushButton* browseImageButton() const { return pickers_->image().browse; }
    QPushButton* browseKeyButton() const { return pickers_->key().browse; }
    PictureBox* imageThumbnail() const { return pickers_->image().preview; }
    PictureBox* keyThumbnail() const { return pickers_->key().preview; }
    QLabel* imageSizeLabel() const { return pickers_->image().size; }
    QLabel* keySizeLabel() const { return pickers_->key().size; }
    UniText* delimiterBox() const { return delimiterBox_; }
    QLabel* keyWarning() const { return keyWarning_; }
    PictureBox* plane() const { return plane_; }
    QPushButton* imageXorKeyButton() const { return xorButton_; }
    PictureBox* fullImage() const { return fullImage_; }
    PictureBox* fullKey() const { return fullKey_; }
    UniText* messageBox() const { return messageBox_; }
    const MessageToolButtons& toolButtons() const { return toolButtons_; }
    QPushButton* decryptButton() const { return decryptButton_; }
    QCheckBox* wipeKeyCheck() const { return wipeKeyCheck_; }
    QCheckBox* wipeImageCheck() const { return wipeImageCheck_; }
    QLabel* digestLabel() const { return digestLabel_; }
    QLabel* elapsedLabel() const { return elapsedLabel_; }
    QLabel* logLabel() const { return logLabel_; }
    QPushButton* quitButton() const { return quitButton_; }

public slots:
    void onImagePicked();
    void onKeyPicked();
    void onImageXorKey();
    void onDecrypt();
    void onQuit();

signals:
    // A decryption started by onDecrypt() has ended and its results are shown.
    void decryptFinished();

private:
    class Reporter;

    void buildPickers();
    void buildKeyColumn();
    void buildMessageRow();
    void buildResultsRow();
    void layOut();
    void loadFolders();
    void setBusyLook(bool busy);
    void showProgress(double fraction);
    bool showMessage(std::u16string_view text);
    void showDigest(std::u16string_view upperHex, bool verified);
    void showWiped(const std::string& path);
    void showLog(std::u16string_view line);
    void finishDecrypt(const DecryptResult& result);

    DecryptWindowHooks hooks_;
    std::unique_ptr<MessageBoxes> ownMessages_;
    MessageBoxes* messages_ = nullptr;
    std::unique_ptr<MessageTools> tools_;
    MessageToolButtons toolButtons_;
    ImageKeyPickers* pickers_ = nullptr;
    // Also holds a close asked for while busy, and refuses drags meanwhile.
    BusyGuard* busy_ = nullptr;

    // What the lists selected.
    std::string imagePath_;
    std::string keyPath_;
    KeyImage key_;
    PixelGrid image_;

    QLabel* delimiterCaption_ = nullptr;
    UniText* delimiterBox_ = nullptr;
    QLabel* keyWarning_ = nullptr;
    QLabel* planeCaption_ = nullptr;
    QScrollArea* planeArea_ = nullptr;
    PictureBox* plane_ = nullptr;
    QPushButton* xorButton_ = nullptr;
    PictureBox* fullImage_ = nullptr;
    PictureBox* fullKey_ = nullptr;
    QLabel* messageCaption_ = nullptr;
    UniText* messageBox_ = nullptr;
    QPushButton* decryptButton_ = nullptr;
    double idleButtonPoints_ = 0;  // the caption's size when no run is going on
    QCheckBox* wipeKeyCheck_ = nullptr;
    QCheckBox* wipeImageCheck_ = nullptr;
    QLabel* digestCaption_ = nullptr;
    QLabel* digestLabel_ = nullptr;
    QLabel* elapsedLabel_ = nullptr;
    QLabel* logLabel_ = nullptr;
    QPushButton* quitButton_ = nullptr;

    // Last: destroyed first, so a running decryption ends before the
    // controls it reports to go.
    std::unique_ptr<WindowWorker> worker_;
};

}  // namespace corvane::decryptor
