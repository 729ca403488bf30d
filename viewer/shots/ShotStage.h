// The common start of the picture programs: the "--out DIR" command line, the stand-in faces and
// the drawn images, and a private server folder with a registry store and a clock of its own,
// ready for a CTarvellApp. A stage points into itself: build it in place and never move it.
// SaveShot writes one picture (and checks the accessible names, see NameAudit.h).
#pragma once

#include <QApplication>
#include <QFileInfo>
#include <QPixmap>
#include <QWidget>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/shots/NameAudit.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Images.h"

namespace tarvell {

struct ShotStage {
    QString out;         // the folder the pictures go to
    std::string root;    // the private folder of this run
    std::string server;  // root/server: the server's folder
    std::unique_ptr<Registry> registry;
    FakeClock clock;
    ViewerEnvironment env;
};

// Reads the command line of `program` and writes the server's fixture files with `writeFixtures`
// (given the server folder). Returns 0 when the stage is ready, else the program's exit status
// after a message on standard error (2 for a wrong command line, 1 when the files failed).
inline int OpenShotStage(ShotStage& stage, const char* program,
                         const std::function<bool(const std::string& server)>& writeFixtures) {
    const QStringList args = QApplication::arguments();
    if (args.size() != 3 || args[1] != QStringLiteral("--out")) {
        std::fprintf(stderr, "usage: %s --out DIR\n", program);
        return 2;
    }
    stage.out = args[2];
    InstallFontSubstitutes();
    BuildViewerImages();
    stage.root = MakeTempFolder(std::string(program) + "-");
    stage.server = JoinPath(stage.root, "server");
    if (stage.root.empty() || !MakeDirectories(stage.server) || !writeFixtures(stage.server)) {
        std::fprintf(stderr, "%s: the fixture files could not be written\n", program);
        return 1;
    }
    stage.registry =
        std::make_unique<Registry>(JoinPath(stage.root, "machine"), JoinPath(stage.root, "user"));
    stage.env.programFolder = stage.server;
    stage.env.registry = stage.registry.get();
    stage.env.clock = &stage.clock;
    stage.env.mountInfo = [] { return std::string(); };
    return 0;
}

// Writes `pixmap` as DIR/NAME in PNG; false after a message on standard error naming the program.
inline bool SaveShot(const QPixmap& pixmap, const QString& dir, const char* name) {
    if (!AuditNames(name)) return false;
    const QString path = dir + QLatin1Char('/') + QLatin1String(name);
    if (pixmap.save(path, "PNG")) return true;
    std::fprintf(
        stderr, "%s: %s could not be written\n",
        QFileInfo(QApplication::applicationFilePath()).fileName().toLocal8Bit().constData(),
        path.toLocal8Bit().constData());
    return false;
}

// The widget as it stands once pending events are handled.
inline bool SaveShot(QWidget& widget, const QString& dir, const char* name) {
    QApplication::processEvents();
    return SaveShot(widget.grab(), dir, name);
}

}  // namespace tarvell
