// The viewer's images, drawn by this code at start-up (nothing is read from files): the program
// icon, the banner's toolbar icons (normal and hot, which are also the header icons), the
// service-state images, the back button, the favourites and the event row images. Each is an
// ImageList under the resource number the screens name (core/CommandIds.h, namespace res).
//   128  program icon, 1 image 32 x 32
//   137  toolbar icons, 5 images 40 x 40: Summary, Monitor, Protect, Alerts, Settings (normal)
//   138  the same, hot (full colour); also the main view's header icons
//   141  service state, 2 images 51 x 20: 0 not running, 1 running
//   142  back button, 1 image 42 x 33
//   146  favourites, 4 images 24 x 24: Monitor, Protect, Alerts, Settings
//   220  event rows, 4 images 16 x 16: detection, detection with a note, prevention,
//        prevention with a note
#pragma once

#include <QIcon>

#include "viewer/widgets/ImageList.h"

namespace tarvell {

// Draws every image once; later calls do nothing. Needs the application object (QGuiApplication).
void BuildViewerImages();
// The image list of `resource`; an empty list for a number without images. Builds the images
// first when needed.
const ImageList& ViewerImages(unsigned resource);
// The program icon (window and tray).
QIcon ProgramIcon();

}  // namespace tarvell
