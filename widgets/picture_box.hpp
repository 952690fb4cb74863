#pragma once
// A picture box: shows a pixel grid, either at full size (the widget takes
// the image's size, so it can sit in a scroll area) or as a preview scaled to
// a fixed number of pixels on the longer side.
#include <QImage>
#include <QWidget>

#include "core/pixel_grid.hpp"

namespace corvane {

// An independent QImage of the grid; exact for every 24-bit colour.
QImage GridToQImage(const PixelGrid& grid);
// The way back, for images without transparency (alpha is dropped).
PixelGrid QImageToGrid(const QImage& image);

class PictureBox : public QWidget {
    Q_OBJECT

public:
    // previewSide 0: full size; n > 0: previews n pixels on the longer side.
    explicit PictureBox(int previewSide = 0, QWidget* parent = nullptr);

    int PreviewSide() const { return previewSide_; }
    bool IsPreview() const { return previewSide_ > 0; }

    // A preview box scales the grid by the core's preview rule first.
    void SetGrid(PixelGrid grid);
    // What the box shows, pixel for pixel (the preview when it is one).
    const PixelGrid& Grid() const { return grid_; }
    QImage Image() const { return GridToQImage(grid_); }
    bool IsEmpty() const { return grid_.empty(); }
    void Clear();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void FollowImageSize();

    int previewSide_ = 0;
    PixelGrid grid_;
    QImage image_;  // of grid_, made when first painted
};

}  // namespace corvane
