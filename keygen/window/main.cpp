// corvane-keygen: the key generator's window.
#include <QApplication>

#include "keygen/window/keygen_window.hpp"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("corvane-keygen"));
    QApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    corvane::keygen::KeygenWindow window;
    window.show();
    return QApplication::exec();
}
