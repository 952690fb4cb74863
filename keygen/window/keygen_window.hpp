#pragma once
// KeygenWindow, the key generator's window: series name, number of keys,
// random source, naming, start date and key size, one button that makes the
// batch, and the last key's preview, delimiters and time. The window reads
// its controls into a key generation run, runs it on a worker thread and
// shows what the run reports; it computes nothing the run owns.
//
// Controls by role, with the object names that tests and accessibility
// tools know them by:
//
//   window                  Form1
//   seriesLabel_            Label6         seriesBox_       UniText1
//   countLabel_             Label4         countBox_        Combo4
//   namingFrame_            Frame2         numberNaming_    Option4
//                                          dateNaming_      Option3
//   sourceFrame_            Frame3         sourceButtons_   Option6(i), i the KeySource
//   startDateLabel_         Label5
//   yearLabel_              Label1         yearBox_         Combo1
//   monthLabel_             Label2         monthBox_        Combo2
//   dayLabel_               Label3         dayBox_          Combo3
//   sizeLabel_              Label8         widthBox_        Text3
//   byLabel_                Label9         heightBox_       Text4
//   pixelsLabel_            Label10
//   fileTypeFrame_          Frame1         pngOption_       Option1
//                                          bmpOption_       Option2
//   delimitersLabel_        Label11        delimitersBox_   Text1
//   generateButton_         Command1
//   statusLabel_            Label7         statusBox_       Text2
//   progressBar_            KeyProgress    keyTimeLabel_    Label12
//   folderLink_             KeyFolderLink  previewBox_      Picture2
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "core/number_format.hpp"
#include "core/reporter.hpp"
#include "keygen/random_sources.hpp"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QThread;
class QUrl;

namespace corvane {
class MessageBoxes;
class PictureBox;
class UniText;
struct KeyBatch;
struct KeyGenerationResult;
struct SavedKey;
}  // namespace corvane

namespace corvane::keygen {

// What the window reaches outside itself; tests replace it.
struct KeygenWindowHooks {
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

class KeygenWindow : public QWidget {
    Q_OBJECT

public:
    explicit KeygenWindow(KeygenWindowHooks hooks = {}, QWidget* parent = nullptr);
    // Waits for a running batch, asked to stop after its current key.
    ~KeygenWindow() override;

    bool Busy() const { return busy_; }
    const std::string& Root() const { return root_; }
    // The folder the last key was saved to; empty before the first key.
    const std::string& KeyFolder() const { return keyFolder_; }

    UniText* seriesBox() const { return seriesBox_; }
    QComboBox* countBox() const { return countBox_; }
    QRadioButton* numberNaming() const { return numberNaming_; }
    QRadioButton* dateNaming() const { return dateNaming_; }
    QRadioButton* sourceButton(KeySource source) const { return sourceButtons_[static_cast<int>(source)]; }
    QComboBox* yearBox() const { return yearBox_; }
    QComboBox* monthBox() const { return monthBox_; }
    QComboBox* dayBox() const { return dayBox_; }
    QLineEdit* widthBox() const { return widthBox_; }
    QLineEdit* heightBox() const { return heightBox_; }
    QRadioButton* pngOption() const { return pngOption_; }
    QRadioButton* bmpOption() const { return bmpOption_; }
    UniText* delimitersBox() const { return delimitersBox_; }
    QPushButton* generateButton() const { return generateButton_; }
    QLineEdit* statusBox() const { return statusBox_; }
    QProgressBar* progressBar() const { return progressBar_; }
    QLabel* keyTimeLabel() const { return keyTimeLabel_; }
    QLabel* folderLink() const { return folderLink_; }
    PictureBox* previewBox() const { return previewBox_; }
    QGroupBox* namingFrame() const { return namingFrame_; }
    QGroupBox* sourceFrame() const { return sourceFrame_; }
    QGroupBox* fileTypeFrame() const { return fileTypeFrame_; }
    QLabel* seriesLabel() const { return seriesLabel_; }
    QLabel* countLabel() const { return countLabel_; }
    QLabel* startDateLabel() const { return startDateLabel_; }
    QLabel* yearLabel() const { return yearLabel_; }
    QLabel* monthLabel() const { return monthLabel_; }
    QLabel* dayLabel() const { return dayLabel_; }
    QLabel* sizeLabel() const { return sizeLabel_; }
    QLabel* byLabel() const { return byLabel_; }
    QLabel* pixelsLabel() const { return pixelsLabel_; }
    QLabel* delimitersLabel() const { return delimitersLabel_; }
    QLabel* statusLabel() const { return statusLabel_; }

signals:
    // A batch has ended (completed, stopped or failed) and the window is
    // idle again; not sent for a batch refused before it started.
    void runFinished();

public slots:
    // "Generate OTP Keys": checks the settings and starts the batch.
    void onGenerate();
    // Opens the folder of the last saved key in the file manager.
    void onOpenKeyFolder();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class RunReporter;
    friend struct KeygenWindowTesting;

    void buildSettings();
    void buildSourceFrame();
    void buildDateAndSize();
    void buildResults();
    void layOutControls();
    void setTabOrderTopToBottom();
    void loadSettings();

    void refuse(const std::u16string& reason);
    void startRun(std::shared_ptr<KeyBatch> batch);
    void onKeySaved(const SavedKey& key);
    void onRunFinished(const KeyGenerationResult& result, const std::u16string& message, MessageIcon icon);
    void setBusy(bool busy, int batchSize = 0);
    void showStatus(const QString& text);
    void showKeyFolder(const std::string& folder);
    void hideLastRun();
    KeySource selectedSource() const;

    KeygenWindowHooks hooks_;
    std::unique_ptr<MessageBoxes> ownMessages_;
    MessageBoxes* messages_ = nullptr;

    // The twister and its seed array live as long as the window, so that
    // each run continues where the last one left them. Only the running
    // batch touches them (and the program-wide generator) while busy.
    KeyGeneratorState state_;
    std::string root_;
    std::string fallbackRoot_;
    std::string keyFolder_;
    std::u16string countText_;  // the number of keys as typed for the running batch
    bool busy_ = false;
    bool closeWhenDone_ = false;
    std::atomic<bool> stopRequested_{false};
    std::unique_ptr<QThread> worker_;
    // Runs on the worker before each key; empty but in tests.
    std::function<void()> betweenKeys_;

    QLabel* seriesLabel_ = nullptr;
    UniText* seriesBox_ = nullptr;
    QLabel* countLabel_ = nullptr;
    QComboBox* countBox_ = nullptr;
    QGroupBox* namingFrame_ = nullptr;
    QRadioButton* numberNaming_ = nullptr;
    QRadioButton* dateNaming_ = nullptr;
    QGroupBox* sourceFrame_ = nullptr;
    // By source index; on screen they stand in the order 0, 4, 1, 2, 3.
    QRadioButton* sourceButtons_[kKeySourceCount] = {};
    QLabel* startDateLabel_ = nullptr;
    QLabel* yearLabel_ = nullptr;
    QComboBox* yearBox_ = nullptr;
    QLabel* monthLabel_ = nullptr;
    QComboBox* monthBox_ = nullptr;
    QLabel* dayLabel_ = nullptr;
    QComboBox* dayBox_ = nullptr;
    QLabel* sizeLabel_ = nullptr;
    QLineEdit* widthBox_ = nullptr;
    QLabel* byLabel_ = nullptr;
    QLineEdit* heightBox_ = nullptr;
    QLabel* pixelsLabel_ = nullptr;
    QGroupBox* fileTypeFrame_ = nullptr;
    QRadioButton* pngOption_ = nullptr;
    QRadioButton* bmpOption_ = nullptr;
    QLabel* delimitersLabel_ = nullptr;
    UniText* delimitersBox_ = nullptr;
    QPushButton* generateButton_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QLineEdit* statusBox_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QLabel* keyTimeLabel_ = nullptr;
    QLabel* folderLink_ = nullptr;
    PictureBox* previewBox_ = nullptr;
};

}  // namespace corvane::keygen
