#include "core/image_decoder.hpp"
#include "core/testing_hooks.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <system_error>
#include <vector>

#include "core/code_page.hpp"
#include "core/decoder_protocol.hpp"
#include "core/image_decode.hpp"
#include "core/mfree_image.hpp"
#include "core/platform.hpp"

extern char** environ;

namespace corvane {
namespace {

using Clock = std::chrono::steady_clock;
using decoder::Reply;
using decoder::Stage;
using decoder::Status;

std::mutex g_hookMutex;
std::string g_program;  // set by SetDecoderProgram
std::string g_fault;
std::chrono::milliseconds g_timeLimit{0};

// A header is read in well under a second; a decode gets half a minute plus
// two seconds a megapixel (a healthy one takes a tenth of that).
constexpr std::chrono::seconds kHeaderTime{20};
// The pixels made ready before the decoder confirms the header's size.
constexpr uint64_t kEarlyPixels = uint64_t{16} << 20;
std::chrono::milliseconds DecodeTime(int w, int h) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    if (g_timeLimit.count() > 0) return g_timeLimit;
    return std::chrono::seconds(30 + 2 * (static_cast<int64_t>(w) * h / 1000000));
}

std::string DecoderProgram() {
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        if (!g_program.empty()) return g_program;
    }
    // Beside the running program when built; in the private helper folder
    // when installed.
    const std::string folder = ApplicationFolder();
    for (const std::string& candidate :
         {JoinPath(folder, "corvane-decode"), JoinPath(folder, "../libexec/corvane/corvane-decode")})
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    return JoinPath(folder, "corvane-decode");
}

std::string SystemReason(int error) { return std::generic_category().message(error); }

// Moves a descriptor above the standard ones, so that arranging the child's
// descriptors 0 to 3 cannot overwrite it.
int HighDescriptor(int fd) {
    if (fd < 0 || fd > 9) return fd;
    const int high = fcntl(fd, F_DUPFD_CLOEXEC, 10);
    close(fd);
    return high;
}

}  // namespace

void SetDecoderProgram(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_program = path;
}

void SetDecoderFaultForTesting(const std::string& fault) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_fault = fault;
}

void SetDecoderTimeLimitForTesting(std::chrono::milliseconds limit) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_timeLimit = limit;
}

ImageReader::~ImageReader() { Stop(); }

bool ImageReader::Open(const std::string& path, LoadRule rule) { return Start(path, rule) && WaitForHeader(); }

bool ImageReader::OpenDescriptor(int fd, LoadRule rule) { return StartDescriptor(fd, rule) && WaitForHeader(); }

bool ImageReader::Start(const std::string& path, LoadRule rule) {
    Stop();
    error_.clear();
    // Not blocking, so that a named pipe given as an image cannot stall us.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return Fail(SystemReason(errno));
    const bool ok = StartDescriptor(fd, rule);
    close(fd);
    return ok;
}

bool ImageReader::StartDescriptor(int fd, LoadRule rule) {
    Stop();
    error_.clear();
    struct stat st {};
    if (fstat(fd, &st) != 0) return Fail(SystemReason(errno));
    if (S_ISDIR(st.st_mode)) return Fail(SystemReason(EISDIR));
    if (!S_ISREG(st.st_mode)) return Fail("not a regular file");
    if (st.st_size == 0) return Fail("the file is empty");
    if (static_cast<uint64_t>(st.st_size) > UINT32_MAX) return Fail("the file is larger than 4 GB");
    fileSize_ = static_cast<uint64_t>(st.st_size);
    cpuLimit_ = DecoderCpuSeconds(PixelBudget(FifOf(rule.format), fileSize_));
    return Spawn(fd, rule);
}

bool ImageReader::Spawn(int fd, LoadRule rule) {
    rule_ = rule;
    int sockets[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) return Fail(SystemReason(errno));
    // Room for a few bands of rows in the socket, so that the decoder seldom
    // waits for the program to take them.
    const int buffer = 4 << 20;
    setsockopt(sockets[0], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    setsockopt(sockets[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    channel_ = HighDescriptor(sockets[0]);
    const int childEnd = HighDescriptor(sockets[1]);
    const int image = HighDescriptor(fcntl(fd, F_DUPFD_CLOEXEC, 10));
    if (channel_ < 0 || childEnd < 0 || image < 0) {
        const int e = errno;
        if (childEnd >= 0) close(childEnd);
        if (image >= 0) close(image);
        return Fail(SystemReason(e));
    }

    const std::string program = DecoderProgram();
    std::string fault;
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        fault = g_fault;
    }
    std::string fif = std::to_string(static_cast<int>(FifOf(rule.format))), flags = std::to_string(rule.flags);
    std::vector<char*> argv = {const_cast<char*>(program.c_str()), fif.data(), flags.data()};
    if (!fault.empty()) argv.push_back(fault.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, image, decoder::kImageFd);
    posix_spawn_file_actions_adddup2(&actions, childEnd, decoder::kChannelFd);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // The decoder starts with every signal at its default and none blocked,
    // whatever the program has set for itself.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(childEnd);
    close(image);
    if (spawned != 0) return Fail("the image decoder could not be started: " + SystemReason(spawned));
    pid_ = pid;
    headerPending_ = true;
    return true;
}

bool ImageReader::WaitForHeader() {
    if (!headerPending_) return pid_ > 0;
    headerPending_ = false;
    Reply header{};
    if (!Receive(&header, sizeof header, Clock::now() + kHeaderTime) || header.stage != Stage::Header)
        return Fail(ReasonForEnd());
    if (header.status == Status::TooLarge) {
        const bool over = uint64_t{header.a} * header.b > kMaxImagePixels;
        return Fail(over ? "the image is larger than 256 megapixels" : "the image has no pixels");
    }
    if (header.status == Status::TooDense)
        return Fail("the file claims " + std::to_string(header.a) + " x " + std::to_string(header.b) +
                    " pixels, more than its " + std::to_string(fileSize_) + " bytes can hold");
    if (header.status == Status::TooManyScans)
        return Fail("the JPEG file has " + std::to_string(header.a) + " scans, more than " +
                    std::to_string(kMaxJpegScans) + " are decoded");
    if (header.status == Status::Failed) return Fail("the image decoder could not confine itself");
    if (header.status != Status::Ok) return Fail("not a readable " + FormatName(rule_) + " file");
    if (!ImageSizeAllowed(header.a, header.b)) return Fail("the image is larger than 256 megapixels");
    width_ = static_cast<int>(header.a);
    height_ = static_cast<int>(header.b);
    cpuLimit_ = DecoderCpuSeconds(uint64_t{header.a} * header.b);
    return true;
}

bool ImageReader::StartDecode() {
    if (!WaitForHeader()) return error_.empty() ? Fail("no image was opened") : false;
    if (decodeStarted_) return true;
    decodeStarted_ = true;
    decodeDeadline_ = Clock::now() + DecodeTime(width_, height_);
    return Send(&decoder::kGoDecode, 1) || Fail(ReasonForEnd());
}

bool ImageReader::Decode(PixelGrid& grid, std::u16string* comment) {
    grid = PixelGrid();
    if (!StartDecode()) return false;
    const auto deadline = decodeDeadline_;
    // While the decoder decodes, the memory for the pixels is made ready at
    // the size the header gave (almost always the decoded size); a header is
    // not trusted with more than a photo's worth before the decoder has shown
    // that the file holds an image.
    PixelGrid result;
    auto prepare = [&](int w, int h) {
        if (result.width == w && result.height == h) return true;
        try {
            result = PixelGrid(w, h);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    };
    if (uint64_t{static_cast<uint32_t>(width_)} * static_cast<uint32_t>(height_) <= kEarlyPixels &&
        !prepare(width_, height_))
        return Fail("not enough memory for the image");

    Reply decoded{};
    if (!Receive(&decoded, sizeof decoded, deadline) || decoded.stage != Stage::Decoded) return Fail(ReasonForEnd());
    switch (decoded.status) {
        case Status::Ok: break;
        case Status::OutOfMemory: return Fail("the decoder ran out of memory");
        case Status::TooLarge: return Fail("the decoded image is larger than its header says");
        default: return Fail("the image data is damaged");
    }
    if (!ImageSizeAllowed(decoded.a, decoded.b)) return Fail("the decoded image is larger than 256 megapixels");
    if (!prepare(static_cast<int>(decoded.a), static_cast<int>(decoded.b)))
        return Fail("not enough memory for the image");

    Reply copied{};
    if (!Send(&decoder::kGoCopy, 1) || !Receive(&copied, sizeof copied, deadline) || copied.stage != Stage::Copied)
        return Fail(ReasonForEnd());
    if (copied.status != Status::Ok || copied.a > decoder::kMaxCommentBytes) return Fail("the decoder failed");
    std::string commentBytes(copied.a, '\0');
    if (!Receive(commentBytes.data(), commentBytes.size(), deadline)) return Fail(ReasonForEnd());
    // The rows arrive straight in the grid, as the decoder converts them;
    // whatever it sent, the grid keeps its fourth byte clear, each piece
    // cleared while it is still in the cache.
    uint32_t* out = result.pixels.data();
    const size_t count = result.pixels.size();
    constexpr size_t kPiece = size_t{1} << 16;
    for (size_t at = 0; at < count; at += kPiece) {
        const size_t n = std::min(kPiece, count - at);
        if (!Receive(out + at, n * sizeof(uint32_t), deadline)) return Fail(ReasonForEnd());
        for (size_t i = at; i < at + n; ++i) out[i] &= 0xFFFFFFu;
    }
    grid = std::move(result);
    if (comment) *comment = AnsiToText(commentBytes);
    Stop();
    return true;
}

bool ImageReader::Send(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = send(channel_, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ImageReader::Receive(void* data, size_t size, Clock::time_point deadline) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            timedOut_ = true;
            return false;
        }
        pollfd pfd = {channel_, POLLIN, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(std::min<int64_t>(left, 60000)));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return false;
        if (ready == 0) continue;
        const ssize_t n = recv(channel_, p, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

std::string ImageReader::ReasonForEnd() {
    if (pid_ < 0) return "the decoder failed";
    int status = 0;
    pid_t done = 0;
    rusage usage{};
    if (!timedOut_) {
        // The decoder closed its end: it has ended or is about to.
        for (int i = 0; i < 200 && (done = wait4(pid_, &status, WNOHANG, &usage)) == 0; ++i) usleep(10000);
    }
    if (done <= 0) {
        kill(pid_, SIGKILL);
        while ((done = waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return timedOut_ ? "the decoder took too long" : "the decoder stopped answering";
    }
    pid_ = -1;
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return DecoderEndReason(status, seconds(usage.ru_utime) + seconds(usage.ru_stime), static_cast<double>(cpuLimit_));
}

std::string DecoderEndReason(int status, double cpuSeconds, double cpuLimit) {
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        // At its CPU limit the kernel ends the decoder with SIGKILL (its hard
        // and soft limits are one), as the out-of-memory killer would.
        if (sig == SIGXCPU || (sig == SIGKILL && cpuLimit > 0 && cpuSeconds >= cpuLimit - 0.25))
            return "the decoder took too long";
        if (sig == SIGSEGV || sig == SIGBUS || sig == SIGILL || sig == SIGFPE || sig == SIGABRT || sig == SIGTRAP)
            return "the decoder crashed";
        return "the decoder was stopped by signal " + std::to_string(sig);
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == decoder::kExitOutOfMemory) return "the decoder ran out of memory";
    // A sanitizer's report ends the process with status 1.
    if (WIFEXITED(status) && WEXITSTATUS(status) == 1) return "the decoder crashed";
    return "the decoder failed";
}

bool ImageReader::Fail(const std::string& reason) {
    error_ = reason;
    Stop();
    return false;
}

void ImageReader::Stop() {
    if (channel_ >= 0) close(channel_);
    channel_ = -1;
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    pid_ = -1;
    timedOut_ = false;
    headerPending_ = false;
    decodeStarted_ = false;
}

bool LoadGridAs(const std::string& path, LoadRule rule, PixelGrid& grid, std::u16string* comment, std::string* error) {
    ImageReader reader;
    const bool ok = reader.Open(path, rule) && reader.Decode(grid, comment);
    if (!ok) {
        grid = PixelGrid();
        if (comment) comment->clear();
        if (error) *error = reader.error();
    }
    return ok;
}

bool LoadGrid(const std::string& path, PixelGrid& grid, std::string* error) {
    return LoadGridAs(path, LoadRuleForPath(path), grid, nullptr, error);
}

bool LoadKeyGrid(const std::string& path, PixelGrid& grid, std::u16string& comment, std::string* error) {
    return LoadGridAs(path, kKeyLoadRule, grid, &comment, error);
}

}  // namespace corvane
