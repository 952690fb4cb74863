#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/testing_hooks.hpp"
#include "core/image_decode.hpp"
#include "core/image_decoder.hpp"
#include "core/image_file.hpp"
#include "test_support.hpp"

namespace corvane {
namespace {

using testing::PhotoPath;
using testing::RandomGrid;
using testing::ReadBytes;
using testing::TempFolder;
using testing::TestImagePath;
using testing::WriteBytes;

std::string Le16(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string Le32(uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }
std::string Be16(unsigned v) { return {static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)}; }

// A GIF of 35 bytes whose one frame claims 16000 x 16000 pixels.
std::string TinyHugeGif() {
    std::string gif = "GIF89a" + Le16(16000) + Le16(16000) + std::string("\0\0\0", 3);
    gif += "\x2C" + Le16(0) + Le16(0) + Le16(16000) + Le16(16000) + std::string(1, '\0');
    gif += std::string("\x08\x08", 2) + std::string(8, '\x55') + std::string("\0\x3B", 2);
    return gif;
}

// A lossless WebP of 36 bytes claiming 16383 x 16383 pixels.
std::string TinyHugeWebp() {
    const uint32_t size = 16382 | (16382u << 14);
    std::string vp8l = "\x2F" + Le32(size) + std::string(11, '\0');
    return "RIFF" + Le32(static_cast<uint32_t>(4 + 8 + vp8l.size())) + "WEBP" + "VP8L" +
           Le32(static_cast<uint32_t>(vp8l.size())) + vp8l;
}

// A progressive grey JPEG of 4000 x 4000 made of a DC scan and then empty
// AC scans up to `bytes`.
std::string EmptyScansJpeg(size_t bytes, int& scans) {
    std::string j = "\xFF\xD8";
    j += "\xFF\xDB" + Be16(67) + std::string(1, '\0') + std::string(64, '\x01');
    j += "\xFF\xC2" + Be16(11) + "\x08" + Be16(4000) + Be16(4000) + "\x01\x01\x11" + std::string(1, '\0');
    for (const char* table : {"\x00", "\x10"})
        j += "\xFF\xC4" + Be16(20) + std::string(table, 1) + "\x01" + std::string(15, '\0') + std::string(1, '\0');
    j += "\xFF\xDA" + Be16(8) + std::string("\x01\x01\x00\x00\x00\x00", 6);
    scans = 1;
    for (; j.size() + 12 <= bytes; ++scans) j += "\xFF\xDA" + Be16(8) + std::string("\x01\x01\x00\x01\x3F\x00", 6);
    return j + "\xFF\xD9";
}

void ExpectRefusedQuickly(const std::string& path, const std::string& reason) {
    const auto start = std::chrono::steady_clock::now();
    PixelGrid grid;
    std::string error;
    EXPECT_FALSE(LoadGrid(path, grid, &error)) << path;
    EXPECT_EQ(error, reason) << path;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << path;
}

TEST(DecodeBudget, SmallFilesClaimingHugeImagesAreRefusedFromTheHeader) {
    TempFolder dir;
    const std::string gif = TinyHugeGif();
    ASSERT_EQ(gif.size(), 35u);
    WriteBytes(dir / "bomb.gif", gif);
    ExpectRefusedQuickly(dir / "bomb.gif", "the file claims 16000 x 16000 pixels, more than its 35 bytes can hold");

    const std::string webp = TinyHugeWebp();
    ASSERT_EQ(webp.size(), 36u);
    WriteBytes(dir / "bomb.webp", webp);
    ExpectRefusedQuickly(dir / "bomb.webp", "the file claims 16383 x 16383 pixels, more than its 36 bytes can hold");

    // A real codestream of about 70 KB whose size segment says 16384 x 16384.
    ASSERT_TRUE(SaveGrid(RandomGrid(160, 150, 7), OutputKind::J2k, dir / "a.j2k"));
    std::string j2k = ReadBytes(dir / "a.j2k");
    ASSERT_GT(j2k.size(), 8u + 16u);
    j2k.replace(8, 8, std::string("\0\0\x40\0\0\0\x40\0", 8));
    WriteBytes(dir / "bomb.j2k", j2k);
    ExpectRefusedQuickly(dir / "bomb.j2k", "the file claims 16384 x 16384 pixels, more than its " +
                                               std::to_string(j2k.size()) + " bytes can hold");
}

TEST(DecodeBudget, ProgressiveJpegOfEmptyScansIsRefusedFromItsMarkers) {
    TempFolder dir;
    for (size_t kb : {11, 17, 21}) {
        int scans = 0;
        WriteBytes(dir / "scans.jpg", EmptyScansJpeg(kb * 1024, scans));
        ExpectRefusedQuickly(dir / "scans.jpg", "the JPEG file has " + std::to_string(scans) +
                                                    " scans, more than 100 are decoded");
    }
    // The same file with as many scans as an encoder writes decodes.
    int scans = 0;
    WriteBytes(dir / "few.jpg", EmptyScansJpeg(400, scans));
    ASSERT_LE(scans, 100);
    PixelGrid grid;
    std::string error;
    ASSERT_TRUE(LoadGrid(dir / "few.jpg", grid, &error)) << error;
    EXPECT_EQ(grid.width, 4000);
}

TEST(DecodeBudget, BoundsFollowTheFormatAndTheFileSize) {
    // A flat image of up to 16 MP is never refused, however small its file.
    EXPECT_EQ(PixelBudget(FIF_PNG, 1), kFreePixels);
    EXPECT_EQ(PixelBudget(FIF_PNG, 1'000'000), 64'000'000u);
    EXPECT_EQ(PixelBudget(FIF_JPEG, 1'000'000), 256'000'000u);
    EXPECT_EQ(PixelBudget(FIF_JP2, 1'000'000), kMaxImagePixels);
    EXPECT_EQ(PixelBudget(FIF_GIF, UINT32_MAX), kMaxImagePixels);
}

TEST(DecoderEnd, EachEndHasItsReason) {
    const int kill9 = SIGKILL, segv = SIGSEGV;  // raw wait statuses of a signalled process
    EXPECT_EQ(DecoderEndReason(kill9, 30.0, 30.0), "the decoder took too long");
    EXPECT_EQ(DecoderEndReason(SIGXCPU, 3.0, 30.0), "the decoder took too long");
    EXPECT_EQ(DecoderEndReason(kill9, 0.2, 30.0), "the decoder was stopped by signal 9");
    EXPECT_EQ(DecoderEndReason(SIGTERM, 0.2, 30.0), "the decoder was stopped by signal 15");
    EXPECT_EQ(DecoderEndReason(segv, 0.2, 30.0), "the decoder crashed");
    EXPECT_EQ(DecoderEndReason(75 << 8, 0.2, 30.0), "the decoder ran out of memory");
    EXPECT_EQ(DecoderEndReason(1 << 8, 0.2, 30.0), "the decoder crashed");
    EXPECT_EQ(DecoderEndReason(2 << 8, 0.2, 30.0), "the decoder failed");
}

TEST(DecoderEnd, AKilledDecoderIsNotSaidToBeSlow) {
    TempFolder dir;
    ASSERT_TRUE(SaveGrid(RandomGrid(64, 48, 1), OutputKind::Png, dir / "a.png"));
    SetDecoderFaultForTesting("kill");
    PixelGrid grid;
    std::string error;
    EXPECT_FALSE(LoadGrid(dir / "a.png", grid, &error));
    SetDecoderFaultForTesting("");
    EXPECT_EQ(error, "the decoder was stopped by signal 9");
}

// The decoder, confined, gives exactly what the libraries give unconfined.
PixelGrid DecodeHere(const std::string& path) {
    std::string bytes = ReadBytes(path);
    const LoadRule rule = LoadRuleForPath(path);
    const FREE_IMAGE_FORMAT fif = FifOf(rule.format);
    uint8_t* data = reinterpret_cast<uint8_t*>(bytes.data());
    uint64_t w = 0, h = 0;
    if (!ProbeImageSize(data, bytes.size(), fif, rule.flags, w, h)) return {};
    UniqueImage dib(DecodeImageData(data, bytes.size(), fif, rule.flags));
    return dib ? ImageToGrid(dib.get()) : PixelGrid();
}

std::vector<std::string> FilesInEveryFormat(const TempFolder& dir) {
    std::vector<std::string> files = {PhotoPath("coffee.png"), TestImagePath("header124.bmp"),
                                      TestImagePath("header124-palette.bmp")};
    PixelGrid photo;
    if (LoadGrid(PhotoPath("astronaut.png"), photo)) {
        photo = RescaleGrid(photo, 160, 160, ResizeFilter::Box);
        for (OutputKind kind : {OutputKind::Bmp, OutputKind::Jp2, OutputKind::Jxr, OutputKind::J2k, OutputKind::Tif,
                                OutputKind::Webp}) {
            const std::string path = dir / (std::string("ours") + OutputEnding(kind));
            if (SaveGrid(photo, kind, path)) files.push_back(path);
        }
    }
    // Other programs' files, where ImageMagick is installed.
    const std::string coffee = PhotoPath("coffee.png");
    const struct {
        const char* name;
        const char* options;
    } made[] = {
        {"base.jpg", "-quality 85"}, {"prog444.jpg", "-quality 92 -sampling-factor 1x1 -interlace JPEG"},
        {"grey.jpg", "-colorspace gray -interlace JPEG"}, {"cmyk.jpg", "-colorspace CMYK"},
        {"a.gif", ""}, {"a.psd", ""}, {"lossy.webp", "-quality 50"}, {"jpeg.tif", "-compress JPEG"},
        {"g4.tif", "-monochrome -compress Group4"}, {"deep.png", "-depth 16"}, {"a.jp2", "-quality 40"},
    };
    for (const auto& m : made) {
        const std::string out = dir / m.name;
        const std::string command = "convert '" + coffee + "' " + m.options + " '" + out + "' 2>/dev/null";
        if (std::system(command.c_str()) == 0) files.push_back(out);
    }
    return files;
}

TEST(DecoderConfined, EveryFormatDecodesAsTheLibrariesDecodeIt) {
    TempFolder dir;
    const std::vector<std::string> files = FilesInEveryFormat(dir);
    if (files.size() < 12) GTEST_SKIP() << "ImageMagick's convert is not installed";
    for (const std::string& path : files) {
        PixelGrid confined;
        std::string error;
        ASSERT_TRUE(LoadGrid(path, confined, &error)) << path << ": " << error;
        EXPECT_EQ(confined, DecodeHere(path)) << path;
    }
}

}  // namespace
}  // namespace corvane
