// What the settings screens' tests against a real TarvellSrv share: a temporary root with the
// service's folder and state files, the service started with `-Run` on it, a viewer application
// connected to that folder, the hand-over wait and the settings file read back as lines through
// `tarvell-ini --print`. Only root and the administrators (tarvell-admin) may leave files in the
// hand-over folder, so these tests skip elsewhere.
#pragma once

#include <arpa/inet.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/Registry.h"
#include "shared/StateFiles.h"
#include "tests/service/ServiceTestSupport.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/widgets/Pickers.h"
#include "viewer/widgets/ShellPage.h"

namespace tarvell::testing {

struct ScriptedFolder : FolderPicker {
    std::optional<QString> answer;
    std::optional<QString> PickFolder(QWidget*, const QString&) override { return answer; }
};

struct ScriptedFile : FilePicker {
    std::optional<QString> answer;
    std::optional<QString> PickFile(QWidget*, const QString&) override { return answer; }
};

inline bool MayHandOver() {
    const struct group* admins = ::getgrnam("tarvell-admin");
    return ::geteuid() == 0 || (admins && ::group_member(admins->gr_gid));
}

// A UDP socket on `port` of `address` (loopback; 0: a free port); Receive waits up to `ms` for
// one datagram.
class UdpListener {
public:
    explicit UdpListener(const char* address = "127.0.0.1", std::uint16_t port = 0) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in sin{};
        sin.sin_family = AF_INET;
        sin.sin_port = htons(port);
        ::inet_pton(AF_INET, address, &sin.sin_addr);
        socklen_t len = sizeof sin;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&sin), &len);
        port_ = ntohs(sin.sin_port);
    }
    ~UdpListener() { ::close(fd_); }
    UdpListener(const UdpListener&) = delete;
    UdpListener& operator=(const UdpListener&) = delete;
    std::uint16_t Port() const { return port_; }
    std::string Receive(int ms) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0) return {};
        char buffer[65536];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

// A service folder under a temporary root with empty state files and `doc` as its settings,
// and TarvellSrv -Run on it (a pass every 200 ms plus `extraEnv`). `beforeStart` prepares the
// root further (a sibling database, events of an earlier run) before the service starts.
class RunningService {
public:
    RunningService(const CTarvellDoc& doc, std::vector<std::string> extraEnv = {},
                   const char* prefix = "settings-system-",
                   const std::function<void(const TempFolder&)>& beforeStart = {})
        : root_(prefix) {
        if (beforeStart) beforeStart(root_);
        folder_ = root_ / "var/lib/tarvell";
        EXPECT_TRUE(MakeDirectories(JoinPath(folder_, "handover")));
        // Empty state files where `beforeStart` wrote none of its own.
        const auto seed = [this](std::string_view name, const auto& empty) {
            const std::string path = JoinPath(folder_, name);
            EXPECT_TRUE(FileExists(path) || WriteStateFile(path, empty));
        };
        seed(kAlertLogName, AlertLogFile{});
        seed(kEventDatabaseName, EventDatabaseFile{});
        seed(kReportStoreName, ReportStoreFile{});
        EXPECT_TRUE(doc.SaveToFile(Ini(), true));
        extraEnv.push_back("TARVELL_PASS_INTERVAL_MS=200");
        env_ = ServiceEnvironment(root_.Path(), extraEnv);
        srv_ = std::make_unique<BackgroundProgram>(std::vector<std::string>{Program(), "-Run"},
                                                   env_, root_ / "service.txt");
        EXPECT_GT(srv_->Pid(), 0);
    }

    static std::string Program() { return std::string(TARVELL_BINARY_DIR) + "/service/TarvellSrv"; }
    const TempFolder& Root() const { return root_; }
    const std::string& Folder() const { return folder_; }
    std::string Ini() const { return JoinPath(folder_, CTarvellDoc::kFileName); }
    std::string HandOver() const { return JoinPath(folder_, "handover/Tarvell.ini"); }
    const std::vector<std::string>& Environment() const { return env_; }
    std::string Output() const { return srv_->Output(); }

    // True once the service has taken the hand-over copy (it is gone), within `ms`.
    bool HandOverTaken(int ms = 10'000) const {
        return WaitUntil([&] { return !FileExists(HandOver()); }, ms);
    }
    // The service's settings file as `Field=value` lines.
    std::string PrintIni() const {
        BackgroundProgram print(
            {std::string(TARVELL_BINARY_DIR) + "/tools/tarvell-ini", "--print", Ini()}, env_,
            root_ / "print.txt");
        EXPECT_EQ(print.WaitForExit(10'000), 0) << print.Output();
        return print.Output();
    }

private:
    TempFolder root_;
    std::string folder_;
    std::vector<std::string> env_;
    std::unique_ptr<BackgroundProgram> srv_;
};

// A viewer on the machine of `root` whose current server is the service's folder, with the
// shell pieces a page needs.
struct ConnectedViewer {
    explicit ConnectedViewer(const RunningService& service)
        : registry(service.Root() / "machine", service.Root() / "user"),
          environment(MakeEnvironment(service, registry)),
          app(environment),
          context{app, router, prompt, {}, {}} {
        context.connectServer = [this](const std::string& name, const std::string& folder) {
            return app.SelectServer(name, folder);
        };
        EXPECT_TRUE(app.SelectServer("Test Server", service.Folder()));
    }

    static ViewerEnvironment MakeEnvironment(const RunningService& service, Registry& registry) {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(service.Root() / "config"));
        ViewerEnvironment viewer;
        viewer.programFolder = service.Root() / "elsewhere";
        viewer.registry = &registry;
        viewer.mountInfo = [] { return std::string(); };
        return viewer;
    }

    Registry registry;
    ViewerEnvironment environment;
    CTarvellApp app;
    CommandRouter router;
    PromptRecorder prompt;
    PageContext context;
    ScriptedFolder folders;
    ScriptedFile files;
};

}  // namespace tarvell::testing
