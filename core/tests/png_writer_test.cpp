#include "core/png_writer.hpp"

#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <string>
#include <vector>

#include "core/code_page.hpp"
#include "core/image_decoder.hpp"
#include "core/image_file.hpp"
#include "core/mfree_image.hpp"
#include "test_support.hpp"

namespace corvane {
namespace {

using testing::PhotoPath;
using testing::RandomGrid;
using testing::ReadBytes;
using testing::TempFolder;

struct Chunk {
    std::string type;
    std::string data;
};

// The chunks of a PNG file, each checked against its CRC.
std::vector<Chunk> Chunks(const std::string& file) {
    std::vector<Chunk> chunks;
    EXPECT_EQ(file.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    auto be32 = [&](size_t at) {
        return (uint32_t{static_cast<uint8_t>(file[at])} << 24) | (uint32_t{static_cast<uint8_t>(file[at + 1])} << 16) |
               (uint32_t{static_cast<uint8_t>(file[at + 2])} << 8) | static_cast<uint8_t>(file[at + 3]);
    };
    for (size_t pos = 8; pos + 12 <= file.size();) {
        const uint32_t length = be32(pos);
        Chunk c{file.substr(pos + 4, 4), file.substr(pos + 8, length)};
        const std::string covered = file.substr(pos + 4, 4 + length);
        EXPECT_EQ(be32(pos + 8 + length),
                  crc32(0, reinterpret_cast<const Bytef*>(covered.data()), static_cast<uInt>(covered.size())))
            << c.type;
        chunks.push_back(c);
        pos += 12 + length;
    }
    return chunks;
}

std::string ImageData(const std::vector<Chunk>& chunks) {
    std::string data;
    for (const Chunk& c : chunks)
        if (c.type == "IDAT") data += c.data;
    return data;
}

// What the image library writes, for comparing the chunks around the pixels.
std::string LibraryPng(const PixelGrid& grid, std::u16string_view comment, int flags) {
    UniqueImage dib(GridToImage(grid, 24));
    if (!comment.empty()) WriteImageComment(dib.get(), comment);
    FIMEMORY* memory = FreeImage_OpenMemory();
    FreeImage_SaveToMemory(FIF_PNG, dib.get(), memory, flags);
    BYTE* bytes = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(memory, &bytes, &size);
    std::string out(reinterpret_cast<char*>(bytes), size);
    FreeImage_CloseMemory(memory);
    return out;
}

PixelGrid Smooth(int w, int h) {
    PixelGrid g(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) g.at(x, y) = Rgb((x * 255) / w, (y * 255) / h, ((x + y) * 127) / (w + h));
    return g;
}

TEST(PngWriter, EveryShapeAndBothCompressionsReadBackExactly) {
    TempFolder dir;
    const std::vector<PixelGrid> grids = {RandomGrid(1, 1, 1), RandomGrid(1, 300, 2), RandomGrid(300, 1, 3),
                                          RandomGrid(97, 61, 4), Smooth(640, 480),
                                          // Large enough to be made in two halves on two cores.
                                          Smooth(1400, 800), RandomGrid(1100, 1000, 5)};
    int i = 0;
    for (const PixelGrid& grid : grids) {
        for (OutputKind kind : {OutputKind::Key, OutputKind::Png}) {
            const std::string path = dir / ("g" + std::to_string(i++) + ".png");
            ASSERT_EQ(SaveGridFile(grid, kind, path), SaveStatus::Saved) << path;
            PixelGrid back;
            std::string error;
            ASSERT_TRUE(LoadGridAs(path, LoadRule{ImageFormat::Png, 0}, back, nullptr, &error)) << path << ": " << error;
            EXPECT_EQ(back, grid) << path;
            // zlib itself accepts the stream, adler-32 included.
            const std::string data = ImageData(Chunks(ReadBytes(path)));
            std::vector<Bytef> raw((3 * static_cast<size_t>(grid.width) + 1) * grid.height + 1);
            uLongf size = static_cast<uLongf>(raw.size());
            EXPECT_EQ(uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(data.data()), data.size()), Z_OK)
                << path;
            EXPECT_EQ(size, raw.size() - 1) << path;
        }
    }
}

TEST(PngWriter, ChunksAroundThePixelsAreTheLibrarys) {
    TempFolder dir;
    const PixelGrid grid = RandomGrid(40, 30, 6);
    std::u16string comment = u"<";
    for (int i = 0; i < 10; ++i) comment.push_back(AnsiToUnicode(static_cast<uint8_t>(0x80 + 11 * i)));
    comment += u"><!\"#$%&'()*><07>";
    SaveOptions options;
    options.comment = comment;
    ASSERT_EQ(SaveGridFile(grid, OutputKind::Key, dir / "k.png", options), SaveStatus::Saved);
    const auto ours = Chunks(ReadBytes(dir / "k.png"));
    const auto theirs = Chunks(LibraryPng(grid, comment, PNG_Z_DEFAULT_COMPRESSION));
    auto without = [](std::vector<Chunk> chunks) {
        std::map<std::string, std::string> rest;
        for (const Chunk& c : chunks)
            if (c.type != "IDAT") rest[c.type] += c.data;
        return rest;
    };
    EXPECT_EQ(without(ours), without(theirs));
    EXPECT_EQ(ours.front().type, "IHDR");
    EXPECT_EQ(ours.back().type, "IEND");
    PixelGrid back;
    std::u16string read;
    ASSERT_TRUE(LoadKeyGrid(dir / "k.png", back, read));
    EXPECT_EQ(read, comment);
}

// Keys are stored, and no larger than the library's compressed keys; photos
// are no larger than the library's best compression makes them.
TEST(PngWriter, FilesAreNoLargerThanTheLibrarys) {
    TempFolder dir;
    const PixelGrid key = RandomGrid(320, 240, 7);
    ASSERT_EQ(SaveGridFile(key, OutputKind::Key, dir / "k.png"), SaveStatus::Saved);
    EXPECT_LE(ReadBytes(dir / "k.png").size(), LibraryPng(key, u"", PNG_Z_DEFAULT_COMPRESSION).size());
    PixelGrid photo;
    ASSERT_TRUE(LoadGrid(PhotoPath("coffee.png"), photo));
    // A photo as taken, and enlarged (smooth: where zlib works hardest).
    for (const PixelGrid& g : {photo, RescaleGrid(photo, 1200, 800, ResizeFilter::Bilinear)}) {
        ASSERT_EQ(SaveGridFile(g, OutputKind::Png, dir / "p.png", {{}, true}), SaveStatus::Saved);
        EXPECT_LE(ReadBytes(dir / "p.png").size(), LibraryPng(g, u"", PNG_Z_BEST_COMPRESSION).size());
    }
}

}  // namespace
}  // namespace corvane
