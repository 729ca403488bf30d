// The common start of the picture programs: the "--out DIR" command line, the stand-in faces and
// the drawn images, and a private server folder (with a configuration folder, a registry store
// and a clock of its own) ready for a CTarvellApp; the folder goes when the stage does. A stage
// points into itself: build it in place and never move it.
// SaveShot writes one picture (and checks the accessible names, see NameAudit.h); a stage's Shoot
// does the same and remembers a failure in the program's exit status.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QWidget>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "shared/CTarvellDoc.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/shots/NameAudit.h"
#include "viewer/widgets/CPropertySheet.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Images.h"

namespace tarvell {

// The faces and images every picture is drawn with (after the QApplication); returns the
// program's command line.
inline QStringList StartPictures() {
    InstallFontSubstitutes();
    BuildViewerImages();
    return QApplication::arguments();
}

// VALUE of the command line "PROGRAM OPTION VALUE"; nullopt for any other command line.
inline std::optional<QString> OptionValue(const QStringList& args, const char* option) {
    if (args.size() != 3 || args[1] != QLatin1String(option)) return std::nullopt;
    return args[2];
}

// The program's file name, for messages on standard error.
inline QByteArray PictureProgram() {
    return QFileInfo(QApplication::applicationFilePath()).fileName().toLocal8Bit();
}

// Runs the event loop until `done` or `ms` passed; returns `done()`.
inline bool RunUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return done();
}

// Runs the event loop for `ms`.
inline void Settle(int ms) {
    RunUntil([] { return false; }, ms);
}

// Writes `pixmap` as DIR/NAME in PNG; false after a message on standard error naming the program.
inline bool SaveShot(const QPixmap& pixmap, const QString& dir, const char* name) {
    if (!AuditNames(name)) return false;
    const QString path = dir + QLatin1Char('/') + QLatin1String(name);
    if (pixmap.save(path, "PNG")) return true;
    std::fprintf(stderr, "%s: %s could not be written\n", PictureProgram().constData(),
                 path.toLocal8Bit().constData());
    return false;
}

// The widget as it stands once pending events are handled.
inline bool SaveShot(QWidget& widget, const QString& dir, const char* name) {
    QApplication::processEvents();
    return SaveShot(widget.grab(), dir, name);
}

// Writes the primary screen (or `area` of it) to `path` in PNG; false after a message on
// standard error naming the program.
inline bool SaveScreen(const QString& path, const QRect& area = {}) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QPixmap shot =
        screen == nullptr ? QPixmap()
        : area.isNull()   ? screen->grabWindow(0)
                          : screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    if (!shot.isNull() && shot.save(path, "PNG")) return true;
    std::fprintf(stderr, "%s: %s could not be written\n", PictureProgram().constData(),
                 path.toLocal8Bit().constData());
    return false;
}

// `doc` as the settings file of the server in `server`.
inline bool WriteSettingsFile(const std::string& server, const CTarvellDoc& doc) {
    return static_cast<bool>(doc.SaveToFile(JoinPath(server, "Tarvell.ini"), true));
}

struct ShotStage {
    QString out;         // the folder the pictures go to
    std::string root;    // the private folder of this run
    std::string server;  // root/server: the server's folder
    std::unique_ptr<Registry> registry;
    FakeClock clock;
    ViewerEnvironment env;
    int status = 0;  // the program's exit status: 1 once a picture failed

    ShotStage() = default;
    ShotStage(const ShotStage&) = delete;
    ShotStage& operator=(const ShotStage&) = delete;
    ~ShotStage() {
        if (!root.empty()) RemoveTree(root);
    }

    // Writes out/NAME from `widget` (pending events handled first) or from `pixmap`; a failure
    // sets `status`.
    void Shoot(QWidget& widget, const char* name) {
        if (!SaveShot(widget, out, name)) status = 1;
    }
    void Shoot(const QPixmap& pixmap, const char* name) {
        if (!SaveShot(pixmap, out, name)) status = 1;
    }
    // Shows `sheet`, shoots its pages in turn as `names` (the first as the sheet opens), then
    // hides it.
    void ShootSheet(CPropertySheet& sheet, std::initializer_list<const char*> names) {
        sheet.show();
        int page = 0;
        for (const char* name : names) {
            if (page > 0) sheet.SetActivePage(page);
            Shoot(sheet, name);
            ++page;
        }
        sheet.hide();
    }
};

// Reads the command line of `program` and writes the server's fixture files with `writeFixtures`
// (given the server folder). Returns 0 when the stage is ready, else the program's exit status
// after a message on standard error (2 for a wrong command line, 1 when the files failed).
inline int OpenShotStage(ShotStage& stage, const char* program,
                         const std::function<bool(const std::string& server)>& writeFixtures) {
    const std::optional<QString> out = OptionValue(StartPictures(), "--out");
    if (!out) {
        std::fprintf(stderr, "usage: %s --out DIR\n", program);
        return 2;
    }
    stage.out = *out;
    stage.root = MakeTempFolder(std::string(program) + "-");
    stage.server = JoinPath(stage.root, "server");
    if (stage.root.empty() || !MakeDirectories(stage.server) || !writeFixtures(stage.server)) {
        std::fprintf(stderr, "%s: the fixture files could not be written\n", program);
        return 1;
    }
    // What the settings pages read beside the registry (autostart entry, data sources).
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(JoinPath(stage.root, "config")));
    stage.registry =
        std::make_unique<Registry>(JoinPath(stage.root, "machine"), JoinPath(stage.root, "user"));
    stage.env.programFolder = stage.server;
    stage.env.registry = stage.registry.get();
    stage.env.clock = &stage.clock;
    stage.env.mountInfo = [] { return std::string(); };
    return 0;
}

// The same with `doc` as the server's only fixture file.
inline int OpenShotStage(ShotStage& stage, const char* program, const CTarvellDoc& doc) {
    return OpenShotStage(stage, program, [&doc](const std::string& server) {
        return WriteSettingsFile(server, doc);
    });
}

}  // namespace tarvell
