#include "core/text_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <system_error>

#include "core/code_page.hpp"

namespace corvane {
namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr std::string_view kUtf7Mark = "+/v8-";
constexpr size_t kUtf8LookBytes = 2048;

uint8_t At(std::string_view s, size_t i) { return static_cast<uint8_t>(s[i]); }

bool IsHighSurrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

std::u16string Utf16ToText(std::string_view b, bool bigEndian) {
    std::u16string out;
    out.reserve(b.size() / 2 + 1);
    size_t i = 0;
    for (; i + 1 < b.size(); i += 2) {
        const uint16_t lo = bigEndian ? At(b, i + 1) : At(b, i);
        const uint16_t hi = bigEndian ? At(b, i) : At(b, i + 1);
        out.push_back(static_cast<char16_t>(lo | (hi << 8)));
    }
    if (i < b.size()) out.push_back(kReplacement);  // half a unit
    return out;
}

std::u16string Utf32ToText(std::string_view b, bool bigEndian) {
    std::u16string out;
    out.reserve(b.size() / 4 + 1);
    size_t i = 0;
    for (; i + 3 < b.size(); i += 4) {
        uint32_t cp = 0;
        for (int k = 0; k < 4; ++k) {
            const uint32_t byte = At(b, i + (bigEndian ? k : 3 - k));
            cp = (cp << 8) | byte;
        }
        // Values beyond the Unicode range have no UTF-16 form and are dropped.
        if (cp <= 0x10FFFF) AppendCodePoint(out, cp);
    }
    if (i < b.size()) out.push_back(kReplacement);  // a truncated last value
    return out;
}

void PutUnit16(std::string& out, char16_t u, bool bigEndian) {
    const char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
    if (bigEndian) {
        out.push_back(hi);
        out.push_back(lo);
    } else {
        out.push_back(lo);
        out.push_back(hi);
    }
}

void TextToUtf16(std::string& out, std::u16string_view t, bool bigEndian) {
    for (char16_t u : t) PutUnit16(out, u, bigEndian);
}

void TextToUtf32(std::string& out, std::u16string_view t, bool bigEndian) {
    for (size_t i = 0; i < t.size(); ++i) {
        uint32_t cp = t[i];
        if (IsHighSurrogate(cp) && i + 1 < t.size() && IsLowSurrogate(t[i + 1])) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (t[i + 1] - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(cp) || IsLowSurrogate(cp)) {
            cp = kReplacement;  // a lone surrogate is no code point
        }
        for (int k = 0; k < 4; ++k) {
            const int shift = 8 * (bigEndian ? 3 - k : k);
            out.push_back(static_cast<char>((cp >> shift) & 0xFF));
        }
    }
}

int Base64Value(uint8_t c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Characters that UTF-7 may write as themselves (its direct and optional
// direct sets, without '\' and '~').
bool IsUtf7Direct(char16_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    return std::u16string_view(u"'(),-./:? \t\r\n!\"#$%&*;<=>@[]^_`{|}").find(c) !=
           std::u16string_view::npos;
}

std::u16string CodePageFile(std::string_view content) { return AnsiToText(content); }

}  // namespace

bool IsEncodingCode(int32_t code) {
    switch (code) {
        case kEncodingCodePage:
        case kEncodingUtf8NoMark:
        case kEncodingUtf16LE:
        case kEncodingUtf16BE:
        case kEncodingUtf32LE:
        case kEncodingUtf32BE:
        case kEncodingUtf7:
        case kEncodingUtf8:
            return true;
        default:
            return false;
    }
}

ByteOrderMark DetectByteOrderMark(std::string_view f) {
    auto starts = [&](std::string_view mark) { return f.substr(0, mark.size()) == mark; };
    using namespace std::string_view_literals;
    // A mark counts only when content follows it.
    if (f.size() > 4 && starts("\x00\x00\xFE\xFF"sv)) return {kEncodingUtf32BE, 4};
    if (f.size() > 4 && starts("\xFF\xFE\x00\x00"sv)) return {kEncodingUtf32LE, 4};
    if (f.size() > 2 && starts("\xFE\xFF"sv)) return {kEncodingUtf16BE, 2};
    if (f.size() > 2 && starts("\xFF\xFE"sv)) return {kEncodingUtf16LE, 2};
    if (f.size() > 3 && starts("\xEF\xBB\xBF"sv)) return {kEncodingUtf8, 3};
    if (f.size() > 5 && starts(kUtf7Mark)) return {kEncodingUtf7, kUtf7Mark.size()};
    return {};
}

bool LooksLikeUtf8(std::string_view content) {
    const size_t n = std::min(content.size(), kUtf8LookBytes);
    bool sawSequence = false;
    size_t i = 0;
    while (i < n) {
        const uint8_t b = At(content, i);
        if (b < 0x80 || b >= 0xFE) {
            ++i;
            continue;
        }
        if (b <= 0xBF) return false;  // continuation byte where a character should start
        const size_t follow = b <= 0xDF ? 1 : b <= 0xEF ? 2 : b <= 0xF7 ? 3 : b <= 0xFB ? 4 : 5;
        if (i + follow >= n) break;  // cut off by the end of the inspected bytes
        for (size_t k = 1; k <= follow; ++k) {
            const uint8_t c = At(content, i + k);
            if (c < 0x80 || c > 0xBF) return false;
        }
        sawSequence = true;
        i += follow + 1;
    }
    return sawSequence;
}

std::u16string Utf7ToText(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        const uint8_t c = At(s, i++);
        if (c != '+') {
            out.push_back(c < 0x80 ? c : kReplacement);
            continue;
        }
        if (i < n && s[i] == '-') {
            out.push_back(u'+');
            ++i;
            continue;
        }
        uint32_t bits = 0;
        int nbits = 0;
        size_t digits = 0;
        while (i < n) {
            const int v = Base64Value(At(s, i));
            if (v < 0) break;
            ++i;
            ++digits;
            bits = (bits << 6) | static_cast<uint32_t>(v);
            nbits += 6;
            if (nbits >= 16) {
                nbits -= 16;
                out.push_back(static_cast<char16_t>((bits >> nbits) & 0xFFFF));
            }
            bits &= (1u << nbits) - 1;
        }
        // Six or more bits left over are a unit cut short; a "+" followed by
        // neither digits nor "-" is no shift sequence at all.
        if (nbits >= 6 || digits == 0) out.push_back(kReplacement);
        if (i < n && s[i] == '-') ++i;
    }
    return out;
}

std::string TextToUtf7(std::u16string_view t) {
    std::string out;
    out.reserve(t.size() * 3);
    bool shifted = false;
    uint32_t bits = 0;
    int nbits = 0;
    auto closeRun = [&] {
        if (!shifted) return;
        if (nbits > 0) out.push_back(kBase64[(bits << (6 - nbits)) & 0x3F]);
        // Always closing with "-" keeps a following "-" or base64 letter literal.
        out.push_back('-');
        shifted = false;
        bits = 0;
        nbits = 0;
    };
    for (char16_t c : t) {
        if (c == u'+') {
            closeRun();
            out += "+-";
        } else if (IsUtf7Direct(c)) {
            closeRun();
            out.push_back(static_cast<char>(c));
        } else {
            if (!shifted) {
                out.push_back('+');
                shifted = true;
            }
            bits = (bits << 16) | c;
            nbits += 16;
            while (nbits >= 6) {
                nbits -= 6;
                out.push_back(kBase64[(bits >> nbits) & 0x3F]);
            }
            bits &= (1u << nbits) - 1;
        }
    }
    closeRun();
    return out;
}

DecodedText DecodeTextFile(std::string_view file, int32_t ifNoByteOrderMark) {
    const ByteOrderMark mark = DetectByteOrderMark(file);
    const std::string_view content = file.substr(mark.length);
    DecodedText r;
    r.bom = mark.code;
    switch (mark.code) {
        case kEncodingUtf16LE: r.text = Utf16ToText(content, false); break;
        case kEncodingUtf16BE: r.text = Utf16ToText(content, true); break;
        case kEncodingUtf32LE: r.text = Utf32ToText(content, false); break;
        case kEncodingUtf32BE: r.text = Utf32ToText(content, true); break;
        case kEncodingUtf8: r.text = Utf8ToText(content); break;
        case kEncodingUtf7: r.text = Utf7ToText(content); break;
        default:
            if (ifNoByteOrderMark == 1 && LooksLikeUtf8(content)) {
                r.bom = kEncodingUtf8NoMark;
                r.text = Utf8ToText(content);
            } else {
                r.bom = kEncodingCodePage;
                r.text = CodePageFile(content);
            }
    }
    return r;
}

std::optional<std::string> EncodeTextFile(std::u16string_view text, int32_t code) {
    std::string out;
    switch (code) {
        case kEncodingCodePage: return TextToAnsi(text);
        case kEncodingUtf8NoMark: return TextToUtf8(text);
        case kEncodingUtf16LE:
        case kEncodingUtf16BE: {
            const bool be = code == kEncodingUtf16BE;
            out.reserve(2 * text.size() + 2);
            PutUnit16(out, 0xFEFF, be);
            TextToUtf16(out, text, be);
            return out;
        }
        case kEncodingUtf32LE:
        case kEncodingUtf32BE: {
            const bool be = code == kEncodingUtf32BE;
            out.reserve(4 * text.size() + 4);
            TextToUtf32(out, std::u16string_view(u"\uFEFF"), be);
            TextToUtf32(out, text, be);
            return out;
        }
        case kEncodingUtf7: return std::string(kUtf7Mark) + TextToUtf7(text);
        case kEncodingUtf8: return "\xEF\xBB\xBF" + TextToUtf8(text);
        default: return std::nullopt;
    }
}

namespace {

std::string SystemMessage(int err) { return std::generic_category().message(err); }

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

LoadFileResult LoadTextFile(const std::string& path, int32_t ifNoByteOrderMark) {
    LoadFileResult r;
    if (path.empty()) {
        r.error = "No file name.";
        return r;
    }
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        r.error = SystemMessage(errno);
        return r;
    }
    std::string bytes;
    try {
        struct stat st {};
        if (::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
            bytes.reserve(std::min<size_t>(static_cast<size_t>(st.st_size), kMaxTextFileBytes + 1));
        char buf[65536];
        for (;;) {
            const ssize_t got = ::read(fd.get(), buf, sizeof buf);
            if (got == 0) break;
            if (got < 0) {
                if (errno == EINTR) continue;
                r.error = SystemMessage(errno);
                return r;
            }
            if (bytes.size() + static_cast<size_t>(got) > kMaxTextFileBytes) {
                r.error = "File too large.";
                return r;
            }
            bytes.append(buf, static_cast<size_t>(got));
        }
        DecodedText d = DecodeTextFile(bytes, ifNoByteOrderMark);
        r.text = std::move(d.text);
        r.bom = d.bom;
    } catch (const std::bad_alloc&) {
        r.error = "Not enough memory.";
        r.text.clear();
        return r;
    }
    r.ok = true;
    return r;
}

SaveFileResult SaveTextFile(const std::string& path, std::u16string_view text, int32_t byteOrderMark,
                            bool overwriteExisting, FileAccess access) {
    SaveFileResult r;
    if (path.empty()) {
        r.error = "No file name.";
        return r;
    }
    if (text.empty()) {
        r.error = "No text to save.";
        return r;
    }
    // An unknown code is refused before the file is touched, so that it can
    // neither truncate an existing file nor leave an empty one behind.
    const std::optional<std::string> bytes = EncodeTextFile(text, byteOrderMark);
    if (!bytes) {
        r.error = "Unknown encoding code " + std::to_string(byteOrderMark) + ".";
        return r;
    }
    const SaveStatus saved = WriteFileSafely(path, *bytes, access, overwriteExisting, &r.error);
    if (saved != SaveStatus::Saved) return r;
    r.ok = true;
    return r;
}

}  // namespace corvane
