#pragma once
// Form1, the key generator's window: series name, number of keys, random
// source, naming, start date and key size, one button that makes the batch,
// and the last key's preview, delimiters and time. The window reads its
// controls into the key generation run and shows what the run reports; it
// computes nothing the run owns.
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "core/number_format.hpp"
#include "keygen/random_sources.hpp"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QUrl;

namespace corvane {
class MessageBoxes;
class PictureBox;
class UniText;
}  // namespace corvane

namespace corvane::keygen {

// What the window reaches outside itself; tests replace it.
struct Form1Hooks {
    // The root whose Keys/<series>/ the keys go to; empty: the program's
    // folder, or the fallback root when that cannot be written.
    std::string root;
    // Where a key goes that cannot be saved under the root; empty: the
    // user's fallback root.
    std::string fallbackRoot;
    // Message boxes; Qt's when null.
    MessageBoxes* messages = nullptr;
    // Today's date; the local date when empty.
    std::function<CivilDate()> today;
    // Shows a folder in the file manager; QDesktopServices when empty.
    std::function<void(const QUrl&)> openFolder;
};

class Form1 : public QWidget {
    Q_OBJECT

public:
    explicit Form1(Form1Hooks hooks = {}, QWidget* parent = nullptr);
    ~Form1() override;

    // The handlers, named after the controls and events that run them.
    void Form_Load();
    void Command1_Click();  // Generate OTP Keys

    // Opens the folder of the last saved key in the file manager.
    void OpenKeyFolder();

    bool Busy() const { return busy_; }
    const std::string& Root() const { return root_; }
    // The folder the last key was saved to; empty before the first key.
    const std::string& KeyFolder() const { return keyFolder_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class Reporter;

    void BuildControls();
    void SetBusy(bool busy);
    void ShowStatus(const QString& text);
    void ShowKeyFolder(const std::string& folder);
    KeySource SelectedSource() const;

    Form1Hooks hooks_;
    std::unique_ptr<MessageBoxes> ownMessages_;
    MessageBoxes* messages_ = nullptr;

    // The window's state: the twister and its seed array live as long as the
    // window, so that each run continues where the last one left them.
    KeyGeneratorState state_;
    std::string root_;
    std::string fallbackRoot_;
    std::string keyFolder_;
    int batchSize_ = 0;  // the number of keys asked for, for the progress bar
    bool busy_ = false;
    bool stopRequested_ = false;
    bool closeWhenDone_ = false;

    // Controls, named as the design names them (objectName too).
    QLabel* Label6 = nullptr;
    UniText* UniText1 = nullptr;
    QLabel* Label4 = nullptr;
    QComboBox* Combo4 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QRadioButton* Option4 = nullptr;
    QRadioButton* Option3 = nullptr;
    QGroupBox* Frame3 = nullptr;
    // By source index (objectName "Option6(i)"); on screen they stand in
    // the order 0, 4, 1, 2, 3.
    QRadioButton* Option6[kKeySourceCount] = {};
    QLabel* Label5 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* Combo1 = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* Combo2 = nullptr;
    QLabel* Label3 = nullptr;
    QComboBox* Combo3 = nullptr;
    QLabel* Label8 = nullptr;
    QLineEdit* Text3 = nullptr;
    QLabel* Label9 = nullptr;
    QLineEdit* Text4 = nullptr;
    QLabel* Label10 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QLabel* Label11 = nullptr;
    UniText* Text1 = nullptr;
    QPushButton* Command1 = nullptr;
    QLabel* Label7 = nullptr;
    QLineEdit* Text2 = nullptr;
    QProgressBar* KeyProgress = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* KeyFolderLink = nullptr;
    PictureBox* Picture2 = nullptr;
};

}  // namespace corvane::keygen
