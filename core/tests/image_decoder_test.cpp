#include "core/testing_hooks.hpp"
#include "core/image_decoder.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "core/image_file.hpp"
#include "test_support.hpp"

namespace corvane {
namespace {

using testing::RandomGrid;
using testing::ReadBytes;
using testing::TempFolder;
using testing::TestImagePath;
using testing::WriteBytes;

// No decoder process may outlive its reader.
void ExpectNoDecoderLeft() {
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

class DecoderFault : public ::testing::Test {
protected:
    void TearDown() override {
        SetDecoderFaultForTesting("");
        SetDecoderTimeLimitForTesting(std::chrono::milliseconds(0));
        ExpectNoDecoderLeft();
    }
    TempFolder dir_;
};

TEST_F(DecoderFault, CrashAndHangAreCleanFailures) {
    const PixelGrid grid = RandomGrid(64, 48, 1);
    ASSERT_TRUE(SaveGrid(grid, OutputKind::Png, dir_ / "a.png"));
    PixelGrid back;
    std::string error;

    SetDecoderFaultForTesting("crash");
    EXPECT_FALSE(LoadGrid(dir_ / "a.png", back, &error));
    EXPECT_EQ(error, "the decoder crashed");
    EXPECT_TRUE(back.empty());

    SetDecoderFaultForTesting("hang");
    SetDecoderTimeLimitForTesting(std::chrono::milliseconds(300));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(LoadGrid(dir_ / "a.png", back, &error));
    EXPECT_EQ(error, "the decoder took too long");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));

    SetDecoderFaultForTesting("");
    ASSERT_TRUE(LoadGrid(dir_ / "a.png", back, &error)) << error;
    EXPECT_EQ(back, grid);
}

TEST_F(DecoderFault, MemoryLimitIsACleanFailure) {
    ASSERT_TRUE(SaveGrid(RandomGrid(400, 300, 2), OutputKind::Png, dir_ / "a.png"));
    SetDecoderFaultForTesting("memory");
    PixelGrid back;
    std::string error;
    EXPECT_FALSE(LoadGrid(dir_ / "a.png", back, &error));
    EXPECT_EQ(error, "the decoder ran out of memory");
}

TEST_F(DecoderFault, MissingDecoderIsAClearFailure) {
    ASSERT_TRUE(SaveGrid(RandomGrid(8, 8, 3), OutputKind::Png, dir_ / "a.png"));
    SetDecoderProgram(dir_ / "no-decoder-here");
    PixelGrid back;
    std::string error;
    const bool loaded = LoadGrid(dir_ / "a.png", back, &error);
    SetDecoderProgram("");
    EXPECT_FALSE(loaded);
    EXPECT_EQ(error, "the image decoder could not be started: No such file or directory");
}

TEST(ImageReader, SizeComesFromTheHeaderAndAReaderMayBeLeftUndecoded) {
    TempFolder dir;
    ASSERT_TRUE(SaveGrid(RandomGrid(70, 40, 4), OutputKind::Jp2, dir / "a.jp2"));
    ImageReader reader;
    ASSERT_TRUE(reader.Open(dir / "a.jp2", LoadRuleForPath("a.jp2")));
    EXPECT_EQ(reader.width(), 70);
    EXPECT_EQ(reader.height(), 40);
    // Opened again before decoding: the first decoder is stopped.
    ASSERT_TRUE(reader.Open(dir / "a.jp2", LoadRuleForPath("a.jp2")));
    PixelGrid grid;
    std::u16string comment = u"stale";
    ASSERT_TRUE(reader.Decode(grid, &comment));
    EXPECT_EQ(grid.width, 70);
    EXPECT_EQ(comment, u"");
    // A reader decodes once.
    EXPECT_FALSE(reader.Decode(grid));
    EXPECT_TRUE(grid.empty());
    ExpectNoDecoderLeft();
}

TEST(ImageReader, NonFilesAreRefusedWithoutHanging) {
    TempFolder dir;
    ASSERT_EQ(mkfifo((dir / "pipe.png").c_str(), 0600), 0);
    WriteBytes(dir / "empty.png", "");
    PixelGrid g;
    std::string error;
    EXPECT_FALSE(LoadGrid(dir / "pipe.png", g, &error));
    EXPECT_EQ(error, "not a regular file");
    EXPECT_FALSE(LoadGrid(dir / "empty.png", g, &error));
    EXPECT_EQ(error, "the file is empty");
}

// Files as other programs write them, and damaged ones that crash the image
// library when it decodes them in this process.
TEST(ImageFixtures, LongBmpHeadersLoadLikeShortOnes) {
    PixelGrid expected, palette;
    ASSERT_TRUE(LoadGrid(TestImagePath("crop.png"), expected));
    ASSERT_TRUE(LoadGrid(TestImagePath("crop-palette.png"), palette));
    for (const char* name : {"header124.bmp", "header108.bmp", "header124-bitfields.bmp"}) {
        PixelGrid g;
        std::string error;
        ASSERT_TRUE(LoadGrid(TestImagePath(name), g, &error)) << name << ": " << error;
        EXPECT_EQ(g, expected) << name;
    }
    PixelGrid g;
    ASSERT_TRUE(LoadGrid(TestImagePath("header124-palette.bmp"), g));
    EXPECT_EQ(g, palette);
}

TEST(ImageFixtures, DamagedPsdIsRefusedNotFatal) {
    PixelGrid g;
    std::string error;
    EXPECT_FALSE(LoadGrid(TestImagePath("cut-short.psd"), g, &error));
    EXPECT_EQ(error, "the decoder crashed");
    ExpectNoDecoderLeft();
}

// Tiny files that claim huge images are refused from their header or their
// length, long before a decoder would spend seconds and gigabytes on them.
TEST(ImageFixtures, SmallFilesClaimingHugeImages) {
    TempFolder dir;
    PixelGrid g;
    std::string error;
    // An uncompressed BMP of 16384 x 16384 in 154 bytes cannot hold its pixels.
    std::string bmp = ReadBytes(TestImagePath("header124.bmp")).substr(0, 154);
    for (int at : {18, 22}) bmp.replace(at, 4, std::string("\x00\x40\x00\x00", 4));
    WriteBytes(dir / "huge.bmp", bmp);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(LoadGrid(dir / "huge.bmp", g, &error));
    EXPECT_EQ(error, "not a readable BMP file");
    // A JPEG 2000 file claiming 16384 x 16384 tells its size at once.
    ASSERT_TRUE(SaveGrid(RandomGrid(40, 36, 3), OutputKind::Jp2, dir / "a.jp2"));
    std::string jp2 = ReadBytes(dir / "a.jp2");
    const size_t ihdr = jp2.find("ihdr");
    ASSERT_NE(ihdr, std::string::npos);
    jp2.replace(ihdr + 4, 8, std::string("\x00\x00\x40\x00\x00\x00\x40\x00", 8));
    WriteBytes(dir / "huge.jp2", jp2);
    ImageReader reader;
    EXPECT_FALSE(reader.Open(dir / "huge.jp2", LoadRuleForPath("huge.jp2")));
    EXPECT_EQ(reader.error(), "the file claims 16384 x 16384 pixels, more than its " + std::to_string(jp2.size()) +
                                  " bytes can hold");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
}  // namespace corvane
