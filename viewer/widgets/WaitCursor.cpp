#include "viewer/widgets/WaitCursor.h"

#include <QApplication>
#include <QCursor>

namespace tarvell {

WaitCursor::WaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
WaitCursor::~WaitCursor() { QApplication::restoreOverrideCursor(); }

}  // namespace tarvell
