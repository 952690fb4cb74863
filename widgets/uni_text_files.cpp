// The text box's text files, in the encodings of core/text_file.hpp.
#include "widgets/uni_text.hpp"

#include "core/text_file.hpp"

namespace corvane {

bool UniText::LoadFile(const std::string& filename, int32_t ifNoByteOrderMark) {
    LoadFileResult r = LoadTextFile(filename, ifNoByteOrderMark);
    if (!r.ok) return false;
    bom_ = r.bom;
    SetText(r.text);
    return true;
}

bool UniText::SaveFile(const std::string& filename, int32_t byteOrderMark, bool overwriteExisting) {
    if (!SaveTextFile(filename, Text(), byteOrderMark, overwriteExisting).ok) return false;
    bom_ = byteOrderMark;
    return true;
}

}  // namespace corvane
