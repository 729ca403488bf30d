// A list of images of one size, drawn by index, as Windows image lists are. Images carry their
// own transparency; a strip with a key colour (magenta, RGB 255 0 255) can be cut into one.
#pragma once

#include <QImage>
#include <QPainter>
#include <QSize>
#include <vector>

namespace tarvell {

class ImageList {
public:
    ImageList() = default;
    explicit ImageList(QSize size) : size_(size) {}

    QSize Size() const { return size_; }
    int Count() const { return static_cast<int>(images_.size()); }
    // Adds an image (scaled to the list's size when it differs); returns its index.
    int Add(const QImage& image);
    // Cuts `strip` into images of the list's size, left to right; pixels of `key` become clear.
    void AddStrip(const QImage& strip, QColor key);
    const QImage& Image(int index) const { return images_.at(static_cast<std::size_t>(index)); }
    // Draws image `index` with its top-left corner at `at`; false (nothing drawn) for an index
    // outside the list.
    bool Draw(QPainter& p, int index, QPoint at) const;

private:
    QSize size_;
    std::vector<QImage> images_;
};

}  // namespace tarvell
