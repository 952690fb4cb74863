// Writes the programs' icons as PNG files for installation: one folder per
// size, as the icon theme lays them out ("48x48/apps/corvane-encrypt.png").
#include <QDir>
#include <QGuiApplication>

#include <cstdio>

#include "widgets/program_icon.hpp"

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const struct {
        corvane::ProgramIcon icon;
        const char* name;
    } programs[] = {{corvane::ProgramIcon::Keygen, "corvane-keygen"},
                    {corvane::ProgramIcon::Encrypt, "corvane-encrypt"},
                    {corvane::ProgramIcon::Decrypt, "corvane-decrypt"}};
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
        if (!QDir().mkpath(folder)) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(folder));
            return 1;
        }
        for (const auto& p : programs) {
            const QString path = folder + QLatin1Char('/') + QLatin1String(p.name) + QStringLiteral(".png");
            if (!corvane::DrawProgramIcon(p.icon, size).save(path, "PNG")) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                return 1;
            }
        }
    }
    return 0;
}
