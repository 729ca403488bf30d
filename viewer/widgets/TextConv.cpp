#include "viewer/widgets/TextConv.h"

#include "platform/Text.h"

namespace tarvell {

QString FromStored(std::string_view cp1252) { return FromUtf8(Cp1252ToUtf8(cp1252)); }

std::string ToStored(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return Utf8ToCp1252(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

}  // namespace tarvell
