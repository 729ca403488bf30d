// The Unauthorized List dialog's OK against a real TarvellSrv whose sibling database places node
// 00AA00000001 on port 1 of 00AABB000001: bound to port 2 the entry raises nothing; bound to port
// 1 a black-list event follows, and a block request entry stored before stays in the settings.
#include <gtest/gtest.h>

#include "tests/support/ServiceViewer.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/protection/CUnauthorizedListDlg.h"
#include "viewer/widgets/Pickers.h"

namespace tarvell::testing {
namespace {

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
    RunningService service("node-list-system-");
    std::string why;
    ASSERT_TRUE(service.InstallSibling(
        "switch 00AABB000001\n  SwitchIps 127.0.0.11\n  SwitchName core-1\n"
        "  SwitchMac 00AABB000001\n  SwitchDisabled 0\nend\n"
        "port 00AABB000001/1\n  PortName Gi0/1\n  PortAlias ethernetCsmacd\n"
        "  PortStatus 1\n  PortDisabled 0\nend\n"
        "port 00AABB000001/2\n  PortName Gi0/2\n  PortAlias ethernetCsmacd\n"
        "  PortStatus 1\n  PortDisabled 0\nend\n"
        "node 00AA00000001\n  NodeIp 127.0.0.101\n  NodeSwitch 00AABB000001\n"
        "  NodePort 1\n  NodesOnPort 1\n  NodeDisabled 0\nend\n",
        &why))
        << why;
    CTarvellDoc doc;
    doc.DetectionEnabled = 1;
    doc.BlackListEnabled = 1;
    doc.NodesBlackList = {"00AA00000009/0;"};
    ASSERT_TRUE(service.Start(doc));
    auto blacklistEvent = [&] {
        const auto event = service.Event("00AABB000001/1");
        return event && event->EventType == "Unauthorized Blacklist Node";
    };

    ServiceViewer viewer(service);
    ASSERT_TRUE(viewer.Connected());
    CTarvellApp& app = viewer.app;
    PromptRecorder prompt;
    auto accept = [&](const std::string& port) {
        ListDialog dialog(*app.ReaderSettings(),
                          NodeDialogServicesOf(app, prompt, DesktopFilePicker()));
        dialog.Bind("00AA00000001", port);
        dialog.accept();
        ASSERT_EQ(dialog.result(), QDialog::Accepted);
        ASSERT_TRUE(service.HandOverTaken()) << service.Output();
    };

    accept("00AABB000001/2");
    RunningService::Passes(5);
    EXPECT_FALSE(blacklistEvent()) << "bound to another port: no event";
    accept("00AABB000001/1");
    EXPECT_TRUE(WaitUntil(blacklistEvent, 10'000)) << service.Output();

    CTarvellDoc kept;
    ASSERT_TRUE(kept.LoadFromFile(service.Ini()));
    EXPECT_EQ(kept.NodesBlackList,
              (std::vector<std::string>{"00AA00000009/0;", "00AA00000001/1;00AABB000001/1"}));
}

}  // namespace
}  // namespace tarvell::testing
