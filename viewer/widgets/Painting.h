// Painting helpers of the viewer's look (core/Look.h): gradient bands, rounded white panels,
// dotted dividers and the header's sort arrow.
#pragma once

#include <QColor>
#include <QPainter>
#include <QRect>

#include "viewer/core/look/Geometry.h"

namespace tarvell {

// Fills `r` column by column from `left` (first column) to `right` (last column).
void FillGradientColumns(QPainter& p, const QRect& r, Rgb left, Rgb right);
// The light page gradient of the viewer.
void FillPageGradient(QPainter& p, const QRect& r);
// A white panel with rounded corners (core look::kPanelCorner) framed in the panel grey.
void FillRoundedPanel(QPainter& p, const QRect& r);
// A column of 4 x 4 dots, every 7 pixels, from x = left + 2 and y = firstTop down to `bottom`.
void DrawDottedDivider(QPainter& p, int left, int firstTop, int bottom, Rgb dark, Rgb light);
// The sort arrow in a 16 x 16 box whose top-left corner is `origin`.
void DrawSortArrow(QPainter& p, QPoint origin, bool ascending, const QColor& light,
                   const QColor& dark);

}  // namespace tarvell
