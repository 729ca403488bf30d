#include "viewer/widgets/ImageList.h"

namespace tarvell {

int ImageList::Add(const QImage& image) {
    QImage img = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (img.size() != size_)
        img = img.scaled(size_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    images_.push_back(std::move(img));
    return Count() - 1;
}

void ImageList::AddStrip(const QImage& strip, QColor key) {
    if (size_.width() <= 0 || size_.height() <= 0) return;
    QImage s = strip.convertToFormat(QImage::Format_ARGB32);
    const QRgb k = key.rgb() | 0xFF000000u;
    for (int y = 0; y < s.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(s.scanLine(y));
        for (int x = 0; x < s.width(); ++x)
            if ((line[x] | 0xFF000000u) == k) line[x] = 0;
    }
    for (int x = 0; x + size_.width() <= s.width(); x += size_.width())
        Add(s.copy(x, 0, size_.width(), size_.height()));
}

bool ImageList::Draw(QPainter& p, int index, QPoint at) const {
    if (index < 0 || index >= Count()) return false;
    p.drawImage(at, images_[static_cast<std::size_t>(index)]);
    return true;
}

}  // namespace tarvell
