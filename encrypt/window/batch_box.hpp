#pragma once
// BatchBox, the encryptor's About box, which also runs a batch: the main
// window's message, key and options applied to every carrier of its list,
// by selecting each carrier and pressing "Encrypt Image" as a user would.
//
// Controls by role, and the objectName each carries (the name tests and
// accessibility tools find it by):
//   encryptIcon   Picture1
//   keygenIcon    Picture2
//   titleLabel    Label1
//   blurbLabel    Label2
//   versionLabel  Label3
//   licenceLabel  LicenceLabel
//   summaryLabel  Label4
//   rootLabel     Label5
//   batchButton   Command1
//   stopButton    Command2
//   okButton      Command8
#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "encrypt/encrypt_operation.hpp"

class QLabel;
class QPushButton;

namespace corvane {
class FileList;
class MessageBoxes;
}

namespace corvane::encryptor {

// What the batch needs of the main window: its inputs, its carrier list,
// and an encryption run as "Encrypt Image" runs it.
class BatchHost {
public:
    virtual ~BatchHost() = default;
    virtual std::u16string message() const = 0;
    virtual const std::string& keyPath() const = 0;
    // The root of "Images", "Keys" and "Encrypted Images" in use.
    virtual const std::string& root() const = 0;
    virtual FileList* carrierList() const = 0;
    // Whether a carrier is loaded (a damaged file loads none).
    virtual bool haveCarrier() const = 0;
    // Encrypts the window's message into the selected carrier as a press of
    // "Encrypt Image" does; `done` gets the result once the run has ended.
    virtual void encryptForBatch(std::function<void(const EncryptResult&)> done) = 0;
    // While a batch runs, the carrier, key, message and options are locked.
    virtual void setBatchRunning(bool running) = 0;
    virtual void appendStatus(std::u16string_view line) = 0;
    // The detectability verdict ("Low", "Medium", "High") of the carrier the
    // last run encrypted into; empty when it had none.
    virtual std::u16string lastDetectability() const { return {}; }
};

class BatchBox : public QWidget {
    Q_OBJECT

public:
    BatchBox(BatchHost& main, MessageBoxes& messages, QWidget* parent = nullptr);

    // Starts a batch; batchFinished() follows when it ends.
    void onBatchEncrypt();
    // Ends the batch after its current carrier.
    void onStop();
    void onOk();

    bool running() const { return running_; }
    int32_t stopRequested() const { return stopRequested_; }

    // What the last batch did, for its summary line.
    struct BatchSummary {
        int carriers = 0;   // entries of the list when the batch started
        int processed = 0;  // carriers taken before the end or the stop
        int saved = 0;
        std::vector<std::string> failed;  // names of carriers not saved
        // Each saved carrier's name and its detectability verdict.
        std::vector<std::pair<std::string, std::u16string>> detectability;
        bool stopped = false;
    };
    const BatchSummary& lastBatch() const { return summary_; }

    // The controls, by role.
    QLabel* encryptIcon() const { return encryptIcon_; }
    QLabel* keygenIcon() const { return keygenIcon_; }
    QLabel* titleLabel() const { return titleLabel_; }
    QLabel* blurbLabel() const { return blurbLabel_; }
    QLabel* versionLabel() const { return versionLabel_; }
    QLabel* licenceLabel() const { return licenceLabel_; }
    QLabel* summaryLabel() const { return summaryLabel_; }
    QLabel* rootLabel() const { return rootLabel_; }
    QPushButton* batchButton() const { return batchButton_; }
    QPushButton* stopButton() const { return stopButton_; }
    QPushButton* okButton() const { return okButton_; }

protected:
    void closeEvent(QCloseEvent* event) override;

signals:
    // A batch has ended (done, stopped, or refused before it began).
    void batchFinished();

private:
    void createControls();
    void buildLayout();
    void takeNextCarrier();
    void carrierEnded(bool saved);
    void endBatch();
    void showSummary();

    BatchHost& main_;
    std::vector<std::string> names_;  // the carriers of the running batch
    size_t next_ = 0;                 // the next one to take
    MessageBoxes& messages_;
    int32_t stopRequested_ = 0;
    bool running_ = false;
    BatchSummary summary_;

    QLabel* encryptIcon_ = nullptr;
    QLabel* keygenIcon_ = nullptr;
    QLabel* titleLabel_ = nullptr;
    QLabel* blurbLabel_ = nullptr;
    QLabel* versionLabel_ = nullptr;
    QLabel* licenceLabel_ = nullptr;
    QLabel* summaryLabel_ = nullptr;  // the last batch's summary
    QLabel* rootLabel_ = nullptr;  // the working folders' root
    QPushButton* batchButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QPushButton* okButton_ = nullptr;
};

}  // namespace corvane::encryptor
