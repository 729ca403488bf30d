// The Unauthorized List dialog's OK against a real TarvellSrv whose sibling database places node
// 00AA00000001 on port 1 of 00AABB000001: bound to port 2 the entry raises nothing; bound to port
// 1 a black-list event follows, and a block request entry stored before stays in the settings.
#include <gtest/gtest.h>
#include <grp.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "shared/StateFiles.h"
#include "tests/service/ServiceTestSupport.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/hub/ViewerDocument.h"
#include "viewer/protection/CUnauthorizedListDlg.h"
#include "viewer/widgets/Pickers.h"

namespace tarvell {
namespace {

using testing::BackgroundProgram;
using testing::ServiceEnvironment;
using testing::TempFolder;
using testing::WaitUntil;

constexpr int kPassMs = 200;
const std::string kTools = std::string(TARVELL_BINARY_DIR) + "/tools/";

bool MayHandOver() {
    const struct group* admins = ::getgrnam("tarvell-admin");
    return ::geteuid() == 0 || (admins && ::group_member(admins->gr_gid));
}

// The dialog as the Node Properties dialog leaves it after a node was added or moved.
class ListDialog : public CUnauthorizedListDlg {
public:
    ListDialog(const CTarvellDoc& opened, NodeDialogServices services)
        : CUnauthorizedListDlg("Unauthorized List", opened, &CTarvellDoc::NodesBlackList,
                               &CTarvellDoc::BlackListImportFile, std::move(services)) {}
    void Bind(const std::string& node, const std::string& port) {
        nodes_.Put(node, port);
        Fill();
    }
};

TEST(NodeListServiceSystem, TheBlackListEntryRaisesAnEventOnlyOnTheNodesOwnPort) {
    if (!MayHandOver()) GTEST_SKIP() << "needs root or membership of group tarvell-admin";
    TempFolder root{"node-list-system-"};
    const std::string service = root / "var/lib/tarvell", sibling = root / "opt/ombrix";
    ASSERT_TRUE(MakeDirectories(JoinPath(service, "handover")));
    ASSERT_TRUE(MakeDirectories(sibling));
    ASSERT_TRUE(
        AtomicWriteFile(root / "ombrix.txt",
                        "switch 00AABB000001\n  SwitchIps 127.0.0.11\n  SwitchName core-1\n"
                        "  SwitchMac 00AABB000001\n  SwitchDisabled 0\nend\n"
                        "port 00AABB000001/1\n  PortName Gi0/1\n  PortAlias ethernetCsmacd\n"
                        "  PortStatus 1\n  PortDisabled 0\nend\n"
                        "port 00AABB000001/2\n  PortName Gi0/2\n  PortAlias ethernetCsmacd\n"
                        "  PortStatus 1\n  PortDisabled 0\nend\n"
                        "node 00AA00000001\n  NodeIp 127.0.0.101\n  NodeSwitch 00AABB000001\n"
                        "  NodePort 1\n  NodesOnPort 1\n  NodeDisabled 0\nend\n"));
    for (const std::vector<std::string>& argv :
         {std::vector<std::string>{kTools + "ombrix-make", root / "ombrix.txt",
                                   sibling + "/Ombrix.db"},
          {kTools + "tarvell-reg", "set", "HKLM",
           "SYSTEM\\CurrentControlSet\\Services\\Quenmark Ombrix", "ImagePath",
           sibling + "/ombrix"}}) {
        ProcessOptions options;
        options.argv = argv;
        options.environment = ServiceEnvironment(root.Path());
        options.timeLimitMs = 30'000;
        options.captureOutput = true;
        const ProcessResult result = RunProcess(options);
        ASSERT_TRUE(result.Succeeded()) << argv.front() << ": " << result.err;
    }
    ASSERT_TRUE(WriteStateFile(JoinPath(service, kAlertLogName), AlertLogFile{}));
    ASSERT_TRUE(WriteStateFile(JoinPath(service, kReportStoreName), ReportStoreFile{}));
    ASSERT_TRUE(WriteStateFile(JoinPath(service, kEventDatabaseName), EventDatabaseFile{}));
    CTarvellDoc doc;
    doc.DetectionEnabled = 1;
    doc.BlackListEnabled = 1;
    doc.NodesBlackList = {"00AA00000009/0;"};
    ASSERT_TRUE(doc.SaveToFile(JoinPath(service, CTarvellDoc::kFileName), true));

    BackgroundProgram srv(
        {std::string(TARVELL_BINARY_DIR) + "/service/TarvellSrv", "-Run"},
        ServiceEnvironment(root.Path(), {"TARVELL_PASS_INTERVAL_MS=" + std::to_string(kPassMs)}),
        root / "service.txt");
    ASSERT_GT(srv.Pid(), 0);
    auto blacklistEvent = [&] {
        EventDatabaseFile now;
        if (!ReadStateFile(JoinPath(service, kEventDatabaseName), now)) return false;
        const auto it = now.EventMap.find("00AABB000001/1");
        return it != now.EventMap.end() && it->second->EventType == "Unauthorized Blacklist Node";
    };

    Registry registry(root / "machine", root / "user");
    ViewerEnvironment viewer;
    viewer.programFolder = service;
    viewer.registry = &registry;
    viewer.mountInfo = [] { return std::string(); };
    CTarvellApp app(viewer);
    ASSERT_TRUE(WaitUntil([&] { return app.ReloadDocument(); }, 10'000));
    PromptRecorder prompt;
    const std::string handOver = JoinPath(service, "handover/Tarvell.ini");
    auto accept = [&](const std::string& port) {
        ListDialog dialog(*app.ReaderSettings(),
                          NodeDialogServicesOf(app, prompt, DesktopFilePicker()));
        dialog.Bind("00AA00000001", port);
        dialog.accept();
        ASSERT_EQ(dialog.result(), QDialog::Accepted);
        ASSERT_TRUE(WaitUntil([&] { return !FileExists(handOver); }, 10'000)) << srv.Output();
    };

    accept("00AABB000001/2");
    std::this_thread::sleep_for(std::chrono::milliseconds(5 * kPassMs + 300));
    EXPECT_FALSE(blacklistEvent()) << "bound to another port: no event";
    accept("00AABB000001/1");
    EXPECT_TRUE(WaitUntil(blacklistEvent, 10'000)) << srv.Output();

    CTarvellDoc kept;
    ASSERT_TRUE(kept.LoadFromFile(JoinPath(service, CTarvellDoc::kFileName)));
    EXPECT_EQ(kept.NodesBlackList,
              (std::vector<std::string>{"00AA00000009/0;", "00AA00000001/1;00AABB000001/1"}));
}

}  // namespace
}  // namespace tarvell
