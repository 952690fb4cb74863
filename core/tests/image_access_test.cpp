#include <gtest/gtest.h>

#include <sys/stat.h>

#include "core/code_page.hpp"
#include "core/image_decoder.hpp"
#include "core/image_file.hpp"
#include "core/mfree_image.hpp"
#include "test_support.hpp"

namespace corvane {
namespace {

using testing::PhotoPath;
using testing::RandomGrid;
using testing::TempFolder;

TEST(LoadTable, EndingsAreCaseExact) {
    EXPECT_EQ(LoadRuleForPath("a.png").format, ImageFormat::Png);
    EXPECT_EQ(LoadRuleForPath("a.PNG").format, ImageFormat::Png);
    EXPECT_EQ(LoadRuleForPath("a.Png").format, ImageFormat::Raw);
    EXPECT_EQ(LoadRuleForPath("a.jpg").flags, JPEG_ACCURATE);
    EXPECT_EQ(LoadRuleForPath("a.tiff").format, ImageFormat::Tiff);
    EXPECT_EQ(LoadRuleForPath("a.TIF").format, ImageFormat::Tiff);
    EXPECT_EQ(LoadRuleForPath("a.webp").format, ImageFormat::Webp);
    EXPECT_EQ(LoadRuleForPath("a.jxr").format, ImageFormat::Jxr);
    EXPECT_EQ(LoadRuleForPath("a.nef").format, ImageFormat::Raw);
    EXPECT_EQ(LoadRuleForPath("a.nef").flags, RAW_DISPLAY);
    EXPECT_EQ(LoadRuleForPath("a.jpeg").format, ImageFormat::Raw);
    EXPECT_EQ(LoadRuleForPath("x").format, ImageFormat::Raw);
    LoadRule r;
    EXPECT_TRUE(EncryptedLoadRuleForPath("a.WEBP", r));
    EXPECT_EQ(r.format, ImageFormat::Webp);
    EXPECT_FALSE(EncryptedLoadRuleForPath("a.gif", r));
    EXPECT_FALSE(EncryptedLoadRuleForPath("a.Bmp", r));
    EXPECT_TRUE(AnalysisLoadRuleForPath("a.JPG", r));
    EXPECT_EQ(r.format, ImageFormat::Jpeg);
    EXPECT_EQ(r.flags, JPEG_ACCURATE);
    EXPECT_TRUE(AnalysisLoadRuleForPath("a.bmp", r));
    EXPECT_EQ(r.format, ImageFormat::Bmp);
    EXPECT_FALSE(AnalysisLoadRuleForPath("a.webp", r));
    EXPECT_FALSE(AnalysisLoadRuleForPath("a.Png", r));
}

TEST(LoadTable, MixedCasePngFailsThroughRawLoader) {
    TempFolder dir;
    const PixelGrid g = RandomGrid(20, 10, 1);
    ASSERT_TRUE(SaveGrid(g, OutputKind::Png, dir / "a.png"));
    ASSERT_EQ(rename((dir / "a.png").c_str(), (dir / "b.Png").c_str()), 0);
    ASSERT_EQ(link((dir / "b.Png").c_str(), (dir / "c.PNG").c_str()), 0);
    PixelGrid back;
    std::string error;
    EXPECT_FALSE(LoadGrid(dir / "b.Png", back, &error));
    EXPECT_EQ(error, "not a readable camera raw file");
    EXPECT_TRUE(LoadGrid(dir / "c.PNG", back));
    EXPECT_EQ(back, g);
}

TEST(Formats, EveryOutputSavesAndReloadsExactly) {
    TempFolder dir;
    PixelGrid photo;
    ASSERT_TRUE(LoadGrid(PhotoPath("astronaut.png"), photo));
    // JPEG 2000 needs 32 pixels on a side for its resolution levels.
    const PixelGrid noise = RandomGrid(67, 41, 5);
    for (OutputKind kind : {OutputKind::Key, OutputKind::Png, OutputKind::Bmp, OutputKind::Jp2, OutputKind::Jxr,
                            OutputKind::J2k, OutputKind::Tif, OutputKind::Webp}) {
        const SaveFormat& f = SaveFormatOf(kind);
        for (const PixelGrid* g : std::initializer_list<const PixelGrid*>{&photo, &noise}) {
            const std::string path = dir / (std::string("out") + std::to_string(g->width) + f.ending);
            ASSERT_TRUE(SaveGrid(*g, kind, path)) << f.ending;
            LoadRule rule = LoadRuleForPath(path);
            if (kind != OutputKind::Key) {
                ASSERT_TRUE(EncryptedLoadRuleForPath(path, rule));
            }
            PixelGrid back;
            ASSERT_TRUE(LoadGridAs(path, rule, back)) << f.ending;
            EXPECT_EQ(back, *g) << f.ending;
        }
    }
}

TEST(Formats, SaveTableFlags) {
    EXPECT_EQ(SaveFormatOf(OutputKind::Key).flags, 6);
    EXPECT_EQ(SaveFormatOf(OutputKind::Png).flags, 9);
    EXPECT_EQ(SaveFormatOf(OutputKind::Bmp).flags, 1);
    EXPECT_EQ(SaveFormatOf(OutputKind::Jp2).flags, 1);
    EXPECT_EQ(SaveFormatOf(OutputKind::Jxr).flags, 100);
    EXPECT_EQ(SaveFormatOf(OutputKind::J2k).flags, 1);
    EXPECT_EQ(SaveFormatOf(OutputKind::Tif).flags, 16384);
    EXPECT_EQ(SaveFormatOf(OutputKind::Webp).flags, 256);
    OutputKind k;
    EXPECT_TRUE(OutputKindFromName(".WebP", k));
    EXPECT_EQ(k, OutputKind::Webp);
    EXPECT_FALSE(OutputKindFromName("gif", k));
}

TEST(Conversion, AnyDepthBecomesExact24BitGrid) {
    // An 8-bit palette image and a 32-bit image convert to the colours they show.
    UniqueImage pal(FreeImage_Allocate(4, 2, 8));
    RGBQUAD* p = FreeImage_GetPalette(pal.get());
    for (int i = 0; i < 256; ++i) p[i] = RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(255 - i), 7, 0};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) FreeImage_GetScanLine(pal.get(), 1 - y)[x] = static_cast<BYTE>(10 * x + y);
    const PixelGrid g = ImageToGrid(pal.get());
    ASSERT_EQ(g.width, 4);
    EXPECT_EQ(g.at(2, 1), Rgb(7, 255 - 21, 21));  // blue 21, green 234, red 7 (palette is BGR)

    const PixelGrid noise = RandomGrid(9, 5, 2);
    UniqueImage d32(GridToImage(noise, 32));
    EXPECT_EQ(FreeImage_GetBPP(d32.get()), 32u);
    EXPECT_EQ(ImageToGrid(d32.get()), noise);
    UniqueImage rgb16(FreeImage_ConvertToType(d32.get(), FIT_RGB16));
    ASSERT_NE(rgb16, nullptr);
    EXPECT_EQ(ImageToGrid(rgb16.get()), noise);
    // Top-left of the grid is the top row of the picture.
    UniqueImage d24(GridToImage(noise));
    const BYTE* top = FreeImage_GetScanLine(d24.get(), 4);
    EXPECT_EQ(Rgb(top[FI_RGBA_RED], top[FI_RGBA_GREEN], top[FI_RGBA_BLUE]), noise.at(0, 0));
}

TEST(Comments, WriteReadAndRemove) {
    TempFolder dir;
    const PixelGrid g = RandomGrid(8, 8, 3);
    std::u16string comment = u"<";
    for (int i = 0; i < 10; ++i) comment.push_back(AnsiToUnicode(static_cast<uint8_t>(33 + 22 * i)));
    comment += u"><";
    for (int i = 0; i < 10; ++i) comment.push_back(AnsiToUnicode(static_cast<uint8_t>(0x80 + 12 * i)));
    comment += u"><15>";
    ASSERT_EQ(comment.size(), 28u);
    ASSERT_EQ(SaveGridFile(g, OutputKind::Key, dir / "k.png", SaveOptions{comment}), SaveStatus::Saved);
    PixelGrid back;
    std::u16string read;
    ASSERT_TRUE(LoadKeyGrid(dir / "k.png", back, read));
    EXPECT_EQ(read, comment);
    EXPECT_EQ(back, g);

    UniqueImage dib(GridToImage(g));
    EXPECT_TRUE(WriteImageComment(dib.get(), comment));
    EXPECT_EQ(ReadImageComment(dib.get()), comment);
    EXPECT_TRUE(WriteImageComment(dib.get(), u""));
    EXPECT_EQ(ReadImageComment(dib.get()), u"");
    EXPECT_TRUE(WriteImageComment(dib.get(), u"a\u4E2Db"));
    EXPECT_EQ(ReadImageComment(dib.get()), u"a?b");
    UniqueImage none(GridToImage(g));
    EXPECT_EQ(ReadImageComment(none.get()), u"");
}

TEST(Rescale, RulesAndPreviewSizes) {
    UniqueImage wide(GridToImage(RandomGrid(1600, 1200, 1)));
    UniqueImage tall(GridToImage(RandomGrid(1200, 1600, 1)));
    UniqueImage a(PreviewImage(wide.get(), 500));
    EXPECT_EQ(FreeImage_GetWidth(a.get()), 500u);
    EXPECT_EQ(FreeImage_GetHeight(a.get()), 375u);
    UniqueImage b(PreviewImage(tall.get(), 500));
    EXPECT_EQ(FreeImage_GetWidth(b.get()), 375u);
    EXPECT_EQ(FreeImage_GetHeight(b.get()), 500u);
    EXPECT_EQ(PreviewGrid(RandomGrid(600, 400, 1), 320).height, 213);

    ImageHandle h = wide.get();
    EXPECT_EQ(RescaleImage(h, 0, 0, false, FILTER_BOX, true), h);
    EXPECT_EQ(RescaleImage(h, 1600, 1200, false, FILTER_BOX, false), h);
    EXPECT_EQ(RescaleImage(h, 1600, 0, false, FILTER_BOX, false), h);
    UniqueImage forced(RescaleImage(h, 1600, 1200, false, FILTER_BOX, true));
    EXPECT_NE(forced.get(), h);
    // 30 x 20 at height 5: 30 / 20 x 5 = 7.5 rounds to 8.
    UniqueImage small(GridToImage(RandomGrid(30, 20, 1)));
    UniqueImage s(RescaleImage(small.get(), 0, 5, false, FILTER_BILINEAR, false));
    EXPECT_EQ(FreeImage_GetWidth(s.get()), 8u);
    // Width 5: 5 / 1.5 = 3.33 -> 3.
    UniqueImage s2(RescaleImage(small.get(), 5, 0, false, FILTER_BILINEAR, false));
    EXPECT_EQ(FreeImage_GetHeight(s2.get()), 3u);
    // Releasing the source hands ownership to the result.
    ImageHandle src = GridToImage(RandomGrid(10, 10, 1));
    UniqueImage r(RescaleImage(src, 5, 5, true, FILTER_BOX, false));
    EXPECT_NE(r.get(), nullptr);
}

TEST(Untrusted, BadFilesFailQuietly) {
    TempFolder dir;
    std::string captured;
    SetImageDiagnosticSink([&](const std::string& m) { captured += m; });
    for (const char* name : {"a.png", "a.bmp", "a.jpg", "a.jp2", "a.j2k", "a.tif", "a.webp", "a.gif", "a.psd",
                             "a.nef", "a.jxr"}) {
        testing::WriteBytes(dir / name, std::string("\x89PNG\r\n\x1a\n garbage garbage", 24));
        PixelGrid g;
        EXPECT_FALSE(LoadGrid(dir / name, g)) << name;
        EXPECT_TRUE(g.empty()) << name;
    }
    PixelGrid g;
    std::string error;
    EXPECT_FALSE(LoadGrid(dir / "missing.png", g, &error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_FALSE(LoadGrid(dir.path(), g, &error));  // a folder
    EXPECT_EQ(error, "Is a directory");
    // A truncated real PNG and TIFF.
    ASSERT_TRUE(SaveGrid(RandomGrid(64, 64, 1), OutputKind::Png, dir / "full.png"));
    ASSERT_TRUE(SaveGrid(RandomGrid(64, 64, 1), OutputKind::Tif, dir / "full.tif"));
    for (const char* name : {"full.png", "full.tif"}) {
        const std::string bytes = testing::ReadBytes(dir / name);
        const std::string cut = dir / (std::string("cut-") + name);
        testing::WriteBytes(cut, bytes.substr(0, bytes.size() / 2));
        if (LoadGrid(cut, g)) {
            EXPECT_EQ(g.width, 64);
        }
    }
    SetImageDiagnosticSink(nullptr);
}

// A PNG header that claims a huge image, with no pixel data behind it.
std::string PngHeader(uint32_t w, uint32_t h) {
    std::string s("\x89PNG\r\n\x1a\n", 8);
    auto be = [&](uint32_t v) {
        for (int i = 3; i >= 0; --i) s.push_back(static_cast<char>(v >> (8 * i)));
    };
    be(13);
    const size_t crcFrom = s.size();
    s += "IHDR";
    be(w);
    be(h);
    s += std::string("\x08\x02\x00\x00\x00", 5);
    // CRC over type and data.
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = crcFrom; i < s.size(); ++i) {
        crc ^= static_cast<uint8_t>(s[i]);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    be(~crc);
    return s;
}

TEST(Untrusted, HugeImagesAreRefusedFromTheirHeader) {
    TempFolder dir;
    PixelGrid g;
    std::string error;
    testing::WriteBytes(dir / "huge.png", PngHeader(20000, 20000));
    EXPECT_FALSE(LoadGrid(dir / "huge.png", g, &error));
    EXPECT_EQ(error, "the image is larger than 256 megapixels");
    // GIF: logical screen 65535 x 65535.
    testing::WriteBytes(dir / "huge.gif", std::string("GIF89a\xFF\xFF\xFF\xFF\x00\x00\x00;", 14));
    EXPECT_FALSE(LoadGrid(dir / "huge.gif", g, &error));
    EXPECT_EQ(error, "the image is larger than 256 megapixels");
    // J2K: SIZ with 30000 x 30000.
    std::string j2k("\xFF\x4F\xFF\x51\x00\x29\x00\x00\x00\x00\x75\x30\x00\x00\x75\x30", 16);
    j2k += std::string(40, '\0');
    testing::WriteBytes(dir / "huge.j2k", j2k);
    EXPECT_FALSE(LoadGrid(dir / "huge.j2k", g, &error));
    EXPECT_EQ(error, "the image is larger than 256 megapixels");
    testing::WriteBytes(dir / "zero.png", PngHeader(0, 10));
    EXPECT_FALSE(LoadGrid(dir / "zero.png", g, &error));
}

// A JP2 file may put boxes of any size before its header box: the size check
// finds the header wherever it lies.
TEST(Untrusted, Jp2HeaderIsFoundPastLargeBoxes) {
    TempFolder dir;
    const PixelGrid grid = RandomGrid(40, 36, 3);
    ASSERT_TRUE(SaveGrid(grid, OutputKind::Jp2, dir / "plain.jp2"));
    std::string bytes = testing::ReadBytes(dir / "plain.jp2");
    auto be32 = [&](size_t at) {
        return (uint32_t{static_cast<uint8_t>(bytes[at])} << 24) | (uint32_t{static_cast<uint8_t>(bytes[at + 1])} << 16) |
               (uint32_t{static_cast<uint8_t>(bytes[at + 2])} << 8) | static_cast<uint8_t>(bytes[at + 3]);
    };
    ASSERT_EQ(bytes.substr(16, 4), "ftyp");
    const size_t afterFtyp = 12 + be32(12);
    const uint32_t freeLen = 200000;
    std::string box = {static_cast<char>(freeLen >> 24), static_cast<char>(freeLen >> 16),
                       static_cast<char>(freeLen >> 8), static_cast<char>(freeLen)};
    box += "free" + std::string(freeLen - 8, '\0');
    bytes.insert(afterFtyp, box);
    testing::WriteBytes(dir / "padded.jp2", bytes);
    PixelGrid back;
    ASSERT_TRUE(LoadGrid(dir / "padded.jp2", back));
    EXPECT_EQ(back.pixels, grid.pixels);

    // The same file claiming 30000 x 30000 in its header is refused.
    const size_t ihdr = bytes.find("ihdr");
    ASSERT_NE(ihdr, std::string::npos);
    bytes.replace(ihdr + 4, 8, std::string("\x00\x00\x75\x30\x00\x00\x75\x30", 8));
    testing::WriteBytes(dir / "huge.jp2", bytes);
    EXPECT_FALSE(LoadGrid(dir / "huge.jp2", back));
}

TEST(SaveFile, WholeOrNothingAndNoOverwrite) {
    TempFolder dir;
    const PixelGrid g = RandomGrid(10, 10, 1);
    const std::string path = dir / "x.png";
    ASSERT_EQ(SaveGridFile(g, OutputKind::Png, path, SaveOptions{{}, false, FileAccess::Private}), SaveStatus::Saved);
    struct stat st{};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const std::string before = testing::ReadBytes(path);
    EXPECT_EQ(SaveGridFile(RandomGrid(10, 10, 2), OutputKind::Png, path), SaveStatus::AlreadyExists);
    EXPECT_EQ(testing::ReadBytes(path), before);
    EXPECT_EQ(SaveGridFile(g, OutputKind::Png, dir / "missing/x.png"), SaveStatus::Failed);
    // Nothing but the one file is left behind.
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) files += e.is_regular_file();
    EXPECT_EQ(files, 1);
}

}  // namespace
}  // namespace corvane

namespace corvane {
namespace {

TEST(Formats, CarrierOnlyFormatsLoadByTheirEndings) {
    TempFolder dir;
    PixelGrid photo;
    ASSERT_TRUE(LoadGrid(PhotoPath("coffee.png"), photo));
    UniqueImage dib(GridToImage(photo));
    ASSERT_TRUE(FreeImage_Save(FIF_JPEG, dib.get(), (dir / "c.JPG").c_str(), JPEG_QUALITYSUPERB));
    UniqueImage quantized(FreeImage_ColorQuantize(dib.get(), FIQ_WUQUANT));
    ASSERT_TRUE(FreeImage_Save(FIF_GIF, quantized.get(), (dir / "c.gif").c_str(), 0));
    ASSERT_TRUE(FreeImage_Save(FIF_TIFF, dib.get(), (dir / "c.TIFF").c_str(), 0));
    for (const char* name : {"c.JPG", "c.gif", "c.TIFF"}) {
        PixelGrid g;
        ASSERT_TRUE(LoadGrid(dir / name, g)) << name;
        EXPECT_EQ(g.width, 600);
        EXPECT_EQ(g.height, 400);
    }
    PixelGrid tiff;
    ASSERT_TRUE(LoadGrid(dir / "c.TIFF", tiff));
    EXPECT_EQ(tiff, photo);
}

}  // namespace
}  // namespace corvane
