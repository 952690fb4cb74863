#pragma once
// Form2, the decryptor's window: an encrypted image and a key picked from
// two lists (or dialogs, or dropped on the window), their thumbnails, the
// key's delimiters, the image XOR key plane, "Decrypt Image" and the message
// with its tools. The window reads its controls into the decrypt operation
// and writes its results back; it computes nothing the operation owns.
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "core/key_image.hpp"
#include "core/pixel_grid.hpp"
#include "widgets/file_dialogs.hpp"
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

// What the window reaches outside itself; tests replace it.
struct Form2Hooks {
    // The working root whose "Encrypted Images" and "Keys" the lists show;
    // empty: the program's folder, or the fallback root when that cannot be
    // written.
    std::string root;
    // Message boxes; Qt's when null.
    MessageBoxes* messages = nullptr;
    // The open-file dialog (owner, title, filters, folder): the chosen path
    // or empty; Qt's when empty.
    FileDialog openFile;
    MessageToolsHooks tools;
};

class Form2 : public QWidget {
    Q_OBJECT

public:
    explicit Form2(Form2Hooks hooks = {}, QWidget* parent = nullptr);
    ~Form2() override;

    // The handlers, named after the controls and events that run them.
    void Form_Load();
    void File1_Click();
    void File2_Click();
    void Command1_Click();  // Browse for an image
    void Command4_Click();  // Browse for a key
    void Command2_Click();  // Image XOR Key
    void Command3_Click();  // Decrypt Image
    void Command8_Click();  // Quit

    // A file dropped on the window: an image for the image side, a key for
    // the key side. Selects it in its list, switching the list's folder.
    void DropFile(const std::string& path, bool asKey);

    bool Busy() const { return busy_; }
    const std::string& ImagePath() const { return imagePath_; }
    const std::string& KeyPath() const { return keyPath_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    class Reporter;

    void BuildControls();
    void SetBusy(bool busy);
    void ShowLog(std::u16string_view line);
    std::string Browse(const QString& title, const QString& filters);

    Form2Hooks hooks_;
    std::unique_ptr<MessageBoxes> ownMessages_;
    MessageBoxes* messages_ = nullptr;
    std::unique_ptr<MessageTools> tools_;
    MessageToolButtons toolButtons_;

    // The window's state.
    std::string imagePath_;
    std::string keyPath_;
    KeyImage key_;
    PixelGrid image_;
    bool busy_ = false;
    bool closeWhenDone_ = false;

    // Controls, named as the design names them (objectName too).
    QLabel* Label1 = nullptr;
    FileList* File1 = nullptr;
    QPushButton* Command1 = nullptr;
    PictureBox* Picture5 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label2 = nullptr;
    FileList* File2 = nullptr;
    QPushButton* Command4 = nullptr;
    PictureBox* Picture6 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;
    UniText* DelimiterText = nullptr;
    QLabel* KeyWarning = nullptr;
    QLabel* Label3 = nullptr;
    QScrollArea* Picture3Area = nullptr;
    PictureBox* Picture3 = nullptr;
    QPushButton* Command2 = nullptr;
    PictureBox* Picture1 = nullptr;
    PictureBox* Picture2 = nullptr;
    QLabel* Label5 = nullptr;
    UniText* Text1 = nullptr;
    QPushButton* Command3 = nullptr;
    QCheckBox* Check2 = nullptr;
    QCheckBox* Check3 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* LogLabel = nullptr;
    QPushButton* Command8 = nullptr;
};

}  // namespace corvane
