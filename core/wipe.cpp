#include "core/wipe.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "core/code_page.hpp"
#include "core/number_format.hpp"

namespace corvane {
namespace {

// Each pass goes through the file in pieces of this size, so that a file of
// any length is wiped without holding it in memory at once.
constexpr size_t kChunk = size_t{1} << 20;

// Reads and writes exactly buf.size() bytes at `offset`.
bool ReadAt(int fd, std::vector<unsigned char>& buf, off_t offset) {
    size_t done = 0;
    while (done < buf.size()) {
        const ssize_t n = pread(fd, buf.data() + done, buf.size() - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool WriteAt(int fd, const std::vector<unsigned char>& buf, off_t offset) {
    size_t done = 0;
    while (done < buf.size()) {
        const ssize_t n = pwrite(fd, buf.data() + done, buf.size() - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string Describe(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

// The refusal for what stat found, or empty.
std::string Refusal(const std::string& path, const struct stat& st) {
    if (!S_ISREG(st.st_mode)) return "Cannot wipe " + path + ": not a regular file";
    if (st.st_nlink > 1)
        return "Cannot wipe " + path + ": the file has " + std::to_string(st.st_nlink) +
               " names (hard links), and wiping it would destroy the data under " +
               (st.st_nlink == 2 ? "its other name" : "its other names") + " too";
    return {};
}

// One pass over the file at `path`: every byte replaced by a draw, then
// flushed to the disk. The reason of a failure, or empty.
std::string OverwriteOnce(const std::string& path, SequenceRandom& rng) {
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return Describe("Cannot open for wiping", path);
    std::string error;
    struct stat now{};
    if (fstat(fd, &now) != 0) {
        error = Describe("Cannot wipe", path);
    } else {
        // A name may have been added, or the file replaced, since the first look.
        error = Refusal(path, now);
    }
    std::vector<unsigned char> buf;
    for (off_t offset = 0; error.empty() && offset < now.st_size; offset += static_cast<off_t>(buf.size())) {
        buf.resize(static_cast<size_t>(std::min<off_t>(now.st_size - offset, static_cast<off_t>(kChunk))));
        if (!ReadAt(fd, buf, offset)) {
            error = Describe("Cannot read while wiping", path);
            break;
        }
        for (unsigned char& b : buf) b = static_cast<unsigned char>(Nearest(static_cast<double>(rng.Next()) * 255.0));
        if (!WriteAt(fd, buf, offset)) error = Describe("Cannot write while wiping", path);
    }
    if (error.empty() && fsync(fd) != 0) error = Describe("Cannot write while wiping", path);
    close(fd);
    return error;
}

}  // namespace

WipeResult WipeFile(const std::string& path, int passes, SequenceRandom& rng,
                    const std::function<void()>& betweenPasses) {
    WipeResult result;
    struct stat st{};
    if (lstat(path.c_str(), &st) != 0) {
        result.error = Describe("Cannot wipe", path);
        return result;
    }
    if (result.error = Refusal(path, st); !result.error.empty()) return result;
    for (int pass = 1; pass <= passes && st.st_size > 0; ++pass) {
        if (result.error = OverwriteOnce(path, rng); !result.error.empty()) return result;
        result.passesDone = pass;
        if (betweenPasses) betweenPasses();
    }
    if (unlink(path.c_str()) != 0) {
        result.error = Describe("Overwritten but cannot delete", path);
        return result;
    }
    result.deleted = true;
    return result;
}

std::string WipeRefusal(const std::string& path) {
    struct stat st{};
    if (lstat(path.c_str(), &st) != 0) return {};
    return Refusal(path, st);
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa{}, sb{};
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool WipeUsedFile(const std::string& path, std::u16string_view heading, SequenceRandom& rng, Reporter& reporter,
                  std::string& error) {
    reporter.Log(heading);
    const WipeResult result = WipeFile(path, kWipePasses, rng, [&] { reporter.WipePassDone(); });
    if (result.ok()) {
        reporter.Log(u"Complete.");
        return true;
    }
    error = result.error.empty() ? "Cannot wipe " + path : result.error;
    reporter.Log(u"Wipe Unsuccessful: " + Utf8ToText(error));
    return false;
}

}  // namespace corvane
