#include "widgets/picture_box.hpp"

#include <QPaintEvent>
#include <QPainter>

#include <utility>

#include "core/image_formats.hpp"

namespace corvane {

QImage GridToQImage(const PixelGrid& grid) {
    if (grid.empty() || grid.pixels.size() < static_cast<size_t>(grid.width) * static_cast<size_t>(grid.height))
        return {};
    QImage image(grid.width, grid.height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    for (int y = 0; y < grid.height; ++y) {
        const uint32_t* from = grid.pixels.data() + static_cast<size_t>(y) * grid.width;
        auto* to = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < grid.width; ++x) to[x] = qRgb(RedOf(from[x]), GreenOf(from[x]), BlueOf(from[x]));
    }
    return image;
}

PixelGrid QImageToGrid(const QImage& image) {
    if (image.isNull()) return {};
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    PixelGrid grid(rgb.width(), rgb.height());
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) grid.at(x, y) = Rgb(qRed(from[x]), qGreen(from[x]), qBlue(from[x]));
    }
    return grid;
}

PictureBox::PictureBox(int previewSide, QWidget* parent) : QWidget(parent), previewSide_(previewSide > 0 ? previewSide : 0) {
    FollowImageSize();
}

void PictureBox::SetGrid(PixelGrid grid) {
    grid_ = IsPreview() ? PreviewGrid(grid, previewSide_) : std::move(grid);
    image_ = QImage();
    FollowImageSize();
    update();
}

void PictureBox::Clear() { SetGrid(PixelGrid()); }

QSize PictureBox::sizeHint() const {
    if (IsPreview()) return QSize(previewSide_, previewSide_);
    return QSize(grid_.width, grid_.height);
}

void PictureBox::FollowImageSize() {
    if (IsPreview())
        setMinimumSize(previewSide_, previewSide_);
    else
        setFixedSize(grid_.empty() ? QSize(0, 0) : QSize(grid_.width, grid_.height));
    updateGeometry();
}

void PictureBox::paintEvent(QPaintEvent* e) {
    if (grid_.empty()) return;
    // Built on the first paint only: full-size boxes that are never shown
    // need no second copy of a large image.
    if (image_.isNull()) image_ = GridToQImage(grid_);
    const QRect area = e->rect() & image_.rect();
    if (area.isEmpty()) return;
    QPainter painter(this);
    painter.drawImage(area, image_, area);
}

}  // namespace corvane
