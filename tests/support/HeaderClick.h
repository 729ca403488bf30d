// A click on a header section of a list, as the mouse gives it. The header, a scroll area, takes
// its mouse on its viewport: a click sent to the header widget itself reaches no section and
// sorts nothing. False (no click) for a header a user could not click: hidden, its sections not
// clickable, or the section without width.
#pragma once

#include <QHeaderView>
#include <QTest>

namespace tarvell::test {

inline bool ClickHeaderSection(QHeaderView* header, int section) {
    if (!header->isVisible() || !header->sectionsClickable() || header->sectionSize(section) <= 0)
        return false;
    const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                    header->viewport()->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    return true;
}

}  // namespace tarvell::test
