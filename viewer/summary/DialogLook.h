// The look of the overview panels and their dialogs: the dialog frame (widgets/DialogFrame.h) and
// the dial face of the level charts. GUI thread only.
#pragma once

#include <QImage>
#include <QSize>

#include "viewer/widgets/DialogFrame.h"

namespace tarvell {

inline constexpr QSize kDialSize{154, 124};

// The dial face of a level chart (image 0 of the dial list): a scale from 0 to 100 over the
// dial's sweep, transparent where the pie shows through.
const QImage& DialImage();

}  // namespace tarvell
