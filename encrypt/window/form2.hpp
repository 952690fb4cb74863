#pragma once
// Form2, the encryptor's main window: a carrier and a key picked from two
// lists (or dialogs, or dropped on the window), their previews, sizes and the
// key verdict, the message with its tools and LSB estimate, the encodability
// score, the output options, and "Encrypt Image". It reads its controls into
// the operations and writes their results back; it computes nothing they own.
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "core/key_image.hpp"
#include "core/pixel_grid.hpp"
#include "encrypt/embedding_steps.hpp"
#include "encrypt/encrypt_operation.hpp"
#include "widgets/file_dialogs.hpp"
#include "widgets/message_tools.hpp"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace corvane {
class FileList;
class MessageBoxes;
class PictureBox;
class UniText;
}  // namespace corvane

namespace corvane::encryptor {

class Form1;
class Form3;
class Form4;

// What the window reaches outside itself; tests replace it.
struct Form2Hooks {
    // The working root whose "Images", "Keys" and "Encrypted Images" the
    // window uses; empty: the program's folder, or the fallback root when
    // that cannot be written.
    std::string root;
    // Where saving falls back to; empty: the user's fallback root.
    std::string fallbackRoot;
    MessageBoxes* messages = nullptr;  // Qt's when null
    // The open-file dialog (owner, title, filters, folder): the chosen path
    // or empty; Qt's when empty.
    FileDialog openFile;
    // The save-file dialog of the analysis window, alike; Qt's when empty.
    FileDialog saveFile;
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
    void Command2_Click();   // Browse for a carrier
    void Command3_Click();   // Browse for a key
    void Command10_Click();  // Load... a text file
    void Text1_Change();
    void Check1_Click();     // Show Steps
    void Check5_Click();     // Encodability Score
    void Command6_Click();   // Encrypt Image
    void Command1_Click();   // About
    void Command16_Click();  // Analysis
    void Command8_Click();   // Quit

    // A file dropped on the window: a text file loads the message, a file
    // dropped on the key side selects the key, any other the carrier.
    void DropFile(const std::string& path, bool onKeySide);

    // The window's state that the operations read.
    const std::string& ImagePath() const { return imagePath_; }
    const std::string& KeyPath() const { return keyPath_; }
    const std::u16string& KeyComment() const { return key_.comment; }
    int32_t KeySeed() const { return keySeed_; }
    int ImageWidth() const { return carrier_.width; }
    int ImageHeight() const { return carrier_.height; }
    const PixelGrid& Carrier() const { return carrier_; }
    const PixelGrid& Key() const { return key_.pixels; }
    EmbeddingSteps& Steps() { return steps_; }
    Form1* StepsViewer() const { return form1_; }
    bool Busy() const { return busy_; }
    const EncryptResult& LastResult() const { return lastResult_; }
    std::u16string MessageText() const;
    // The root of "Images", "Keys" and "Encrypted Images" in use.
    const std::string& Root() const { return root_; }
    Form3* AboutWindow() const { return form3_; }
    Form4* AnalysisWindow() const { return form4_; }

    // The batch drives the window as a user would: it selects each carrier
    // in the list, then presses "Encrypt Image". While it runs, the
    // carrier, key, message and options are locked; closing the window
    // stops it after the current carrier.
    FileList* CarrierList() const { return File1; }
    void PressEncrypt() { Command6_Click(); }
    void SetBatchRunning(bool running);
    void AppendStatus(std::u16string_view line);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    class Reporter;

    void BuildControls();
    void CheckKeySize();
    void RunCarrierAnalysis();
    void SetBusy(bool busy);
    void UpdateEnabled();
    void ClearCarrier();
    std::string Browse(const QString& title, const QString& filters);
    EncryptInputs Inputs() const;
    OutputKind SelectedOutput() const;
    void RunStep2ByHand();

    Form2Hooks hooks_;
    std::unique_ptr<MessageBoxes> ownMessages_;
    MessageBoxes* messages_ = nullptr;
    std::unique_ptr<MessageTools> tools_;
    MessageToolButtons toolButtons_;
    std::string root_;

    // The window's state.
    std::string imagePath_;
    std::string keyPath_;
    KeyImage key_;
    int32_t keySeed_ = 0;
    PixelGrid carrier_;
    EmbeddingSteps steps_;
    EncryptResult lastResult_;
    // The key file was wiped after an encryption with it: later encryptions
    // with the same key pixels do not wipe it again.
    bool keyWiped_ = false;
    bool busy_ = false;       // encrypting
    bool analysing_ = false;  // scoring the carrier
    bool batch_ = false;
    bool closeWhenDone_ = false;

    Form1* form1_ = nullptr;
    Form3* form3_ = nullptr;
    Form4* form4_ = nullptr;

    // Controls, named as the design names them (objectName too).
    QLabel* Label1 = nullptr;
    FileList* File1 = nullptr;
    QPushButton* Command2 = nullptr;
    QLabel* Label2 = nullptr;
    FileList* File2 = nullptr;
    QPushButton* Command3 = nullptr;
    PictureBox* Picture1 = nullptr;
    PictureBox* Picture2 = nullptr;
    PictureBox* Picture3 = nullptr;
    PictureBox* Picture4 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* Label11 = nullptr;
    UniText* DelimiterText = nullptr;
    QLabel* Label5 = nullptr;
    UniText* Text1 = nullptr;
    QLabel* Label14 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label3 = nullptr;
    QPlainTextEdit* Text2 = nullptr;
    QLabel* Label13 = nullptr;
    QLineEdit* Text3 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QRadioButton* Option3 = nullptr;
    QComboBox* Combo1 = nullptr;
    QCheckBox* Check4 = nullptr;
    QCheckBox* Check2 = nullptr;
    QCheckBox* Check3 = nullptr;
    QPushButton* Check6 = nullptr;
    QLineEdit* Text4 = nullptr;
    QPushButton* Check7 = nullptr;
    QComboBox* Combo2 = nullptr;
    QCheckBox* Check5 = nullptr;
    QLabel* Label15 = nullptr;
    QPushButton* Check1 = nullptr;
    QPushButton* Command6 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command16 = nullptr;
    QPushButton* Command10 = nullptr;
    QPushButton* Command8 = nullptr;
};

}  // namespace corvane::encryptor
