#pragma once
// Form3, the encryptor's About box, which also runs a batch: the main
// window's message, key and options applied to every carrier of its list,
// by selecting each carrier and pressing "Encrypt Image" as a user would.
#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

class QLabel;
class QPushButton;

namespace corvane {
class MessageBoxes;
}

namespace corvane::encryptor {

class Form2;

class Form3 : public QWidget {
    Q_OBJECT

public:
    Form3(Form2& main, MessageBoxes& messages, QWidget* parent = nullptr);

    void Command1_Click();  // Batch Encrypt
    void Command2_Click();  // Stop
    void Command8_Click();  // OK

    bool Running() const { return running_; }
    int32_t StopRequested() const { return stopRequested_; }

    // What the last batch did, for its summary line.
    struct BatchSummary {
        int carriers = 0;   // entries of the list when the batch started
        int processed = 0;  // carriers taken before the end or the stop
        int saved = 0;
        std::vector<std::string> failed;  // names of carriers not saved
        bool stopped = false;
    };
    const BatchSummary& LastBatch() const { return summary_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowSummary();

    Form2& main_;
    MessageBoxes& messages_;
    int32_t stopRequested_ = 0;
    bool running_ = false;
    BatchSummary summary_;

    QLabel* Picture1 = nullptr;
    QLabel* Picture2 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;  // the last batch's summary
    QLabel* Label5 = nullptr;  // the working folders' root
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command8 = nullptr;
};

}  // namespace corvane::encryptor
