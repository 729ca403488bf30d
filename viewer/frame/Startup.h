// The viewer's start-up: one viewer per session, the application object and its current
// server, the service control of that server, the main frame with its tray icon, then the
// window (or, with "autoRun" on the command line, only the tray icon).
#pragma once

#include <string>

namespace tarvell {

// The service program the viewer starts when the service runs in the foreground: TarvellSrv
// beside the viewer, else in the build tree's service folder, else /usr/sbin.
std::string ServiceProgramPath();

// The whole program; returns the exit code.
int RunViewer(int argc, char** argv);

}  // namespace tarvell
