// corvane-decrypt: the decryptor's window.
#include <QApplication>

#include "decrypt/window/form2.hpp"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("corvane-decrypt"));
    QApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    corvane::Form2 window;
    window.show();
    return QApplication::exec();
}
