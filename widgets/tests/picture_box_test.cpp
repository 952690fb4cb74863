#include "widgets/picture_box.hpp"

#include <gtest/gtest.h>

#include <QScrollArea>

#include <random>

namespace corvane {
namespace {

PixelGrid RandomGrid(int w, int h, uint32_t seed) {
    std::mt19937 gen(seed);
    PixelGrid g(w, h);
    for (auto& p : g.pixels) p = gen() & 0xFFFFFFu;
    return g;
}

TEST(GridImageTest, EveryColourSurvivesBothWays) {
    // 4096 x 4096 holds each of the 2^24 colours once.
    PixelGrid all(4096, 4096);
    for (uint32_t i = 0; i < all.pixels.size(); ++i) all.pixels[i] = i;
    const QImage image = GridToQImage(all);
    ASSERT_EQ(image.size(), QSize(4096, 4096));
    EXPECT_EQ(QImageToGrid(image), all);
    // The channels land where the image keeps them, not only symmetrically.
    EXPECT_EQ(image.pixel(0x01, 0), qRgb(0x01, 0, 0));
    const uint32_t c = Rgb(0x12, 0x34, 0x56);
    EXPECT_EQ(image.pixel(static_cast<int>(c % 4096), static_cast<int>(c / 4096)), qRgb(0x12, 0x34, 0x56));
    EXPECT_TRUE(GridToQImage(PixelGrid()).isNull());
}

TEST(PictureBoxTest, FullSizeBoxTakesTheImageSize) {
    QScrollArea area;
    auto* box = new PictureBox(0);
    area.setWidget(box);
    EXPECT_EQ(box->size(), QSize(0, 0));
    const PixelGrid grid = RandomGrid(640, 480, 3);
    box->SetGrid(grid);
    EXPECT_EQ(box->Grid(), grid);
    EXPECT_EQ(box->size(), QSize(640, 480));
    box->Clear();
    EXPECT_TRUE(box->IsEmpty());
    EXPECT_EQ(box->size(), QSize(0, 0));
}

TEST(PictureBoxTest, PreviewsTakeTheLongerSide) {
    PictureBox preview(320);
    preview.SetGrid(PixelGrid(1600, 1200, Rgb(10, 20, 30)));
    EXPECT_EQ(preview.Grid().width, 320);
    EXPECT_EQ(preview.Grid().height, 240);
    // A uniform picture stays that colour through the box filter.
    EXPECT_EQ(preview.Grid().at(319, 239), Rgb(10, 20, 30));
    preview.SetGrid(PixelGrid(1200, 1600));
    EXPECT_EQ(preview.Grid().width, 240);
    EXPECT_EQ(preview.Grid().height, 320);

    PictureBox keygen(500);
    keygen.SetGrid(PixelGrid(1600, 1200));
    EXPECT_EQ(keygen.Grid().width, 500);
    EXPECT_EQ(keygen.Grid().height, 375);
    keygen.SetGrid(PixelGrid());
    EXPECT_TRUE(keygen.IsEmpty());
}

TEST(PictureBoxTest, PaintsTheGridColours) {
    PictureBox box(0);
    const PixelGrid grid = RandomGrid(31, 17, 4);
    box.SetGrid(grid);
    const QImage shown = box.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(31, 17));
    EXPECT_EQ(QImageToGrid(shown), grid);
}

}  // namespace
}  // namespace corvane
