// What the detection pages share: clearing sub-protection boxes quietly, the Devices List and
// Logon Properties dialogs run for a page, a page's check told as a message, and a page heading.
// GUI thread only.
#pragma once

#include <QSignalBlocker>
#include <string>
#include <vector>

class QLabel;
class QLayout;
class QWidget;

namespace tarvell {

class CProtectionListWnd;

namespace detection {

// Clears every sub-protection box without the box's own handler: the master switch that does it
// has already cleared the page's state.
template <typename Subs>
void UntickQuietly(Subs& subs) {
    for (auto& s : subs) {
        const QSignalBlocker block(s.check);
        s.check->setChecked(false);
    }
}

// Runs the devices list on `keys`; true when it was accepted.
bool SelectDevices(QWidget* parent, CProtectionListWnd& list, std::vector<std::string>& keys);
// Whether the service runs under an account of its own.
bool ServiceUserAccount(CProtectionListWnd& list);
// Runs the Logon Properties dialog on `logon`; true (and `logon` replaced) on OK.
bool RunLogon(QWidget* parent, CProtectionListWnd& list, std::string& logon);
// A page's check: 0 passes; a message is told (information icon) and keeps the sheet open.
bool Passes(CProtectionListWnd& list, int message);
// A wrapping heading added to `layout`.
QLabel* Heading(QWidget* page, QLayout* layout, const char* text);

}  // namespace detection
}  // namespace tarvell
