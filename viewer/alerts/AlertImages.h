// The popup's images, drawn at start (nothing is read from files): the kind icons, 32 x 32
// (0 a threat at the normal level, 1 detection, 2 prevention), and the close icon, 21 x 21
// (0 normal, 1 under the mouse). GUI thread only.
#pragma once

#include "viewer/widgets/ImageList.h"

namespace tarvell {

const ImageList& AlertKindImages();
const ImageList& AlertCloseImages();

}  // namespace tarvell
