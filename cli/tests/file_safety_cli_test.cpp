// The commands when files fail them: a disk that fills up, damaged or
// hostile images, a key that is no key. Whatever happens, a file either
// exists whole under its name or not at all, nothing is left behind, and
// nothing is wiped that was not safely saved.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cli_test_support.hpp"
#include "core/image_decoder.hpp"
#include "core/image_file.hpp"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testing::Outcome;
using testing::PhotoPath;
using testing::RandomGrid;
using testing::ReadBytes;
using testing::RunCorvane;
using testing::RunCorvaneThrough;
using testing::RunCorvaneWithFileLimit;
using testing::TempFolder;
using testing::TestImagePath;

std::string MakeKey(const std::string& path, int w, int h) {
    SaveOptions options;
    options.comment = u"<Ab3$dEf6!h><JkL9mN0pQr><01>";
    options.access = FileAccess::Private;
    EXPECT_EQ(SaveGridFile(RandomGrid(w, h, 17), OutputKind::Key, path, options), SaveStatus::Saved);
    return path;
}

// Every entry of a folder (hidden ones too) with its bytes.
std::map<std::string, std::string> Contents(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(folder))
        files[e.path().filename().string()] = e.is_regular_file() ? ReadBytes(e.path()) : "<not a file>";
    return files;
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 0777;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A carrier and a key in a folder of their own, to be wiped after saving.
struct Inputs {
    TempFolder dir;
    std::string carrier = dir / "carrier.png";
    std::string key = dir / "key.png";
    Inputs() {
        fs::copy_file(PhotoPath("coffee.png"), carrier);
        MakeKey(key, 600, 400);
    }
};

TEST(DiskFull, EveryOutputFormatFailsWholeAndWipesNothing) {
    Inputs in;
    const auto before = Contents(in.dir.path());
    for (const char* format : {"png", "bmp", "jp2", "jxr", "j2k", "tif", "webp"}) {
        const std::string out = in.dir / (std::string("out.") + format);
        const Outcome o = RunCorvaneWithFileLimit(64 * 1024, {"encrypt", "--carrier", in.carrier, "--key", in.key,
                                                               "--message", "hi", "--output", out, "--wipe-key",
                                                               "--wipe-carrier"});
        EXPECT_EQ(o.status, 1) << format << "\n" << o.err;
        EXPECT_TRUE(Contains(o.err, "Encrypted Image Not Saved: " + out + ": File too large")) << o.err;
        EXPECT_TRUE(Contains(o.err, "Nothing was wiped.")) << o.err;
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(Contents(in.dir.path()), before) << format;
    }
}

TEST(DiskFull, DecryptedMessageFileIsWholeOrAbsentAndPrivate) {
    Inputs in;
    std::string message;
    for (int i = 0; i < 600; ++i) message += "\xE7\xA7\x98\xE5\xAF\x86 letter " + std::to_string(i) + "\n";
    const std::string image = in.dir / "image.png";
    ASSERT_EQ(RunCorvane({"encrypt", "--carrier", in.carrier, "--key", in.key, "--message", message, "--output",
                          image})
                  .status,
              0);
    const auto before = Contents(in.dir.path());
    const std::string text = in.dir / "message.txt";
    const Outcome full = RunCorvaneWithFileLimit(
        4096, {"decrypt", "--image", image, "--key", in.key, "--output", text, "--wipe-key", "--wipe-image"});
    EXPECT_EQ(full.status, 1) << full.err;
    EXPECT_TRUE(Contains(full.err, "cannot write " + text + ": File too large")) << full.err;
    EXPECT_EQ(Contents(in.dir.path()), before);

    const Outcome ok = RunCorvaneThrough({"sh", "-c", "umask 0 && exec \"$0\" \"$@\""},
                                         {"decrypt", "--image", image, "--key", in.key, "--output", text});
    ASSERT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(ReadBytes(text), message);
    EXPECT_EQ(ModeOf(text), 0600u);
}

TEST(DiskFull, EncryptedImagesFollowTheUmask) {
    Inputs in;
    for (const auto& [mask, mode] : std::vector<std::pair<std::string, mode_t>>{{"077", 0600}, {"027", 0640},
                                                                                 {"0", 0666}}) {
        const std::string out = in.dir / ("out-" + mask + ".png");
        const Outcome o = RunCorvaneThrough({"sh", "-c", "umask " + mask + " && exec \"$0\" \"$@\""},
                                            {"encrypt", "--carrier", in.carrier, "--key", in.key, "--message", "hi",
                                             "--output", out});
        ASSERT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(ModeOf(out), mode) << mask;
    }
}

// A real full disk, where the tests may mount one.
TEST(DiskFull, SmallFileSystemAsRoot) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
    Inputs in;
    const std::string full = in.dir / "full";
    fs::create_directory(full);
    if (mount("tmpfs", full.c_str(), "tmpfs", 0, "size=300k") != 0) GTEST_SKIP() << "cannot mount a tmpfs here";
    const auto before = Contents(in.dir.path());
    const Outcome o = RunCorvane({"encrypt", "--carrier", in.carrier, "--key", in.key, "--message", "hi", "--output",
                                  full + "/o.png", "--wipe-key", "--wipe-carrier"});
    const auto inFull = Contents(full);
    umount(full.c_str());
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_TRUE(Contains(o.err, "No space left on device")) << o.err;
    EXPECT_TRUE(inFull.empty());
    EXPECT_EQ(Contents(in.dir.path()), before);
}

TEST(HostileImages, DamagedCarrierIsAFailedLoadAndWipesNothing) {
    Inputs in;
    const std::string carrier = in.dir / "cut.psd";
    fs::copy_file(TestImagePath("cut-short.psd"), carrier);
    const auto before = Contents(in.dir.path());
    const Outcome o = RunCorvane({"encrypt", "--carrier", carrier, "--key", in.key, "--message", "hi", "--output",
                                  in.dir / "o.png", "--wipe-key", "--wipe-carrier"});
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(Contains(o.err, "cannot load the carrier image " + carrier + ": the decoder crashed")) << o.err;
    EXPECT_EQ(Contents(in.dir.path()), before);
    const Outcome rate = RunCorvane({"rate", "--carrier", carrier});
    const Outcome analyze = RunCorvane({"analyze", "--image", carrier, "--lsb-out", in.dir / "lsb.png"});
    for (const Outcome& a : {rate, analyze}) {
        EXPECT_EQ(a.status, 1) << a.err;
        EXPECT_TRUE(Contains(a.err, "the decoder crashed")) << a.err;
    }
    EXPECT_EQ(Contents(in.dir.path()), before);
}

TEST(HostileImages, KeySmallerThanAHugeImageIsRefusedBeforeDecoding) {
    Inputs in;
    // A small JPEG 2000 file whose header claims 4000 x 4000: as many pixels
    // as the decode budget lets any file claim, far more than the key has.
    ASSERT_TRUE(SaveGrid(RandomGrid(40, 36, 3), OutputKind::Jp2, in.dir / "a.jp2"));
    std::string jp2 = ReadBytes(in.dir / "a.jp2");
    const size_t ihdr = jp2.find("ihdr");
    ASSERT_NE(ihdr, std::string::npos);
    jp2.replace(ihdr + 4, 8, std::string("\x00\x00\x0F\xA0\x00\x00\x0F\xA0", 8));
    testing::WriteBytes(in.dir / "huge.jp2", jp2);
    const auto start = std::chrono::steady_clock::now();
    const Outcome o = RunCorvane({"decrypt", "--image", in.dir / "huge.jp2", "--key", in.key, "--wipe-key"});
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(Contains(o.err, "Key Pixel Width Too Small.")) << o.err;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(fs::exists(in.key));
    // The encryptor checks the same before decoding the carrier.
    const Outcome e = RunCorvane({"encrypt", "--carrier", in.dir / "huge.jp2", "--key", in.key, "--message", "hi",
                                  "--output", in.dir / "o.png"});
    EXPECT_EQ(e.status, 1);
    EXPECT_TRUE(Contains(e.err, "Key Pixel Width Too Small.")) << e.err;
}

TEST(KeyCheck, PhotoAsKeyIsUsedWithAWarning) {
    TempFolder dir;
    SaveOptions options;
    options.comment = u"<Ab3$dEf6!h><JkL9mN0pQr><01>";
    PixelGrid photo;
    ASSERT_TRUE(LoadGrid(PhotoPath("astronaut.png"), photo));
    ASSERT_EQ(SaveGridFile(photo, OutputKind::Key, dir / "photo-key.png", options), SaveStatus::Saved);
    const std::string warning = "Key image does not look random; it does not protect the message.";
    const Outcome photoKey = RunCorvane({"encrypt", "--carrier", PhotoPath("astronaut.png"), "--key",
                                         dir / "photo-key.png", "--message", "hi", "--output", dir / "a.png"});
    EXPECT_EQ(photoKey.status, 0) << photoKey.err;
    EXPECT_TRUE(Contains(photoKey.err, "warning: " + warning)) << photoKey.err;
    EXPECT_TRUE(fs::exists(dir / "a.png"));

    const std::string key = MakeKey(dir / "key.png", 512, 512);
    const Outcome randomKey = RunCorvane({"encrypt", "--carrier", PhotoPath("astronaut.png"), "--key", key,
                                          "--message", "hi", "--output", dir / "b.png"});
    EXPECT_EQ(randomKey.status, 0) << randomKey.err;
    EXPECT_FALSE(Contains(randomKey.err, warning)) << randomKey.err;
}

TEST(CommandLine, EmptyNamesAndOverlongPrefixesAreUsageErrors) {
    Inputs in;
    const auto before = Contents(in.dir.path());
    const std::vector<std::vector<std::string>> calls = {
        {"encrypt", "--carrier", in.carrier, "--key", in.key, "--message", "hi", "--output="},
        {"encrypt", "--carrier", in.carrier, "--key", in.key, "--message", "hi", "--root="},
        {"encrypt", "--carrier", in.carrier, "--key", in.key, "--message", "hi", "--root", in.dir.path(), "--prefix",
         std::string(250, 'p')},
        {"keygen", "--root="},
        {"decrypt", "--image", in.carrier, "--key", in.key, "--output="},
    };
    for (const auto& call : calls) {
        const Outcome o = RunCorvane(call);
        EXPECT_EQ(o.status, 2) << call.back() << "\n" << o.err;
    }
    EXPECT_EQ(Contents(in.dir.path()), before);
}

}  // namespace
}  // namespace corvane
