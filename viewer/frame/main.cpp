// The viewer program. For now it starts the kit (fonts, images, commands) and shows the main
// window's frame: the title "Quenmark Tarvell - Not Connected", the program icon and the
// page background; the banner, the view and its pages stand on this foundation.
#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <QWidget>

#include "viewer/core/CommandRouter.h"
#include "viewer/core/StringTable.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Images.h"
#include "viewer/widgets/Painting.h"
#include "viewer/widgets/TextConv.h"

namespace {

class MainWindow : public QWidget {
public:
    MainWindow() {
        setWindowTitle(tarvell::FromUtf8(tarvell::LoadString(tarvell::str::kAppTitle)) + QStringLiteral(" - ") +
                       tarvell::FromUtf8(tarvell::LoadString(tarvell::str::kNotConnected)));
        setWindowIcon(tarvell::ProgramIcon());
        // The smallest window: 8 x 6 inches of the screen (768 x 576 at 96 dots per inch).
        const int dpi = logicalDpiX();
        setMinimumSize(8 * dpi, 6 * dpi);
        resize(minimumSize());
    }
    tarvell::CommandTarget& Commands() { return commands_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        tarvell::FillPageGradient(p, rect());
    }

private:
    tarvell::CommandTarget commands_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvell"));
    tarvell::InstallFontSubstitutes();
    tarvell::BuildViewerImages();
    QApplication::setWindowIcon(tarvell::ProgramIcon());

    MainWindow frame;
    tarvell::CommandRouter router(&frame.Commands());
    frame.Commands().On(tarvell::cmd::kAppExit, [&frame] { frame.close(); });
    frame.show();
    return app.exec();
}
