#include "viewer/core/look/FontTable.h"

#include "platform/Text.h"

namespace tarvell {

FontFace SubstituteFace(std::string_view face) {
    for (std::string_view sans : {"Tahoma", "Arial", "MS Sans Serif", "MS Shell Dlg"})
        if (EqualsNoCase(face, sans)) return FontFace{"Liberation Sans", false};
    if (EqualsNoCase(face, "Impact")) return FontFace{"DejaVu Sans", true};
    return FontFace{face, false};
}

int DesignTextHeight(int pixelsPerInch) {
    const int h = pixelsPerInch / 7;
    return h < 1 ? 1 : h;
}

}  // namespace tarvell
