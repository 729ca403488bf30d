#include "viewer/frame/Startup.h"

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <cstdlib>
#include <memory>

#include "platform/Paths.h"
#include "viewer/alerts/PopupPresenter.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/service/ServiceControl.h"
#include "viewer/core/shell/ShellLogic.h"
#include "viewer/core/service/SingleInstance.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/frame/CMainFrame.h"
#include "viewer/summary/CInformationDlg.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Images.h"
#include "viewer/widgets/MessageBoxPrompt.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

std::string ServiceProgramPath() {
    const QString folder = QCoreApplication::applicationDirPath();
    for (const QString& candidate : {folder + QStringLiteral("/TarvellSrv"),
                                     folder + QStringLiteral("/../service/TarvellSrv")}) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable())
            return QDir::cleanPath(info.absoluteFilePath()).toStdString();
    }
    return "/usr/sbin/TarvellSrv";
}

namespace {

// A page is shown this long before the next one is opened, so that each fills once.
constexpr int kOpenPagesGapMs = 1000;

// The pages TARVELL_OPEN_PAGES asks for (benchmarks and tests of the whole program), sent one by
// one as if chosen from the menus.
void OpenRequestedPages(CMainFrame& frame) {
    const char* given = std::getenv("TARVELL_OPEN_PAGES");
    if (given == nullptr) return;
    const std::vector<CommandId> pages = ParseOpenPages(given);
    int at = 0;
    for (CommandId page : pages) {
        QTimer::singleShot(at, &frame, [&frame, page] { frame.Router().Send(page); });
        at += kOpenPagesGapMs;
    }
}

}  // namespace

int RunViewer(int argc, char** argv) {
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvell"));
    QApplication::setQuitOnLastWindowClosed(false);  // closing the window only hides it
    InstallFontSubstitutes();
    BuildViewerImages();
    QApplication::setWindowIcon(ProgramIcon());

    // A second viewer asks the first to show its window and ends silently.
    SingleInstance single;
    if (single.Acquire() == SingleInstance::Role::Other) return 0;

    ViewerEnvironment env;
    env.programFolder = ServiceFolder();
    CTarvellApp app(env);
    ServiceControl service([&app] { return app.Server().Machine; },
                           [program = ServiceProgramPath()](const std::string& machine) {
                               return MakeServiceBackend(machine, program);
                           });
    MessageBoxPrompt prompt;

    // The settings of the current server; the title says "Not Connected" when they cannot be read.
    app.ReloadDocument();
    CMainFrame frame(app, service, prompt);
    prompt.SetParent(&frame);
    frame.RefreshTitles();
    single.Listen([&frame] {
        QMetaObject::invokeMethod(
            &frame, [&frame] { frame.Open(); }, Qt::QueuedConnection);
    });

    // Alert popups: the popup thread decides, the presenter shows them on this thread.
    PopupPresenter popups(app, OpenInformationWindow);
    app.StartPopup(popups.ShowFunction());

    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    if (!IsAutoRun(arguments)) {
        frame.Open();
        OpenRequestedPages(frame);
        if (app.Document().Title() == kNotConnectedTitle) {
            QTimer::singleShot(0, &frame, [&prompt, server = app.Server()] {
                if (server.Name.empty()) {
                    prompt.AskString(str::kConnectFailed, PromptButtons::Ok,
                                     PromptIcon::Information);
                    return;
                }
                PromptRequest request;
                request.text = ConnectFailureText(server.Name, server.Folder);
                request.icon = PromptIcon::Information;
                prompt.Ask(request);
            });
        }
    }
    const int code = qapp.exec();
    // An open popup is closed first: the popup thread may be waiting for it.
    popups.Shutdown();
    app.StopPopup();
    return code;
}

}  // namespace tarvell
