// What the settings screens' tests against a real TarvellSrv (tests/support/RunningService.h)
// share: a viewer with the shell pieces a page needs, connected to the service's folder as an
// added server, scripted pickers and a UDP listener. Only root and the administrators
// (tarvell-admin) may leave files in the hand-over folder, so these tests skip elsewhere.
#pragma once

#include <arpa/inet.h>
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
#include "tests/support/RunningService.h"
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
