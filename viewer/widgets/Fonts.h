// Fonts by Windows face names. InstallFontSubstitutes tells Qt the stand-ins once at
// start-up (FontTable.h), so a font asked for as "Tahoma" is drawn in Liberation Sans;
// DesignFont builds a font from a Windows font description: face, pixel height, weight.
#pragma once

#include <QFont>
#include <QString>

class QPaintDevice;

namespace tarvell {

void InstallFontSubstitutes();

// `pixelHeight` is the Windows font height in pixels (not points); `weight` 400 normal, 700 bold.
QFont DesignFont(const QString& face, int pixelHeight, int weight = 400, bool italic = false,
                 bool underline = false);
// "Tahoma" (or "MS Sans Serif") of height pixels-per-inch / 7 of the device, the viewer's text
// font.
QFont BodyFont(const QPaintDevice& device, const QString& face = QStringLiteral("Tahoma"),
               int weight = 400);
// Where a second word of the logo starts: at `designLeft`, or `gap` pixels after `word` drawn
// from `left` in `font` (its italic overhang included) when the stand-in face is that much wider.
int LogoNextLeft(const QFont& font, const QString& word, int left, int designLeft, int gap = 4);

}  // namespace tarvell
