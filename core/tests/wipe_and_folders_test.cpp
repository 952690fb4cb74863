#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "core/number_format.hpp"
#include "core/platform.hpp"
#include "core/wipe.hpp"
#include "test_support.hpp"

namespace corvane {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

TEST(Wipe, OverwritesEveryPassThenDeletes) {
    TempFolder dir;
    const std::string path = dir / "secret.bin";
    WriteBytes(path, "0123456789");
    SequenceRandom rng;
    rng.SetState(0x123456);
    SequenceRandom copy = rng;
    int calls = 0;
    const WipeResult r = WipeFile(path, 7, rng, [&] { ++calls; });
    EXPECT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.passesDone, 7);
    EXPECT_EQ(calls, 7);
    EXPECT_FALSE(FileExists(path));
    // Seventy draws: ten bytes in each of seven passes.
    for (int i = 0; i < 70; ++i) copy.Next();
    EXPECT_EQ(copy.State(), rng.State());
}

TEST(Wipe, FileHoldsTheLastPassBeforeItIsDeleted) {
    TempFolder dir;
    const std::string path = dir / "f.bin";
    // Larger than the piece a pass works through at once: the bytes must
    // still follow the sequence across the seam.
    const size_t size = (size_t{1} << 20) + 10;
    WriteBytes(path, std::string(size, 'k'));
    // A second name keeps the content readable after the wipe deletes the first.
    const std::string keep = dir / "keep";
    ASSERT_EQ(link(path.c_str(), keep.c_str()), 0);
    SequenceRandom rng;
    SequenceRandom copy = rng;
    ASSERT_TRUE(WipeFile(path, 2, rng).ok());
    for (size_t i = 0; i < size; ++i) copy.Next();
    std::string expect;
    for (size_t i = 0; i < size; ++i) expect.push_back(static_cast<char>(Nearest(copy.Next() * 255.0)));
    EXPECT_TRUE(ReadBytes(keep) == expect);
    EXPECT_EQ(copy.State(), rng.State());
}

TEST(Wipe, BytesRoundHalfToEven) {
    TempFolder dir;
    const std::string path = dir / "f.bin";
    // Find a state whose next value is exactly one half: 127.5 must give 128.
    SequenceRandom probe;
    uint32_t state = 0;
    for (uint32_t s = 0; s < (1u << 24); ++s) {
        probe.SetState(s);
        if (probe.Next() == 0.5f) {
            state = s;
            break;
        }
    }
    WriteBytes(path, "x");
    SequenceRandom rng;
    rng.SetState(state);
    const std::string keep = dir / "keep";
    ASSERT_EQ(link(path.c_str(), keep.c_str()), 0);  // the content stays readable after the delete
    EXPECT_TRUE(WipeFile(path, 1, rng).ok());
    EXPECT_EQ(static_cast<uint8_t>(ReadBytes(keep)[0]), 128);
}

TEST(Wipe, FailuresAreReportedNotThrown) {
    TempFolder dir;
    SequenceRandom rng;
    WipeResult r = WipeFile(dir / "missing", 7, rng);
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.error.find("missing"), std::string::npos);
    r = WipeFile(dir.path(), 7, rng);  // a folder
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(FileExists(dir.path()));

    const std::string empty = dir / "empty";
    WriteBytes(empty, "");
    const uint32_t before = rng.State();
    EXPECT_TRUE(WipeFile(empty, 7, rng).ok());
    EXPECT_FALSE(FileExists(empty));
    EXPECT_EQ(rng.State(), before);

    if (geteuid() != 0) {
        const std::string ro = dir / "ro";
        WriteBytes(ro, "abc");
        chmod(ro.c_str(), 0400);
        r = WipeFile(ro, 7, rng);
        EXPECT_FALSE(r.ok());
        EXPECT_EQ(ReadBytes(ro), "abc");
    }
}

TEST(Folders, CreateWholePathAndJoin) {
    TempFolder dir;
    const std::string deep = dir / "a/b/c";
    EXPECT_TRUE(CreateFolders(deep, 0700));
    EXPECT_TRUE(IsWritableFolder(deep));
    struct stat st{};
    ASSERT_EQ(stat(deep.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(CreateFolders(deep));  // existing is fine
    WriteBytes(dir / "file", "x");
    EXPECT_FALSE(CreateFolders(dir / "file/sub"));
    EXPECT_EQ(JoinPath("/x/", "Keys"), "/x/Keys");
    EXPECT_EQ(JoinPath("/x", "Keys"), "/x/Keys");
}

TEST(Folders, WorkingRootFallsBackWhenNotWritable) {
    TempFolder dir;
    WriteBytes(dir / kBuildTreeMarker, "");
    const std::string root = PrepareWorkingRoot(dir.path(), {kImagesFolder, kKeysFolder, kEncryptedFolder});
    EXPECT_EQ(root, dir.path());
    EXPECT_TRUE(IsWritableFolder(dir / "Encrypted Images"));
    EXPECT_TRUE(IsWritableFolder(dir / "Keys"));
    const std::string fb = FallbackRoot();
    EXPECT_EQ(fb.substr(fb.size() - 9), "/Corvane/");
    // A folder that is not there cannot be written: the fallback root it is.
    EXPECT_EQ(WorkingRoot(dir / "missing"), fb.substr(0, fb.size() - 1));
    EXPECT_FALSE(FileExists(dir / "missing"));
    EXPECT_FALSE(ApplicationFolder().empty());
    EXPECT_NE(ApplicationFolder().back(), '/');
}

TEST(Clock, TickCountAdvances) {
    const int32_t a = TickCount();
    usleep(20000);
    const int32_t b = TickCount();
    EXPECT_GE(static_cast<int64_t>(static_cast<uint32_t>(b - a)), 15);
    const double t = TimerSeconds();
    EXPECT_GE(t, 0.0);
    EXPECT_LT(t, 86401.0);
}

}  // namespace
}  // namespace corvane
