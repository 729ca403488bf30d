// Where text crosses between the stored bytes (Windows-1252, as the service's files hold them)
// and Qt's strings. Every widget that shows a stored text goes through this pair, once.
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "viewer/core/look/Geometry.h"
#include <QColor>

namespace tarvell {

QString FromStored(std::string_view cp1252);
std::string ToStored(const QString& text);
// Our own texts (string and menu tables) are UTF-8.
inline QString FromUtf8(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

inline QColor ToQColor(Rgb c) { return QColor(c.r, c.g, c.b); }

}  // namespace tarvell
