#include "encrypt/used_keys.hpp"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>

#include "core/code_page.hpp"
#include "core/platform.hpp"
#include "core/safe_file.hpp"
#include "core/sha256.hpp"
#include "core/work_beside.hpp"
#include "encrypt/encrypt_texts.hpp"

namespace corvane {
namespace {

// A ledger larger than this is not the ledger this program writes (a line is
// about 200 bytes): it is reported and left alone rather than read whole.
constexpr off_t kMaxLedgerBytes = off_t{64} << 20;
// Below this many pixels a second thread costs more than it saves.
constexpr int64_t kThreadedPixels = int64_t{1} << 18;
constexpr const char* kHeader = "# corvane used keys: key, message, date (UTC), saved file\n";

void PutLe32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void PutUtf16Le(std::string& out, std::u16string_view text) {
    for (char16_t c : text) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
}

std::string Hex(const std::array<uint8_t, 32>& digest) {
    static const char* kHex = "0123456789abcdef";
    std::string s;
    for (uint8_t b : digest) {
        s.push_back(kHex[b >> 4]);
        s.push_back(kHex[b & 15]);
    }
    return s;
}

std::array<uint8_t, 32> Sha256Of(const std::string& bytes) {
    return Sha256Bytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// Each row's red, green and blue bytes hashed on their own.
void HashRows(const PixelGrid& key, int from, int to, std::vector<std::array<uint8_t, 32>>& digests) {
    std::vector<uint8_t> row(static_cast<size_t>(key.width) * 3);
    for (int y = from; y < to; ++y) {
        for (int x = 0; x < key.width; ++x) {
            const uint32_t p = key.at(x, y);
            row[3 * static_cast<size_t>(x)] = static_cast<uint8_t>(p & 0xFF);
            row[3 * static_cast<size_t>(x) + 1] = static_cast<uint8_t>((p >> 8) & 0xFF);
            row[3 * static_cast<size_t>(x) + 2] = static_cast<uint8_t>((p >> 16) & 0xFF);
        }
        digests[static_cast<size_t>(y)] = Sha256Bytes(row.data(), row.size());
    }
}

bool IsHex64(std::string_view s) {
    if (s.size() != 64) return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

// 2026-12-08T16:30:05Z as a calendar time; false when it is not one.
bool ParseLedgerDate(std::string_view date, std::tm& tm) {
    if (date.size() != 20) return false;
    static constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:ddZ";
    for (size_t i = 0; i < kShape.size(); ++i) {
        const bool digit = date[i] >= '0' && date[i] <= '9';
        if (kShape[i] == 'd' ? !digit : date[i] != kShape[i]) return false;
    }
    auto num = [&](size_t at, size_t n) { return std::atoi(std::string(date.substr(at, n)).c_str()); };
    tm = {};
    tm.tm_year = num(0, 4) - 1900;
    tm.tm_mon = num(5, 2) - 1;
    tm.tm_mday = num(8, 2);
    tm.tm_hour = num(11, 2);
    tm.tm_min = num(14, 2);
    tm.tm_sec = num(17, 2);
    return tm.tm_mon >= 0 && tm.tm_mon < 12 && tm.tm_mday >= 1 && tm.tm_mday <= 31 && tm.tm_hour < 24 &&
           tm.tm_min < 60 && tm.tm_sec <= 60;
}

std::string Escape(std::string_view file) {
    std::string out;
    for (char c : file) {
        if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else out.push_back(c);
    }
    return out;
}

bool Unescape(std::string_view text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out.push_back(text[i]);
            continue;
        }
        if (++i == text.size()) return false;
        if (text[i] == '\\') out.push_back('\\');
        else if (text[i] == 'n') out.push_back('\n');
        else if (text[i] == 'r') out.push_back('\r');
        else return false;
    }
    return true;
}

// The ledger's bytes. Empty and true when there is none; false (with the
// reason) when one exists that cannot be read. Never follows a symbolic
// link and never waits on a pipe or a device put in its place.
bool ReadLedgerBytes(const std::string& path, std::string& bytes, std::string& reason) {
    bytes.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) return true;
        reason = std::strerror(errno);
        return false;
    }
    struct stat st{};
    bool ok = fstat(fd, &st) == 0;
    if (!ok) reason = std::strerror(errno);
    else if (!S_ISREG(st.st_mode)) reason = "not a regular file", ok = false;
    else if (st.st_size > kMaxLedgerBytes) reason = "larger than a ledger can be", ok = false;
    char buf[65536];
    while (ok) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) reason = std::strerror(errno), ok = false;
        if (n <= 0) break;
        bytes.append(buf, static_cast<size_t>(n));
        if (static_cast<off_t>(bytes.size()) > kMaxLedgerBytes) reason = "larger than a ledger can be", ok = false;
    }
    close(fd);
    return ok;
}

std::vector<std::string_view> SplitLines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t nl = bytes.find('\n', start);
        if (nl == std::string_view::npos) nl = bytes.size();
        lines.push_back(bytes.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

// Holds an exclusive lock on the ledger's folder while it lives: the ledger
// file itself is replaced by each write, so it cannot carry the lock.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder) : fd_(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ >= 0)
            while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~FolderLock() {
        if (fd_ >= 0) close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_;
};

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Reads the ledger under its lock, lets `change` edit its lines (entries and
// damaged lines alike, without line breaks) and writes it back whole when
// `change` says it changed them.
std::string RewriteLedger(const std::string& path, const std::function<bool(std::vector<std::string>&)>& change) {
    const std::string folder = FolderOf(path);
    if (!CreateFolders(folder, 0700)) return "cannot create the folder " + folder + ": " + std::strerror(errno);
    FolderLock lock(folder);
    std::string bytes, reason;
    if (!ReadLedgerBytes(path, bytes, reason)) return "cannot read " + path + ": " + reason;
    std::vector<std::string> lines;
    for (std::string_view line : SplitLines(bytes))
        if (!line.empty() && line != std::string_view(kHeader).substr(0, std::string_view(kHeader).size() - 1))
            lines.emplace_back(line);
    if (!change(lines)) return {};
    std::string out = kHeader;
    for (const std::string& line : lines) out += line + "\n";
    if (WriteFileSafely(path, out, FileAccess::Private, true, &reason) != SaveStatus::Saved)
        return "cannot write " + path + ": " + reason;
    return {};
}

}  // namespace

std::string KeyIdentity::MessageDigest(std::u16string_view message, bool compressed) const {
    std::string bytes = "corvane message\n";
    bytes.append(reinterpret_cast<const char*>(secret.data()), secret.size());
    bytes.push_back(compressed ? '1' : '0');
    PutUtf16Le(bytes, message);
    return Hex(Sha256Of(bytes));
}

KeyIdentity IdentifyKey(const PixelGrid& key, std::u16string_view comment) {
    std::vector<std::array<uint8_t, 32>> rows(static_cast<size_t>(key.height));
    {
        const bool threaded = static_cast<int64_t>(key.width) * key.height >= kThreadedPixels;
        const int split = threaded ? key.height / 2 : 0;
        WorkBeside top([&] { HashRows(key, 0, split, rows); }, threaded);
        HashRows(key, split, key.height, rows);
    }

    std::string bytes = "corvane key\n";
    PutLe32(bytes, static_cast<uint32_t>(key.width));
    PutLe32(bytes, static_cast<uint32_t>(key.height));
    PutLe32(bytes, static_cast<uint32_t>(comment.size()));
    PutUtf16Le(bytes, comment);
    for (const auto& row : rows) bytes.append(reinterpret_cast<const char*>(row.data()), row.size());
    KeyIdentity id;
    id.secret = Sha256Of(bytes);
    std::string named = "corvane used key\n";
    named.append(reinterpret_cast<const char*>(id.secret.data()), id.secret.size());
    id.keyDigest = Hex(Sha256Of(named));
    return id;
}

std::string UsedKeysPath() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') return JoinPath(xdg, "corvane/used-keys");
    std::string home;
    if (const char* h = std::getenv("HOME"); h && *h) home = h;
    else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && *pw->pw_dir) home = pw->pw_dir;
    else home = "/tmp";
    return JoinPath(home, ".local/share/corvane/used-keys");
}

std::string LedgerLine(const UsedKeyEntry& e) {
    return e.keyDigest + " " + e.messageDigest + " " + e.date + " " + Escape(e.file);
}

bool ParseLedgerLine(std::string_view line, UsedKeyEntry& e) {
    if (line.size() < 64 + 1 + 64 + 1 + 20 + 2 || line[64] != ' ' || line[129] != ' ' || line[150] != ' ') return false;
    e.keyDigest.assign(line.substr(0, 64));
    e.messageDigest.assign(line.substr(65, 64));
    e.date.assign(line.substr(130, 20));
    std::tm tm{};
    return IsHex64(e.keyDigest) && IsHex64(e.messageDigest) && ParseLedgerDate(e.date, tm) &&
           Unescape(line.substr(151), e.file) && !e.file.empty();
}

UsedKeys ReadUsedKeys(const std::string& path) {
    UsedKeys ledger;
    std::string bytes, reason;
    if (!ReadLedgerBytes(path, bytes, reason)) {
        ledger.readable = false;
        ledger.warning = "cannot read the used-key ledger " + path + ": " + reason +
                         "; keys used before are not checked, and this use is not recorded";
        return ledger;
    }
    for (std::string_view line : SplitLines(bytes)) {
        if (line.empty() || line[0] == '#') continue;
        UsedKeyEntry e;
        if (ParseLedgerLine(line, e)) ledger.entries.push_back(std::move(e));
        else ++ledger.damagedLines;
    }
    if (ledger.damagedLines > 0)
        ledger.warning = "the used-key ledger " + path + " has " + std::to_string(ledger.damagedLines) + " damaged " +
                         (ledger.damagedLines == 1 ? "line" : "lines") + "; the keys of the other lines are checked";
    return ledger;
}

const UsedKeyEntry* OtherMessageOfKey(const UsedKeys& ledger, const std::string& keyDigest,
                                      const std::string& messageDigest) {
    const UsedKeyEntry* earliest = nullptr;
    for (const auto& e : ledger.entries)
        if (e.keyDigest == keyDigest && e.messageDigest != messageDigest && (!earliest || e.date < earliest->date))
            earliest = &e;
    return earliest;
}

std::string RecordKeyUse(const std::string& path, const UsedKeyEntry& entry) {
    return RewriteLedger(path, [&](std::vector<std::string>& lines) {
        lines.push_back(LedgerLine(entry));
        return true;
    });
}

std::string ForgetKey(const std::string& path, const std::string& keyDigest, int& removed) {
    removed = 0;
    if (!FileExists(path)) return {};
    return RewriteLedger(path, [&](std::vector<std::string>& lines) {
        std::vector<std::string> kept;
        for (auto& line : lines) {
            UsedKeyEntry e;
            if (ParseLedgerLine(line, e) && e.keyDigest == keyDigest) ++removed;
            else kept.push_back(std::move(line));
        }
        lines.swap(kept);
        return removed > 0;
    });
}

std::string LedgerDateNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

std::string LocalLedgerDate(const std::string& date) {
    std::tm tm{};
    if (!ParseLedgerDate(date, tm)) return date;
    const std::time_t t = timegm(&tm);
    std::tm local{};
    if (!localtime_r(&t, &local)) return date;
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", &local);
    return buf;
}

std::u16string KeyReuseQuestion(const UsedKeyEntry& entry) {
    return std::u16string(encrypt_texts::kKeyReuseOn) + Utf8ToText(LocalLedgerDate(entry.date)) + u" (" +
           Utf8ToText(entry.file) + std::u16string(encrypt_texts::kKeyReuseRisk);
}

}  // namespace corvane
