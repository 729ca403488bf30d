// The look shared by the information, report and About dialogs and the overview panels: the
// banded background, the purple header band with its white links, the white rounded panel, the
// small header icons and the dial face of the level charts. GUI thread only.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>

#include "viewer/core/look/Geometry.h"

class QWidget;

namespace tarvell {

inline constexpr Rgb kHeaderBand{102, 51, 153};
inline constexpr int kHeaderBandHeight = 22;
inline constexpr QSize kDialSize{154, 124};

// Ten bands from top to bottom (vertical = true) or left to right, band k in
// RGB(240 + k, 230 + k, 245 + k).
void PaintBands(QPainter& p, const QRect& client, bool vertical);
// The modal dialogs' look: vertical bands, the header band across the top, and the white panel
// from y = 35 to `panelBottom` between `margin` pixels from the left edge and `right`.
void PaintDialogFrame(QPainter& p, const QRect& client, int margin, int right, int panelBottom);
// The 16 x 16 header icons, white on the header band: 0 export, 1 print, 2 telnet, 3 web.
QImage HeaderIcon(int which);
// The dial face of a level chart (image 0 of the dial list): a scale from 0 to 100 over the
// dial's sweep, transparent where the pie shows through.
const QImage& DialImage();
// Fonts of the dialogs.
QFont HeaderFont(bool bold, bool underline = false);

// Shows `path` could not be written, in the shape of the viewer's messages.
void ShowWriteFailure(QWidget* parent, const QString& path, const QString& why);
// The save dialog of the exports: CSV or tab-separated text, a new file allowed, the default
// extension following the chosen type, and a question before an existing file is replaced.
// Empty when the user cancels.
QString AskExportPath(QWidget* parent);

}  // namespace tarvell
