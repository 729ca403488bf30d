// The viewer's test programs run without a display: the offscreen platform, set before the
// application object exists (also when a program is started by hand), the fonts and the images.
#include <QApplication>
#include <gtest/gtest.h>

#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Images.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tarvell::InstallFontSubstitutes();
    tarvell::BuildViewerImages();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
