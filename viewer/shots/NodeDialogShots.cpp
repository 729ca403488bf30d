// Pictures of the node list, devices and logon dialogs over fixed tables.
//   tarvell-node-shots --out DIR
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTreeWidget>
#include <cstdio>
#include <cstring>

#include "viewer/protection/CDevicesListDlg.h"
#include "viewer/protection/CLogonPropertiesDlg.h"
#include "viewer/protection/CNodePropertiesDlg.h"
#include "viewer/protection/CNodesCountDlg.h"
#include "viewer/protection/CUnauthorizedListDlg.h"
#include "viewer/shots/NameAudit.h"
#include "viewer/widgets/CCheckListCtrl.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Images.h"

using namespace tarvell;

namespace {

bool Shoot(QWidget& dialog, const QString& dir, const char* name) {
    dialog.show();
    QApplication::processEvents();
    if (!AuditNames(name)) return false;
    const QString path = dir + "/" + name;
    if (dialog.grab().save(path)) return true;
    std::fprintf(stderr, "tarvell-node-shots: cannot write %s\n", path.toLocal8Bit().constData());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3 || std::strcmp(argv[1], "--out") != 0) {
        std::fprintf(stderr, "usage: tarvell-node-shots --out DIR\n");
        return 2;
    }
    InstallFontSubstitutes();
    BuildViewerImages();
    const QString dir = QString::fromLocal8Bit(argv[2]);
    PromptRecorder prompt;
    NodeDialogServices services;
    services.devices = {{"00AABB000001", "10.0.0.10/core-1/ops"},
                        {"00AABB000002", "10.0.0.9/edge-2"},
                        {"00AABB000003", "10.0.1.2/lab-3"}};
    services.ports = {{"00AABB000001/1", "Gi0/1"},
                      {"00AABB000001/2", "Gi0/2"},
                      {"00AABB000001/3", "Gi0/3"},
                      {"00AABB000002/1", "Fa0/1"}};
    services.prompt = &prompt;
    bool ok = true;

    CLogonPropertiesDlg logon(
        "svc-tarvell/CORP/secret/", [] { return true; }, prompt);
    ok &= Shoot(logon, dir, "logon-dialog.png");

    std::vector<std::string> chosen = {"00AABB000001", "00AABB000009"};
    CDevicesListDlg devices(chosen, services.devices, prompt);
    ok &= Shoot(devices, dir, "devices-list.png");

    CTarvellDoc doc;
    doc.NodesBlackList = {"00AA00000001/1;00AABB000001/2", "10.0.0.55/1;", "00AA00000002/0;",
                          "00AA000000F3/1;"};
    doc.BlackListImportFile = "/srv/tarvell/blacklist.txt";
    CUnauthorizedListDlg list("Unauthorized List", doc, &CTarvellDoc::NodesBlackList,
                              &CTarvellDoc::BlackListImportFile, services);
    ok &= Shoot(list, dir, "unauthorized-list.png");

    NodeListEdit edit(NodeMode::List, doc.NodesBlackList);
    CNodePropertiesDlg node(edit, "00AA00000001", "00AABB000001/2", services);
    ok &= Shoot(node, dir, "node-properties.png");

    doc.NodeLocations = {"00AA00000007;00AABB000001/3", "10.0.0.77;"};
    doc.UnblockAuthorizeNode = 1;
    int threshold = 5;
    CNodesCountDlg count(threshold, doc, services);
    ok &= Shoot(count, dir, "nodes-count.png");
    return ok ? 0 : 1;
}
