#include "core/testing_hooks.hpp"
#include "core/safe_file.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/image_decoder.hpp"
#include "core/image_file.hpp"
#include "test_support.hpp"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testing::RandomGrid;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// Both ways of making the file: unnamed where the file system allows it,
// a hidden named file where it does not.
class SafeFileTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { UseNamedTemporariesForTesting(GetParam()); }
    void TearDown() override { UseNamedTemporariesForTesting(false); }
    TempFolder dir_;
};

INSTANTIATE_TEST_SUITE_P(Temporaries, SafeFileTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Named" : "Unnamed"; });

TEST_P(SafeFileTest, NameAppearsOnlyWhenTheFileIsWhole) {
    SafeFile file;
    ASSERT_TRUE(file.Create(dir_ / "a.bin", FileAccess::Shared));
    ASSERT_TRUE(file.Write("hello "));
    EXPECT_FALSE(fs::exists(dir_ / "a.bin"));
    ASSERT_TRUE(file.Write("world"));
    // Codecs go back to fill in lengths.
    ASSERT_TRUE(file.Seek(0));
    ASSERT_TRUE(file.Write("H"));
    EXPECT_EQ(file.Size(), 11u);
    EXPECT_EQ(file.Commit(), SaveStatus::Saved);
    EXPECT_EQ(ReadBytes(dir_ / "a.bin"), "Hello world");
    EXPECT_EQ(Entries(dir_.path()), std::vector<std::string>{"a.bin"});
}

TEST_P(SafeFileTest, DiscardedOrAbandonedFilesLeaveNothing) {
    {
        SafeFile file;
        ASSERT_TRUE(file.Create(dir_ / "a.bin", FileAccess::Shared));
        ASSERT_TRUE(file.Write("partial"));
    }
    SafeFile file;
    ASSERT_TRUE(file.Create(dir_ / "b.bin", FileAccess::Shared));
    ASSERT_TRUE(file.Write("partial"));
    file.Discard();
    EXPECT_TRUE(Entries(dir_.path()).empty());
}

TEST_P(SafeFileTest, ModesAreSetOnTheFileItself) {
    const mode_t old = umask(027);
    EXPECT_EQ(WriteFileSafely(dir_ / "shared", "x", FileAccess::Shared), SaveStatus::Saved);
    umask(0);
    // A private file stays private whatever the umask.
    EXPECT_EQ(WriteFileSafely(dir_ / "private", "x", FileAccess::Private), SaveStatus::Saved);
    EXPECT_EQ(WriteFileSafely(dir_ / "open", "x", FileAccess::Shared), SaveStatus::Saved);
    umask(077);
    EXPECT_EQ(WriteFileSafely(dir_ / "closed", "x", FileAccess::Shared), SaveStatus::Saved);
    umask(old);
    EXPECT_EQ(ModeOf(dir_ / "shared"), 0640u);
    EXPECT_EQ(ModeOf(dir_ / "private"), 0600u);
    EXPECT_EQ(ModeOf(dir_ / "open"), 0666u);
    EXPECT_EQ(ModeOf(dir_ / "closed"), 0600u);
}

TEST_P(SafeFileTest, ExistingNamesAndLinksAreNeverReplacedOrFollowed) {
    const std::string victim = dir_ / "victim";
    WriteBytes(victim, "secret");
    ASSERT_EQ(chmod(victim.c_str(), 0600), 0);
    WriteBytes(dir_ / "taken", "old");
    ASSERT_EQ(symlink(victim.c_str(), (dir_ / "link").c_str()), 0);
    ASSERT_EQ(symlink((dir_ / "nowhere").c_str(), (dir_ / "dangling").c_str()), 0);
    for (const char* name : {"taken", "link", "dangling"}) {
        std::string reason;
        EXPECT_EQ(WriteFileSafely(dir_ / name, "image", FileAccess::Shared, false, &reason), SaveStatus::AlreadyExists)
            << name;
        EXPECT_EQ(reason, "File exists");
    }
    EXPECT_EQ(ReadBytes(victim), "secret");
    EXPECT_EQ(ModeOf(victim), 0600u);
    EXPECT_EQ(ReadBytes(dir_ / "taken"), "old");
    EXPECT_FALSE(fs::exists(dir_ / "nowhere"));
    // Replacing is for regular files only: a link stays a link.
    EXPECT_EQ(WriteFileSafely(dir_ / "taken", "new", FileAccess::Shared, true), SaveStatus::Saved);
    EXPECT_EQ(ReadBytes(dir_ / "taken"), "new");
    EXPECT_EQ(WriteFileSafely(dir_ / "link", "image", FileAccess::Shared, true), SaveStatus::Failed);
    EXPECT_TRUE(fs::is_symlink(dir_ / "link"));
    EXPECT_EQ(ReadBytes(victim), "secret");
    EXPECT_EQ(Entries(dir_.path()), (std::vector<std::string>{"dangling", "link", "taken", "victim"}));
}

TEST_P(SafeFileTest, FailedWritesFailTheSaveWithTheSystemsReason) {
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 1000;
    SafeFile file;
    ASSERT_TRUE(file.Create(dir_ / "big.bin", FileAccess::Shared));
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string chunk(600, 'x');
    EXPECT_TRUE(file.Write(chunk));
    EXPECT_FALSE(file.Write(chunk));
    // The failure sticks, even for writes that would fit again.
    ASSERT_TRUE(file.Seek(0));
    EXPECT_FALSE(file.Write("y"));
    const SaveStatus status = file.Commit();
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(status, SaveStatus::Failed);
    EXPECT_EQ(file.error(), "File too large");
    EXPECT_TRUE(Entries(dir_.path()).empty());

    std::string reason;
    EXPECT_EQ(WriteFileSafely(dir_ / "missing/x", "x", FileAccess::Shared, false, &reason), SaveStatus::Failed);
    EXPECT_EQ(reason, "No such file or directory");
    EXPECT_EQ(WriteFileSafely(dir_.path() + "/", "x", FileAccess::Shared, false, &reason), SaveStatus::Failed);
    EXPECT_EQ(WriteFileSafely(dir_ / std::string(300, 'n'), "x", FileAccess::Shared, false, &reason),
              SaveStatus::Failed);
    EXPECT_EQ(reason, "File name too long");
}

TEST_P(SafeFileTest, ReadOnlyFolderIsRefusedUpFront) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    ASSERT_EQ(chmod(dir_.path().c_str(), 0500), 0);
    std::string reason;
    EXPECT_EQ(WriteFileSafely(dir_ / "a", "x", FileAccess::Shared, false, &reason), SaveStatus::Failed);
    chmod(dir_.path().c_str(), 0700);
    EXPECT_EQ(reason, "Permission denied");
}

// Someone who can write to the folder swaps the hidden name for a link to a
// file of theirs choosing, between our creating it and naming it.
TEST(SafeFileNamed, SwappedTemporaryIsNeitherFollowedNorNamed) {
    TempFolder dir;
    UseNamedTemporariesForTesting(true);
    const std::string victim = dir / "victim";
    WriteBytes(victim, "secret");
    ASSERT_EQ(chmod(victim.c_str(), 0600), 0);
    SafeFile file;
    ASSERT_TRUE(file.Create(dir / "out.png", FileAccess::Shared));
    UseNamedTemporariesForTesting(false);
    std::string hidden;
    for (const std::string& name : Entries(dir.path()))
        if (name.rfind(".corvane-save-", 0) == 0) hidden = name;
    ASSERT_FALSE(hidden.empty());
    ASSERT_EQ(unlink((dir / hidden).c_str()), 0);
    ASSERT_EQ(symlink(victim.c_str(), (dir / hidden).c_str()), 0);
    EXPECT_TRUE(file.Write("image bytes"));
    EXPECT_EQ(file.Commit(), SaveStatus::Failed);
    EXPECT_EQ(ReadBytes(victim), "secret");
    EXPECT_EQ(ModeOf(victim), 0600u);
    EXPECT_FALSE(fs::exists(dir / "out.png"));
}

// A program stopped while saving leaves no hidden file behind.
TEST(SafeFileNamed, TemporaryIsRemovedOnTermination) {
    TempFolder dir;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            UseNamedTemporariesForTesting(true);
            SafeFile file;
            if (!file.Create(dir / "key.png", FileAccess::Private) || !file.Write("half a key")) _exit(3);
            raise(sig);
            _exit(4);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << sig;
        EXPECT_EQ(WTERMSIG(status), sig);
        EXPECT_TRUE(Entries(dir.path()).empty()) << sig;
    }
}

// Killed outright, where no handler runs: an unnamed file simply goes.
TEST(SafeFileUnnamed, NothingRemainsAfterKill) {
    TempFolder dir;
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        SafeFile file;
        if (!file.Create(dir / "key.png", FileAccess::Private) || !file.Write("half a key")) _exit(3);
        raise(SIGKILL);
        _exit(4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(Entries(dir.path()).empty());
}

// Every image format fails as a whole when the disk fills up part way, and
// every codec returns (the JPEG 2000 writer used to retry for ever).
TEST(SaveGridFile, EveryFormatFailsWholeWhenWritesFail) {
    TempFolder dir;
    const PixelGrid grid = RandomGrid(96, 64, 4);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 2048;
    for (OutputKind kind : {OutputKind::Key, OutputKind::Png, OutputKind::Bmp, OutputKind::Jp2, OutputKind::Jxr,
                            OutputKind::J2k, OutputKind::Tif, OutputKind::Webp}) {
        const std::string path = dir / (std::string("out") + OutputEnding(kind));
        std::string reason;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        const SaveStatus status = SaveGridFile(grid, kind, path, {}, &reason);
        setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_EQ(status, SaveStatus::Failed) << path;
        EXPECT_EQ(reason, "File too large") << path;
        EXPECT_TRUE(Entries(dir.path()).empty()) << path;
    }
}

TEST(SaveGridFile, ReadBackCheckFailsTheSaveWhenTheFileDoesNotDecode) {
    TempFolder dir;
    const PixelGrid grid = RandomGrid(40, 30, 5);
    SaveOptions options;
    options.verify = true;
    EXPECT_EQ(SaveGridFile(grid, OutputKind::Jxr, dir / "good.jxr", options), SaveStatus::Saved);
    SetDecoderFaultForTesting("crash");
    std::string reason;
    const SaveStatus status = SaveGridFile(grid, OutputKind::Png, dir / "bad.png", options, &reason);
    SetDecoderFaultForTesting("");
    EXPECT_EQ(status, SaveStatus::Failed);
    EXPECT_EQ(reason, kSavedImageDoesNotReadBack);
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"good.jxr"});
}

}  // namespace
}  // namespace corvane
