#include "viewer/protection/DetectionPageKit.h"

#include <QLabel>
#include <QLayout>

#include "viewer/core/base/Prompt.h"
#include "viewer/protection/CDevicesListDlg.h"
#include "viewer/protection/CLogonPropertiesDlg.h"
#include "viewer/protection/CProtectionListWnd.h"
#include "viewer/protection/DetectionPagesUi.h"
#include "viewer/widgets/Pickers.h"

namespace tarvell {

namespace {

SelectDevicesHook& DevicesHook() {
    static SelectDevicesHook hook;
    return hook;
}

}  // namespace

void SetSelectDevicesHook(SelectDevicesHook hook) { DevicesHook() = std::move(hook); }

namespace detection {

bool SelectDevices(QWidget* parent, CProtectionListWnd& list, std::vector<std::string>& keys) {
    if (DevicesHook()) return DevicesHook()(parent, keys);
    const PageContext& context = list.Context();
    CDevicesListDlg dialog(
        keys, NodeDialogServicesOf(context.app, context.prompt, DesktopFilePicker()).devices,
        context.prompt, parent);
    return dialog.exec() == QDialog::Accepted;
}

bool ServiceUserAccount(CProtectionListWnd& list) {
    const PageContext& context = list.Context();
    return context.serviceUserAccount && context.serviceUserAccount() == 1;
}

bool RunLogon(QWidget* parent, CProtectionListWnd& list, std::string& logon) {
    CLogonPropertiesDlg dialog(
        logon, [&list] { return ServiceUserAccount(list); }, list.Context().prompt, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    logon = dialog.Account();
    return true;
}

bool Passes(CProtectionListWnd& list, int message) {
    if (message == 0) return true;
    list.Context().prompt.AskString(static_cast<unsigned>(message), PromptButtons::Ok,
                                    PromptIcon::Information);
    return false;
}

QLabel* Heading(QWidget* page, QLayout* layout, const char* text) {
    auto* head = new QLabel(QString::fromUtf8(text), page);
    head->setWordWrap(true);
    layout->addWidget(head);
    return head;
}

}  // namespace detection
}  // namespace tarvell
