// "Event Details" (dialog 239): the node of an event, where its switch and port are, and the
// ping, SNMP and WMI tools, each asking for its options first (ToolOptionsDlgs.h); the header
// band's links "Device Telnet" and "Device Web" open a telnet session and the switch's web page.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <string>

#include "viewer/core/monitors/NodeTools.h"

class QLabel;
class QPlainTextEdit;
class QTimer;

namespace tarvell {

class CTarvellApp;
class CThemeTabCtrl;
class LinkLabel;

struct EventDetails {
    std::string key, sourceMac, sourceIp, sourceName, deviceIp;
    std::string location;  // the location text, empty when the event was not found
    std::string localIp;   // this machine's address: a WMI query of it uses no account
};
EventDetails ReadEventDetails(const CTarvellApp& app, const std::string& key);

// How the dialog reaches the outside; replaced in tests.
struct NodeToolHooks {
    std::function<std::unique_ptr<nodetools::EchoBackend>()> echo;
    std::function<std::unique_ptr<nodetools::SnmpBackend>()> snmp;
    std::function<std::unique_ptr<WmiClient>()> wmi;
    // The two texts of a tool's options dialog; false on Cancel.
    std::function<bool(QWidget* parent, int tab, QString& first, QString& second)> options;
    std::function<bool(const QUrl&)> openUrl;
    std::function<bool(const QString& program, const QStringList& args)> startDetached;
    std::function<void(QWidget* parent, const QString& text)> message;
};
NodeToolHooks DefaultNodeToolHooks();

class CEventDetailsDlg : public QDialog {
    Q_OBJECT
public:
    enum Tab { kLocation = 0, kPing = 1, kSnmp = 2, kWmi = 3 };
    CEventDetailsDlg(EventDetails details, QWidget* parent,
                     NodeToolHooks hooks = DefaultNodeToolHooks());
    ~CEventDetailsDlg() override;

    void ShowLocation();
    void OnSelChangeTab(int tab);
    void OnPing() { StartTool(kPing); }
    void OnSnmp() { StartTool(kSnmp); }
    void OnWmi() { StartTool(kWmi); }
    void OnDeviceWeb();
    void OnDeviceTelnet();

    QString OutputText() const;
    CThemeTabCtrl* Tabs() const { return tabs_; }
    LinkLabel* TelnetLink() const { return telnet_; }
    LinkLabel* WebLink() const { return web_; }

protected:
    void done(int result) override;
    void resizeEvent(QResizeEvent*) override;
    void paintEvent(QPaintEvent*) override;

private:
    struct Outbox;
    void StartTool(int tab);
    void Drain();
    void CancelRun();

    EventDetails details_;
    NodeToolHooks hooks_;
    CThemeTabCtrl* tabs_ = nullptr;
    QLabel* heading_ = nullptr;
    LinkLabel* telnet_ = nullptr;
    LinkLabel* web_ = nullptr;
    QPoint telnetIcon_, webIcon_;
    QPlainTextEdit* output_ = nullptr;
    QTimer* drain_ = nullptr;
    std::shared_ptr<Outbox> run_;  // the newest run; older runs' lines are dropped
};

// Opens the dialog for an event key, modal over `parent`.
void OpenEventDetails(CTarvellApp& app, const std::string& eventKey, QWidget* parent);

}  // namespace tarvell
