#include "widgets/message_boxes.hpp"

#include "widgets/controls.hpp"

#include <QGuiApplication>
#include <QMessageBox>

namespace corvane {
namespace {

void ShowBox(QWidget* owner, QMessageBox::Icon icon, std::u16string_view text) {
    QMessageBox box(icon, QGuiApplication::applicationDisplayName(),
                    ToQString(text), QMessageBox::Ok, owner);
    // Fixed texts are plain; a path or a message quoted in them must not turn into markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

}  // namespace

void QtMessageBoxes::Information(std::u16string_view text) { ShowBox(owner_, QMessageBox::Information, text); }

void QtMessageBoxes::Critical(std::u16string_view text) { ShowBox(owner_, QMessageBox::Critical, text); }

bool QtMessageBoxes::Question(std::u16string_view text) {
    QMessageBox box(QMessageBox::Question, QGuiApplication::applicationDisplayName(), ToQString(text),
                    QMessageBox::Yes | QMessageBox::No, owner_);
    box.setDefaultButton(QMessageBox::No);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

MessageBoxes* GivenOrQtMessageBoxes(MessageBoxes* given, QWidget* owner, std::unique_ptr<MessageBoxes>& own) {
    if (given) return given;
    own = std::make_unique<QtMessageBoxes>(owner);
    return own.get();
}

}  // namespace corvane
