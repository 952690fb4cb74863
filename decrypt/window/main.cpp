// corvane-decrypt: the decryptor's window.
#include <QApplication>

#include "decrypt/window/decrypt_window.hpp"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("corvane-decrypt"));
    QApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    corvane::decryptor::DecryptWindow window;
    window.show();
    return QApplication::exec();
}
