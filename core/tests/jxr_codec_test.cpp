#include "core/jxr_codec.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/image_decoder.hpp"
#include "core/image_file.hpp"
#include "core/mfree_image.hpp"
#include "core/tests/test_support.hpp"

// As in the codec: FreeImage.h's _WINDOWS_ would change jxrlib's GUID.
#undef _WINDOWS_
#include <JXRGlue.h>
#undef min
#undef max
static_assert(sizeof(GUID) == 16);

namespace corvane {
namespace {

using testing::RandomGrid;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// Runs `body` with stdout and stderr captured; returns what was printed.
template <typename F>
std::string Printed(F body) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    body();
    std::fflush(nullptr);
    std::string out = ::testing::internal::GetCapturedStdout();
    return out + ::testing::internal::GetCapturedStderr();
}

constexpr LoadRule kJxr{ImageFormat::Jxr, 0};

PixelGrid LoadGridJxr(const std::string& path) {
    PixelGrid grid;
    LoadGridAs(path, kJxr, grid);
    return grid;
}

bool ReadJxrSize(const std::string& path, int& w, int& h) {
    ImageReader reader;
    if (!reader.Open(path, kJxr)) return false;
    w = reader.width();
    h = reader.height();
    return true;
}

bool SaveGridJxr(const PixelGrid& grid, const std::string& path) { return SaveGrid(grid, OutputKind::Jxr, path); }

bool SaveBitmapJxr(FIBITMAP* dib, const std::string& path) {
    SafeFile file;
    return file.Create(path, FileAccess::Shared) && WriteJxr(dib, file) && file.Commit() == SaveStatus::Saved;
}

// Writes top-down pixels in any format straight through jxrlib, as another
// program would, so that the loader meets formats we never write ourselves.
void WriteWithJxrlib(const std::string& path, const PKPixelFormatGUID& format, int w, int h,
                     std::vector<uint8_t> pixels, COLORFORMAT colour = YUV_444) {
    WMPStream* stream = nullptr;
    PKImageEncode* enc = nullptr;
    ASSERT_FALSE(Failed(CreateWS_File(&stream, path.c_str(), "wb")));
    ASSERT_FALSE(Failed(PKImageEncode_Create_WMP(&enc)));
    CWMIStrCodecParam p{};
    p.cfColorFormat = colour;
    p.bdBitDepth = BD_LONG;
    p.bfBitstreamFormat = SPATIAL;
    p.olOverlap = OL_ONE;
    p.sbSubband = SB_ALL;
    p.uiDefaultQPIndex = 1;
    p.uAlphaMode = 2;
    EXPECT_FALSE(Failed(enc->Initialize(enc, stream, &p, sizeof p)));
    EXPECT_FALSE(Failed(enc->SetPixelFormat(enc, format)));
    EXPECT_FALSE(Failed(enc->SetSize(enc, w, h)));
    EXPECT_FALSE(Failed(enc->SetResolution(enc, 96.f, 96.f)));
    EXPECT_FALSE(Failed(enc->WritePixels(enc, h, pixels.data(), static_cast<U32>(pixels.size() / h))));
    enc->Release(&enc);
}

size_t Find(const std::string& bytes, const std::string& what) {
    const size_t at = bytes.find(what);
    EXPECT_NE(at, std::string::npos) << what;
    return at;
}

TEST(JxrCodec, RoundTripIsBitExact) {
    TempFolder dir;
    const std::pair<int, int> sizes[] = {{1, 1}, {17, 9}, {16, 16}, {128, 32}, {3, 70}, {301, 5}};
    uint32_t seed = 1;
    for (auto [w, h] : sizes) {
        const PixelGrid grid = RandomGrid(w, h, seed++);
        const std::string path = dir / (std::to_string(w) + "x" + std::to_string(h) + ".jxr");
        ASSERT_TRUE(SaveGridJxr(grid, path)) << w << "x" << h;
        EXPECT_EQ(LoadGridJxr(path), grid) << w << "x" << h;
        int rw = 0, rh = 0;
        EXPECT_TRUE(ReadJxrSize(path, rw, rh));
        EXPECT_EQ(rw, w);
        EXPECT_EQ(rh, h);
    }
    // Flat areas and gradients take other coding paths than noise.
    PixelGrid smooth(200, 120);
    for (int y = 0; y < smooth.height; ++y)
        for (int x = 0; x < smooth.width; ++x) smooth.at(x, y) = x < 100 ? Rgb(255, 255, 255) : Rgb(x, y, 255 - x);
    ASSERT_TRUE(SaveGridJxr(smooth, dir / "smooth.jxr"));
    EXPECT_EQ(LoadGridJxr(dir / "smooth.jxr"), smooth);
}

TEST(JxrCodec, PhotoAndUtf8PathRoundTrip) {
    TempFolder dir;
    PixelGrid photo;
    ASSERT_TRUE(LoadGrid(testing::PhotoPath("coffee.png"), photo));
    ASSERT_EQ(photo.width, 600);
    const std::string path = dir / "café-写真.jxr";
    ASSERT_TRUE(SaveGridJxr(photo, path));
    EXPECT_EQ(LoadGridJxr(path), photo);
}

TEST(JxrCodec, FourthByteOfDeepBitmapsIsNotStored) {
    TempFolder dir;
    const PixelGrid grid = RandomGrid(23, 11, 7);
    UniqueImage dib(GridToImage(grid, 32));
    for (unsigned y = 0; y < 11; ++y)
        for (unsigned x = 0; x < 23; ++x) FreeImage_GetScanLine(dib.get(), y)[x * 4 + FI_RGBA_ALPHA] = x * 11 + y;
    ASSERT_TRUE(SaveBitmapJxr(dib.get(), dir / "a.jxr"));
    EXPECT_EQ(LoadGridJxr(dir / "a.jxr"), grid);
}

TEST(JxrCodec, EightBitFormatsOfOtherProgramsLoadExactly) {
    TempFolder dir;
    const int w = 19, h = 13;
    const PixelGrid grid = RandomGrid(w, h, 3);
    std::vector<uint8_t> rgb, bgra, rgba, gray;
    PixelGrid grayGrid(w, h);
    for (size_t i = 0; i < grid.pixels.size(); ++i) {
        const uint8_t r = RedOf(grid.pixels[i]), g = GreenOf(grid.pixels[i]), b = BlueOf(grid.pixels[i]);
        const uint8_t a = static_cast<uint8_t>(i * 37);
        rgb.insert(rgb.end(), {r, g, b});
        bgra.insert(bgra.end(), {b, g, r, a});
        rgba.insert(rgba.end(), {r, g, b, a});
        gray.push_back(g);
        grayGrid.pixels[i] = Rgb(g, g, g);
    }
    WriteWithJxrlib(dir / "rgb.jxr", GUID_PKPixelFormat24bppRGB, w, h, rgb);
    WriteWithJxrlib(dir / "bgra.jxr", GUID_PKPixelFormat32bppBGRA, w, h, bgra);
    WriteWithJxrlib(dir / "rgba.jxr", GUID_PKPixelFormat32bppRGBA, w, h, rgba);
    WriteWithJxrlib(dir / "gray.jxr", GUID_PKPixelFormat8bppGray, w, h, gray, Y_ONLY);
    EXPECT_EQ(LoadGridJxr(dir / "rgb.jxr"), grid);
    EXPECT_EQ(LoadGridJxr(dir / "bgra.jxr"), grid);
    EXPECT_EQ(LoadGridJxr(dir / "rgba.jxr"), grid);
    EXPECT_EQ(LoadGridJxr(dir / "gray.jxr"), grayGrid);
}

TEST(JxrCodec, DeepFormatsAreConvertedToEightBits) {
    TempFolder dir;
    const int w = 8, h = 4;
    std::vector<uint8_t> rgb48;
    PixelGrid expected(w, h);
    for (int i = 0; i < w * h; ++i) {
        const uint16_t c[3] = {static_cast<uint16_t>(i * 2000), static_cast<uint16_t>(65535 - i * 1000), 0x8000};
        for (uint16_t v : c) rgb48.insert(rgb48.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
        expected.pixels[i] = Rgb(c[0] >> 8, c[1] >> 8, c[2] >> 8);
    }
    WriteWithJxrlib(dir / "rgb48.jxr", GUID_PKPixelFormat48bppRGB, w, h, rgb48);
    EXPECT_EQ(LoadGridJxr(dir / "rgb48.jxr"), expected);
}

TEST(JxrCodec, MetadataEntriesDoNotStopTheImage) {
    TempFolder dir;
    const PixelGrid grid = RandomGrid(20, 20, 9);
    ASSERT_TRUE(SaveGridJxr(grid, dir / "a.jxr"));
    std::string bytes = ReadBytes(dir / "a.jxr");
    // The resolution entries (tags 0xbc82, 0xbc83, type float) become a tag
    // unknown to jxrlib and a page number of a type jxrlib does not expect.
    bytes.replace(Find(bytes, "\x82\xbc"), 2, "\x34\x12");
    bytes.replace(Find(bytes, "\x83\xbc"), 2, "\x29\x01");
    WriteBytes(dir / "b.jxr", bytes);
    PixelGrid loaded;
    EXPECT_EQ(Printed([&] { loaded = LoadGridJxr(dir / "b.jxr"); }), "");
    EXPECT_EQ(loaded, grid);
}

TEST(JxrCodec, OversizedHeaderIsRefusedBeforeDecoding) {
    TempFolder dir;
    ASSERT_TRUE(SaveGridJxr(RandomGrid(40, 30, 5), dir / "a.jxr"));
    std::string bytes = ReadBytes(dir / "a.jxr");
    // Short header (flag bit 0x80 of byte 10): width-1 and height-1 as 16 bits each.
    const size_t header = Find(bytes, "WMPHOTO");
    ASSERT_TRUE(static_cast<uint8_t>(bytes[header + 10]) & 0x80);
    bytes.replace(header + 12, 4, "\xff\xff\xff\xff");
    WriteBytes(dir / "big.jxr", bytes);
    ImageReader reader;
    EXPECT_FALSE(reader.Open(dir / "big.jxr", kJxr));
    EXPECT_EQ(reader.error(), "the image is larger than 256 megapixels");
    EXPECT_TRUE(LoadGridJxr(dir / "big.jxr").empty());
}

TEST(JxrCodec, BrokenFilesGiveNothingAndPrintNothing) {
    TempFolder dir;
    ASSERT_TRUE(SaveGridJxr(RandomGrid(37, 21, 11), dir / "good.jxr"));
    const std::string good = ReadBytes(dir / "good.jxr");
    const std::string path = dir / "bad.jxr";
    int w = 0, h = 0;
    std::mt19937 gen(99);

    const std::string printed = Printed([&] {
        EXPECT_TRUE(LoadGridJxr(dir / "missing.jxr").empty());
        EXPECT_TRUE(LoadGridJxr(dir.path()).empty());
        // The file cut short (at every length near the start, then sparser), and
        // random bytes with and without a valid signature.
        for (size_t len = 0; len < good.size(); len += 1 + len / 16) {
            WriteBytes(path, good.substr(0, len));
            EXPECT_TRUE(LoadGridJxr(path).empty()) << len;
            EXPECT_FALSE(ReadJxrSize(path, w, h)) << len;
        }
        for (int i = 0; i < 50; ++i) {
            std::string junk(gen() % 3000, '\0');
            for (char& c : junk) c = static_cast<char>(gen());
            WriteBytes(path, i % 2 ? "II\xbc\x01" + junk : junk);
            EXPECT_TRUE(LoadGridJxr(path).empty()) << i;
        }
        // An output format that contradicts the pixel format trips an assertion in jxrlib.
        std::string contradictory = good;
        contradictory[Find(good, "WMPHOTO") + 11] = 0;
        WriteBytes(path, contradictory);
        EXPECT_TRUE(LoadGridJxr(path).empty());
        // Damaged bytes anywhere may still decode to some picture; jxrlib crashes on many.
        for (int i = 0; i < 400; ++i) {
            std::string bytes = good;
            for (int n = 1 + i % 4; n > 0; --n) bytes[gen() % bytes.size()] ^= static_cast<char>(1 + gen() % 255);
            WriteBytes(path, bytes);
            LoadGridJxr(path);
        }
    });
    EXPECT_EQ(printed, "");
}

TEST(JxrCodec, SaveFailuresLeaveNoFile) {
    TempFolder dir;
    UniqueImage dib(GridToImage(RandomGrid(64, 64, 2), 24));
    EXPECT_FALSE(SaveBitmapJxr(dib.get(), dir / "no-such-folder/a.jxr"));
    EXPECT_FALSE(SaveBitmapJxr(nullptr, dir / "a.jxr"));
    UniqueImage gray(FreeImage_ConvertToGreyscale(dib.get()));
    EXPECT_FALSE(SaveBitmapJxr(gray.get(), dir / "a.jxr"));
    EXPECT_FALSE(std::filesystem::exists(dir / "a.jxr"));

    // A disk that fills up part way: the file size limit makes writes fail.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = SaveBitmapJxr(dib.get(), dir / "full.jxr");
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved);
    EXPECT_FALSE(std::filesystem::exists(dir / "full.jxr"));
}

}  // namespace
}  // namespace corvane
