#pragma once
// EncryptWindow, the encryptor's main window: a carrier and a key picked from two
// lists (or dialogs, or dropped on the window), their previews, sizes and the
// key verdict, the message with its tools and LSB estimate, the encodability
// score, the output options, and "Encrypt Image". It reads its controls into
// the operations and writes their results back; it computes nothing they own.
//
// Controls by role, and the objectName each carries (the name tests and
// accessibility tools find it by):
//   carrierCaption       Label1
//   carrierList          File1
//   browseCarrierButton  Command2
//   keyCaption           Label2
//   keyList              File2
//   browseKeyButton      Command3
//   carrierPicture       Picture1
//   keyPicture           Picture2
//   carrierPreview       Picture3
//   keyPreview           Picture4
//   carrierSizeLabel     Label9
//   keySizeLabel         Label10
//   keyVerdictLabel      Label12
//   delimiterCaption     Label11
//   delimiterText        DelimiterText
//   messageCaption       Label5
//   messageText          Text1
//   lsbUsageLabel        Label14
//   detectabilityLabel   Label16
//   lsbAlteredCaption    Label6
//   lsbAlteredLabel      Label4
//   digestCaption        Label7
//   digestLabel          Label8
//   statusCaption        Label3
//   statusText           Text2
//   prefixCaption        Label13
//   prefixEdit           Text3
//   fileTypeFrame        Frame1
//   pngOption            Option1
//   bmpOption            Option2
//   otherOption          Option3
//   otherFormatCombo     Combo1
//   compressCheck        Check4
//   wipeKeyCheck         Check2
//   wipeCarrierCheck     Check3
//   maxWidthButton       Check6
//   maxWidthEdit         Text4
//   resizeButton         Check7
//   ratioCombo           Combo2
//   scoreCheck           Check5
//   scoreStatsLabel      Label15
//   showStepsButton      Check1
//   encryptButton        Command6
//   aboutButton          Command1
//   analysisButton       Command16
//   loadTextButton       Command10
//   quitButton           Command8
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "core/key_image.hpp"
#include "core/pixel_grid.hpp"
#include "encrypt/embedding_steps.hpp"
#include "encrypt/encrypt_operation.hpp"
#include "encrypt/window/batch_box.hpp"
#include "widgets/busy_guard.hpp"
#include "widgets/file_dialogs.hpp"
#include "widgets/image_key_pickers.hpp"
#include "widgets/message_tools.hpp"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QThread;
class QTimer;

namespace corvane {
struct CarrierAnalysisResult;
struct CarrierEstimates;
struct DetectabilityPrediction;
class FileList;
class MessageBoxes;
class PictureBox;
class UniText;
class WindowWorker;
}  // namespace corvane

namespace corvane::encryptor {

class StepsWindow;
class AnalysisWindow;

// What the window reaches outside itself beside a main window's hooks (root
// holds "Images", "Keys" and "Encrypted Images"); tests replace it.
struct EncryptWindowHooks : MainWindowHooks {
    // Where saving falls back to; empty: the user's fallback root.
    std::string fallbackRoot;
    // The save-file dialog of the analysis window, as openFile; Qt's when empty.
    FileDialog saveFile;
    // The ledger of used keys; empty: the user's (UsedKeysPath()).
    std::string usedKeysPath;
};

class EncryptWindow : public QWidget, public BatchHost {
    Q_OBJECT

public:
    explicit EncryptWindow(EncryptWindowHooks hooks = {}, QWidget* parent = nullptr);
    ~EncryptWindow() override;

    // Opens on the working folders, with the generator seeded.
    void load();
    // What the user asks of the window.
    void onCarrierClicked();
    void onKeyClicked();
    void onBrowseCarrier();
    void onBrowseKey();
    void onLoadText();  // a text file into the message
    void onMessageChanged();
    // The pause in typing is over: the detectability prediction starts off
    // the window's thread, or after the one running.
    void onDetectabilityPause();
    void onShowSteps();
    void onScoreToggled();
    void onEncrypt();  // runs off the window's thread; encryptFinished() follows
    void onAbout();
    void onAnalysis();
    void onQuit();

    // A file dropped on the window: a text file loads the message, a file
    // dropped on the key side selects the key, any other the carrier.
    void dropFile(const std::string& path, bool onKeySide);

    // The window's state that the operations read.
    const std::string& imagePath() const { return imagePath_; }
    const std::string& keyPath() const override { return keyPath_; }
    const std::u16string& keyComment() const { return key_.comment; }
    int32_t keySeed() const { return keySeed_; }
    int imageWidth() const { return carrier_.width; }
    int imageHeight() const { return carrier_.height; }
    const PixelGrid& carrier() const { return carrier_; }
    const PixelGrid& key() const { return key_.pixels; }
    EmbeddingSteps& steps() { return steps_; }
    StepsWindow* stepsWindow() const { return stepsWindow_; }
    bool busy() const { return busy_; }
    const EncryptResult& lastResult() const { return lastResult_; }
    std::u16string message() const override;
    // The root of "Images", "Keys" and "Encrypted Images" in use.
    const std::string& root() const override { return root_; }
    BatchBox* batchBox() const { return batchBox_; }
    AnalysisWindow* analysisWindow() const { return analysisWindow_; }

    // The controls, by role.
    // The carrier side; carrierPicture is the full-size carrier, kept hidden.
    QLabel* carrierCaption() const { return pickers_->image().caption; }
    FileList* carrierList() const override { return pickers_->image().list; }
    QPushButton* browseCarrierButton() const { return pickers_->image().browse; }
    PictureBox* carrierPreview() const { return pickers_->image().preview; }
    QLabel* carrierSizeLabel() const { return pickers_->image().size; }
    PictureBox* carrierPicture() const { return carrierPicture_; }
    // The key side, alike, with its verdict and delimiters.
    QLabel* keyCaption() const { return pickers_->key().caption; }
    FileList* keyList() const { return pickers_->key().list; }
    QPushButton* browseKeyButton() const { return pickers_->key().browse; }
    PictureBox* keyPreview() const { return pickers_->key().preview; }
    QLabel* keySizeLabel() const { return pickers_->key().size; }
    PictureBox* keyPicture() const { return keyPicture_; }
    QLabel* keyVerdictLabel() const { return keyVerdictLabel_; }
    QLabel* delimiterCaption() const { return delimiterCaption_; }
    UniText* delimiterText() const { return delimiterText_; }
    QLabel* messageCaption() const { return messageCaption_; }
    UniText* messageText() const { return messageText_; }
    QLabel* lsbUsageLabel() const { return lsbUsageLabel_; }
    QLabel* detectabilityLabel() const { return detectabilityLabel_; }
    // A detectability prediction is waiting for the pause or running.
    bool predicting() const;
    QLabel* lsbAlteredCaption() const { return lsbAlteredCaption_; }
    QLabel* lsbAlteredLabel() const { return lsbAlteredLabel_; }
    QLabel* digestCaption() const { return digestCaption_; }
    QLabel* digestLabel() const { return digestLabel_; }
    QLabel* statusCaption() const { return statusCaption_; }
    QPlainTextEdit* statusText() const { return statusText_; }
    QLabel* prefixCaption() const { return prefixCaption_; }
    QLineEdit* prefixEdit() const { return prefixEdit_; }
    QGroupBox* fileTypeFrame() const { return fileTypeFrame_; }
    QRadioButton* pngOption() const { return pngOption_; }
    QRadioButton* bmpOption() const { return bmpOption_; }
    QRadioButton* otherOption() const { return otherOption_; }
    QComboBox* otherFormatCombo() const { return otherFormatCombo_; }
    QCheckBox* compressCheck() const { return compressCheck_; }
    QCheckBox* wipeKeyCheck() const { return wipeKeyCheck_; }
    QCheckBox* wipeCarrierCheck() const { return wipeCarrierCheck_; }
    QPushButton* maxWidthButton() const { return maxWidthButton_; }
    QLineEdit* maxWidthEdit() const { return maxWidthEdit_; }
    QPushButton* resizeButton() const { return resizeButton_; }
    QComboBox* ratioCombo() const { return ratioCombo_; }
    QCheckBox* scoreCheck() const { return scoreCheck_; }
    QLabel* scoreStatsLabel() const { return scoreStatsLabel_; }
    QPushButton* showStepsButton() const { return showStepsButton_; }
    QPushButton* encryptButton() const { return encryptButton_; }
    QPushButton* aboutButton() const { return aboutButton_; }
    QPushButton* analysisButton() const { return analysisButton_; }
    QPushButton* loadTextButton() const { return loadTextButton_; }
    QPushButton* quitButton() const { return quitButton_; }

    // The batch drives the window as a user would: it selects each carrier
    // in the list, then runs "Encrypt Image". While it runs, the carrier,
    // key, message and options are locked; closing the window stops it
    // after the current carrier.
    bool haveCarrier() const override;
    void encryptForBatch(std::function<void(const EncryptResult&)> done) override;
    void setBatchRunning(bool running) override;
    void appendStatus(std::u16string_view line) override;
    std::u16string lastDetectability() const override { return lastDetectability_; }

signals:
    // An encryption run has ended (its result is lastResult()).
    void encryptFinished();
    // The encodability score of the loaded carrier is shown.
    void scoreFinished();
    // The detectability label shows the prediction for the window's current
    // carrier, message, compression and key.
    void detectabilityShown();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class RunReporter;
    // What a detectability prediction was made for; the carrier is the
    // window's own copy, which no run changes under a prediction.
    struct PredictionInputs {
        std::shared_ptr<const PixelGrid> carrier;
        std::u16string message;
        bool compress = true;
        std::u16string keyComment;
        bool operator==(const PredictionInputs&) const = default;
    };
    PredictionInputs predictionInputs();
    void launchPrediction();
    void predictionEnded(uint64_t request, const PredictionInputs& in, std::shared_ptr<const CarrierEstimates> clean,
                         const DetectabilityPrediction& prediction);
    void showDetectability(const DetectabilityPrediction& prediction);
    void clearDetectability();
    // Whether the run may go on with a "High" verdict for `in`: asked once
    // per carrier, message and compression until the answer is Yes.
    bool acceptDetectability(const PredictionInputs& in, bool high);

    void encryptEnded(const EncryptResult& result);
    // A key that hid another message before: asks, and on Yes runs the same
    // press again allowing the reuse. False when it did not run again.
    bool reuseKeyAfterAsking(const EncryptResult& result);
    // In the encryption run, before it changes anything: the verdict of its
    // inputs (the batch's summary keeps it), asking about "High" when `ask`;
    // false when the user declines.
    bool predictInRun(const PredictionInputs& in, std::shared_ptr<const CarrierEstimates> clean, bool ask,
                      std::u16string& verdict);
    void scoreEnded(const CarrierAnalysisResult& result);
    const PixelGrid* comparisonCarrier() const;

    void buildControls();
    void createPickerControls();
    void createMessageControls();
    void createOptionControls();
    void createButtons();
    QLayout* buildPickers();
    QLayout* buildOptions();
    QLayout* buildMessageRow();
    QLayout* buildResultsRow();
    void checkKeySize();
    void scoreCarrier();
    void setBusy(bool busy);
    void updateEnabled();
    void clearCarrier();
    void clearKey();
    void clearVerdict();
    EncryptInputs inputs() const;
    OutputKind selectedOutput() const;
    void runStep2ByHand();

    EncryptWindowHooks hooks_;
    std::unique_ptr<MessageBoxes> ownMessages_;
    MessageBoxes* messages_ = nullptr;
    std::unique_ptr<MessageTools> tools_;
    MessageToolButtons toolButtons_;
    std::string root_;
    ImageKeyPickers* pickers_ = nullptr;
    // Locks the inputs while an encryption, a score or a batch runs, and
    // holds a close asked for meanwhile.
    BusyGuard* guard_ = nullptr;

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
    KeyWipeOnce keyWipe_;
    bool allowKeyReuse_ = false;  // for the one run the user allowed it
    bool busy_ = false;        // "Encrypt Image" shows the run's progress
    bool encrypting_ = false;  // from the press until the result is shown
    bool analysing_ = false;   // scoring the carrier
    bool batch_ = false;
    // The batch's continuation, waiting for the current run.
    std::function<void(const EncryptResult&)> batchDone_;
    // Runs encryptions and scores. After the state it reads, so destroyed
    // before it: a run still going ends first (the controls it reports to
    // are children, gone later still).
    std::unique_ptr<WindowWorker> worker_;

    // The detectability prediction: a pause in typing starts it, a change
    // makes every result asked for before it stale.
    QTimer* detectabilityTimer_ = nullptr;
    QPointer<QThread> predictor_;
    uint64_t predictionRequest_ = 0;
    bool predictionQueued_ = false;
    bool predictionInFlight_ = false;  // launched, its result not back yet
    std::shared_ptr<const PixelGrid> predictedCarrier_;
    std::shared_ptr<const CarrierEstimates> carrierEstimates_;  // of predictedCarrier_, once known
    PredictionInputs shownInputs_;  // what the label's verdict is for
    bool shownHigh_ = false;
    bool shownCurrent_ = false;     // the label holds a verdict
    PredictionInputs acceptedHigh_;  // "High" the user chose to encrypt anyway
    std::string acceptedPath_;        // on the carrier of this file
    std::u16string lastDetectability_;

    StepsWindow* stepsWindow_ = nullptr;
    BatchBox* batchBox_ = nullptr;
    AnalysisWindow* analysisWindow_ = nullptr;

    // Controls by role; the table above gives each one's objectName.
    // The carrier's and the key's lists, Browse buttons, previews and sizes
    // are the pickers'.
    PictureBox* carrierPicture_ = nullptr;
    PictureBox* keyPicture_ = nullptr;
    QLabel* keyVerdictLabel_ = nullptr;
    QLabel* delimiterCaption_ = nullptr;
    UniText* delimiterText_ = nullptr;
    QLabel* messageCaption_ = nullptr;
    UniText* messageText_ = nullptr;
    QLabel* lsbUsageLabel_ = nullptr;
    QLabel* detectabilityLabel_ = nullptr;
    QLabel* lsbAlteredCaption_ = nullptr;
    QLabel* lsbAlteredLabel_ = nullptr;
    QLabel* digestCaption_ = nullptr;
    QLabel* digestLabel_ = nullptr;
    QLabel* statusCaption_ = nullptr;
    QPlainTextEdit* statusText_ = nullptr;
    QLabel* prefixCaption_ = nullptr;
    QLineEdit* prefixEdit_ = nullptr;
    QGroupBox* fileTypeFrame_ = nullptr;
    QRadioButton* pngOption_ = nullptr;
    QRadioButton* bmpOption_ = nullptr;
    QRadioButton* otherOption_ = nullptr;
    QComboBox* otherFormatCombo_ = nullptr;
    QCheckBox* compressCheck_ = nullptr;
    QCheckBox* wipeKeyCheck_ = nullptr;
    QCheckBox* wipeCarrierCheck_ = nullptr;
    QPushButton* maxWidthButton_ = nullptr;
    QLineEdit* maxWidthEdit_ = nullptr;
    QPushButton* resizeButton_ = nullptr;
    QComboBox* ratioCombo_ = nullptr;
    QCheckBox* scoreCheck_ = nullptr;
    QLabel* scoreStatsLabel_ = nullptr;
    QPushButton* showStepsButton_ = nullptr;
    QPushButton* encryptButton_ = nullptr;
    QPushButton* aboutButton_ = nullptr;
    QPushButton* analysisButton_ = nullptr;
    QPushButton* loadTextButton_ = nullptr;
    QPushButton* quitButton_ = nullptr;
};

}  // namespace corvane::encryptor
