#pragma once
// The programs' icons, drawn rather than stored: the same artwork at any
// size for the windows, the about box and the installed icon files.
#include <QImage>

namespace corvane {

enum class ProgramIcon { Keygen, Encrypt, Decrypt };

// A square icon of side `size` with a transparent surround: a photograph
// (sky, hills and sun) on the program's colour, with the program's sign
// over it: a key for the key generator, a closed lock for the encryptor, an
// open lock for the decryptor.
QImage DrawProgramIcon(ProgramIcon program, int size);

}  // namespace corvane
