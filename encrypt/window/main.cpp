// corvane-encrypt: the encryptor's windows.
#include <QApplication>

#include "encrypt/window/encrypt_window.hpp"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("corvane-encrypt"));
    QApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    corvane::encryptor::EncryptWindow window;
    window.show();
    return QApplication::exec();
}
