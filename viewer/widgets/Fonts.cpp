#include "viewer/widgets/Fonts.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <algorithm>

#include "viewer/core/look/FontTable.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

void InstallFontSubstitutes() {
    for (const char* face : {"Tahoma", "Arial", "MS Sans Serif", "MS Shell Dlg", "Impact"}) {
        const FontFace sub = SubstituteFace(face);
        QFont::removeSubstitutions(QString::fromLatin1(face));
        QFont::insertSubstitution(QString::fromLatin1(face), FromUtf8(sub.family));
    }
}

QFont DesignFont(const QString& face, int pixelHeight, int weight, bool italic, bool underline) {
    const QByteArray name = face.toUtf8();
    const FontFace sub = SubstituteFace(std::string_view(name.constData(), name.size()));
    QFont f(FromUtf8(sub.family));
    f.setPixelSize(pixelHeight < 1 ? 1 : pixelHeight);
    f.setWeight(sub.forceBold || weight >= 700 ? QFont::Bold : QFont::Normal);
    f.setItalic(italic);
    f.setUnderline(underline);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

QFont BodyFont(const QPaintDevice& device, const QString& face, int weight) {
    return DesignFont(face, DesignTextHeight(device.logicalDpiX()), weight);
}

int LogoNextLeft(const QFont& font, const QString& word, int left, int designLeft, int gap) {
    if (word.isEmpty()) return designLeft;
    const QFontMetrics fm(font);
    return std::max(designLeft, left + fm.horizontalAdvance(word) -
                                    std::min(0, fm.rightBearing(word.back())) + gap);
}

}  // namespace tarvell
