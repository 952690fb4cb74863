#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <QWidget>

#include "widgets/controls.hpp"
#include "widgets/tests/readable_text.hpp"
#include "widgets/uni_text.hpp"
#include "widgets/window_style.hpp"

namespace corvane {
namespace {

using testing::DarkDesktop;
using testing::UnreadableTexts;

const QRgb kDesignedColors[] = {kWindowBackColor, kButtonIdleColor, kButtonBusyColor, kGoodColor,
                                kGoodLightColor,  kWarningColor,    kWarningDarkColor, kBadLightColor,
                                kBadColor,        kBadDarkColor};

TEST(WindowStyle, ContrastRatioFollowsLuminance) {
    EXPECT_DOUBLE_EQ(ContrastRatio(Qt::black, Qt::white), 21.0);
    EXPECT_DOUBLE_EQ(ContrastRatio(Qt::white, Qt::black), 21.0);
    EXPECT_DOUBLE_EQ(ContrastRatio(QColor(90, 120, 30), QColor(90, 120, 30)), 1.0);
    // #777 on white is the well-known grey just short of 4.5; #767676 makes it.
    EXPECT_NEAR(ContrastRatio(QColor(0x77, 0x77, 0x77), Qt::white), 4.48, 0.01);
    EXPECT_NEAR(ContrastRatio(QColor(0x76, 0x76, 0x76), Qt::white), 4.54, 0.01);
    // Green weighs most, blue least.
    EXPECT_GT(ContrastRatio(QColor(0, 255, 0), Qt::black), ContrastRatio(QColor(255, 0, 0), Qt::black));
    EXPECT_GT(ContrastRatio(QColor(255, 0, 0), Qt::black), ContrastRatio(QColor(0, 0, 255), Qt::black));
}

TEST(WindowStyle, TextOnEveryDesignedColourReadsEnabledAndDisabled) {
    for (QRgb rgb : kDesignedColors) {
        const QColor back = QColor::fromRgb(rgb);
        SCOPED_TRACE(back.name().toStdString());
        const QColor text = TextColorOn(back), faded = DisabledTextColorOn(back);
        EXPECT_GE(ContrastRatio(text, back), 4.5);
        EXPECT_GE(ContrastRatio(faded, back), 4.5);
        // Disabled still looks disabled.
        EXPECT_NE(faded, text);
        EXPECT_LT(ContrastRatio(faded, back), ContrastRatio(text, back));
    }
    EXPECT_EQ(TextColorOn(QColor::fromRgb(kWindowBackColor)), QColor(Qt::black));
    EXPECT_EQ(TextColorOn(QColor::fromRgb(kButtonBusyColor)), QColor(Qt::white));
}

TEST(WindowStyle, WindowPaletteLeavesNoRoleToTheDesktop) {
    DarkDesktop dark;
    QWidget window;
    ApplyWindowStyle(&window);
    const QPalette p = window.palette();
    EXPECT_EQ(p.color(QPalette::Window), QColor::fromRgb(kWindowBackColor));
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
        EXPECT_EQ(p.color(g, QPalette::WindowText), QColor(Qt::black));
        EXPECT_EQ(p.color(g, QPalette::ButtonText), QColor(Qt::black));
        EXPECT_EQ(p.color(g, QPalette::Text), QColor(Qt::black));
        EXPECT_EQ(p.color(g, QPalette::Base), QColor(Qt::white));
        EXPECT_EQ(p.color(g, QPalette::Button), QColor::fromRgb(kButtonIdleColor));
    }
    EXPECT_GE(ContrastRatio(p.color(QPalette::Disabled, QPalette::WindowText), p.color(QPalette::Window)), 4.5);
    EXPECT_GE(ContrastRatio(p.color(QPalette::PlaceholderText), p.color(QPalette::Base)), 4.5);
}

// A window of every kind of control the programs use, under a dark desktop.
struct DarkWindow {
    DarkDesktop dark;
    QWidget window;
    QLabel* label = MakeLabel(&window, "Label1", QStringLiteral("Key OK"));
    QPushButton* button = MakeButton(&window, "Command1", QStringLiteral("Encrypt Image"));
    QCheckBox* check = MakeCheck(&window, "Check1", QStringLiteral("Compress"), QString(), true);
    QGroupBox* frame = new QGroupBox(QStringLiteral("File Type:"), &window);
    QRadioButton* option = new QRadioButton(QStringLiteral("PNG"), frame);
    QLineEdit* line = new QLineEdit(QStringLiteral("1200"), &window);
    QPlainTextEdit* status = new QPlainTextEdit(QStringLiteral("Ready"), &window);
    QComboBox* combo = new QComboBox(&window);
    UniText* delimiters = new UniText(&window);

    DarkWindow() {
        ApplyWindowStyle(&window);
        (new QVBoxLayout(frame))->addWidget(option);
        combo->addItem(QStringLiteral("0.50:1"));
        delimiters->SetText(u"<a><b>");
        auto* column = new QVBoxLayout(&window);
        for (QWidget* w : std::initializer_list<QWidget*>{label, button, check, frame, line, status, combo, delimiters})
            column->addWidget(w);
    }
};

TEST(WindowStyle, EveryControlReadsUnderADarkDesktop) {
    DarkWindow w;
    EXPECT_EQ(UnreadableTexts(&w.window), QString());
    // The state colours and the busy button, enabled or locked.
    SetBackColor(w.label, QColor::fromRgb(kBadColor));
    SetBackColor(w.check, QColor::fromRgb(kWarningColor));
    SetBackColor(w.button, QColor::fromRgb(kButtonBusyColor));
    w.delimiters->SetBackColor(QColor::fromRgb(kBadDarkColor));
    EXPECT_EQ(UnreadableTexts(&w.window), QString());
    for (QWidget* c : std::initializer_list<QWidget*>{w.button, w.check, w.option, w.line, w.status, w.combo})
        c->setEnabled(false);
    EXPECT_EQ(UnreadableTexts(&w.window), QString());
    EXPECT_EQ(w.button->palette().color(QPalette::Active, QPalette::ButtonText), QColor(Qt::white));
    // Back to idle: dark text again on the light button.
    SetBackColor(w.button, QColor::fromRgb(kButtonIdleColor));
    EXPECT_EQ(w.button->palette().color(QPalette::Active, QPalette::ButtonText), QColor(Qt::black));
    EXPECT_EQ(UnreadableTexts(&w.window), QString());
}

TEST(WindowStyle, ABackColourAloneIsCaughtAndSetBackColorBringsItsText) {
    DarkDesktop dark;
    // Controls on a window that keeps the desktop's palette.
    QWidget bare;
    QLabel verdict(QStringLiteral("Key OK"), &bare);
    verdict.setObjectName(QStringLiteral("Label1"));
    QPushButton encrypt(QStringLiteral("Encrypt Image"), &bare);
    encrypt.setObjectName(QStringLiteral("Command1"));
    // A back colour alone leaves the desktop's light text on it.
    QPalette p = verdict.palette();
    p.setColor(QPalette::Window, QColor::fromRgb(kGoodColor));
    verdict.setPalette(p);
    verdict.setAutoFillBackground(true);
    p = encrypt.palette();
    p.setColor(QPalette::Button, QColor::fromRgb(kButtonIdleColor));
    encrypt.setPalette(p);
    const QString faults = UnreadableTexts(&bare);
    EXPECT_TRUE(faults.contains(QStringLiteral("Label1"))) << faults.toStdString();
    EXPECT_TRUE(faults.contains(QStringLiteral("Command1"))) << faults.toStdString();
    SetBackColor(&verdict, QColor::fromRgb(kGoodColor));
    SetBackColor(&encrypt, QColor::fromRgb(kButtonIdleColor));
    EXPECT_EQ(UnreadableTexts(&bare), QString());
}

TEST(WindowStyle, UniTextBackColourBringsItsTextColour) {
    DarkDesktop dark;
    UniText box;
    box.SetMultiLine(true);
    box.SetBackColor(QColor::fromRgb(kGoodLightColor));
    EXPECT_EQ(box.ForeColor(), QColor(Qt::black));
    EXPECT_EQ(UnreadableTexts(&box), QString());
    box.SetBackColor(QColor(0, 0, 100));
    EXPECT_EQ(box.ForeColor(), QColor(Qt::white));
    EXPECT_EQ(UnreadableTexts(&box), QString());
    // A text colour set by hand stays, whatever the back.
    box.SetForeColor(QColor(255, 255, 0));
    box.SetBackColor(QColor(0, 50, 100));
    EXPECT_EQ(box.ForeColor(), QColor(255, 255, 0));
}

}  // namespace
}  // namespace corvane
