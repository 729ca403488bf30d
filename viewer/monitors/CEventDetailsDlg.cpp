#include "viewer/monitors/CEventDetailsDlg.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTimer>
#include <QVBoxLayout>

#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/monitors/NodeBackends.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/monitors/ToolOptionsDlgs.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/CPrintableDlg.h"
#include "viewer/widgets/CThemeTabCtrl.h"
#include "viewer/widgets/DialogLook.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/TextConv.h"
#include "viewer/widgets/WaitCursor.h"

namespace tarvell {

// Lines of one run, handed from its worker to the dialog's timer; the worker never touches a
// widget.
struct CEventDetailsDlg::Outbox {
    int tab = 0;
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};  // set by the worker after its last line
    std::mutex lock;
    std::vector<std::string> lines;  // [lock]
};

EventDetails ReadEventDetails(const CTarvellApp& app, const std::string& key) {
    EventDetails d;
    d.key = key;
    d.localIp = app.Identity().LocalIp;
    CEventItem e;
    if (!app.LookupEvent(key, e)) return d;
    d.sourceMac = nodetools::FirstMac(e.SourceMac);
    d.sourceIp = e.SourceIp;
    d.sourceName = e.SourceName;
    d.deviceIp = e.DeviceIp;
    if (auto events = app.Events()) d.location = nodetools::LocationText(*events, e.SwitchKey, key);
    return d;
}

NodeToolHooks DefaultNodeToolHooks() {
    NodeToolHooks h;
    h.echo = [] { return std::make_unique<nodetools::IcmpEchoBackend>(); };
    h.snmp = [] { return std::make_unique<nodetools::CommunitySnmpBackend>(); };
    h.wmi = [] { return MakeWmiClient(); };
    h.options = AskToolOptions;
    h.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    h.startDetached = [](const QString& program, const QStringList& args) {
        return QProcess::startDetached(program, args);
    };
    h.message = [](QWidget* parent, const QString& text) {
        QMessageBox::warning(parent, QString::fromLatin1(LoadString(str::kAppTitle)), text);
    };
    return h;
}

CEventDetailsDlg::CEventDetailsDlg(EventDetails details, QWidget* parent, NodeToolHooks hooks)
    : QDialog(parent), details_(std::move(details)), hooks_(std::move(hooks)) {
    setWindowTitle("Event Details");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 43, 18, 18);  // inside the white panel below the band
    heading_ = new QLabel("View event information.", this);
    heading_->setFont(HeaderFont(true));
    heading_->setStyleSheet(QStringLiteral("color: white"));
    telnet_ = MakeHeaderLink("Device Telnet", this);
    web_ = MakeHeaderLink("Device Web", this);
    telnet_->SetUnderlined(true);
    web_->SetUnderlined(true);
    auto* form = new QFormLayout;
    // The event's texts as the service stored them (Windows-1252).
    form->addRow("Source Mac:", new QLabel(FromStored(details_.sourceMac)));
    form->addRow("Source Ip:", new QLabel(FromStored(details_.sourceIp)));
    form->addRow("Source Name:", new QLabel(FromStored(details_.sourceName)));
    layout->addLayout(form);
    tabs_ = new CThemeTabCtrl(this);
    for (const char* t : {"Location", "Ping", "Snmp", "Wmi"}) tabs_->AddTab(t);
    tabs_->SetCurSel(kLocation);
    tabs_->setFixedHeight(26);  // the tab row alone: the output box below is the page
    layout->addWidget(tabs_);
    layout->setSpacing(4);
    output_ = Named(new QPlainTextEdit(this), QStringLiteral("Output"));
    output_->setReadOnly(true);
    layout->addWidget(output_, 1);
    auto* close = new QDialogButtonBox(QDialogButtonBox::Close);
    layout->addWidget(close);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(telnet_, &LinkLabel::activated, this, &CEventDetailsDlg::OnDeviceTelnet);
    connect(web_, &LinkLabel::activated, this, &CEventDetailsDlg::OnDeviceWeb);
    connect(tabs_, &CThemeTabCtrl::currentChanged, this, &CEventDetailsDlg::OnSelChangeTab);
    drain_ = new QTimer(this);
    drain_->setInterval(30);
    connect(drain_, &QTimer::timeout, this, &CEventDetailsDlg::Drain);
    resize(460, 420);
    ShowLocation();
}

CEventDetailsDlg::~CEventDetailsDlg() { CancelRun(); }

void CEventDetailsDlg::done(int result) {
    CancelRun();
    QDialog::done(result);
}

void CEventDetailsDlg::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    std::tie(telnetIcon_, webIcon_) = PlaceHeaderLinks(telnet_, web_, width());
    heading_->setGeometry(10, 3, std::max(0, telnet_->x() - 40), 16);
}

void CEventDetailsDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintDialogFrame(p, rect(), 8, width() - 8, height() - 8);
    p.drawImage(telnetIcon_, HeaderIcon(2));
    p.drawImage(webIcon_, HeaderIcon(3));
}

QString CEventDetailsDlg::OutputText() const { return output_->toPlainText(); }

void CEventDetailsDlg::ShowLocation() {
    output_->setPlainText(FromStored(details_.location).remove('\r'));
}

void CEventDetailsDlg::OnSelChangeTab(int tab) {
    if (tab == kLocation) ShowLocation();
    else StartTool(tab);
}

void CEventDetailsDlg::CancelRun() {
    if (run_) run_->cancel.store(true);
    run_.reset();
    if (drain_) drain_->stop();
}

void CEventDetailsDlg::StartTool(int tab) {
    output_->clear();
    const std::string target = details_.sourceIp;
    QString first, second;
    if (!hooks_.options(this, tab, first, second)) return;
    CancelRun();
    auto box = std::make_shared<Outbox>();
    box->tab = tab;
    run_ = box;
    const nodetools::LineSink sink = [box](const std::string& text) {
        std::lock_guard g(box->lock);
        box->lines.push_back(text);
    };
    const std::string a = first.toStdString(), b = second.toStdString();
    static std::atomic<std::uint32_t> tokens{1};
    if (tab == kPing) {
        std::thread([box, sink, target, a, b, echo = hooks_.echo(),
                     token = tokens++ + static_cast<std::uint32_t>(::getpid()) * 1000] {
            nodetools::RunPing(*echo, target, a, b, token, box->cancel, sink);
            box->finished.store(true);
        }).detach();
    } else if (tab == kSnmp) {
        std::thread([box, sink, target, a, b, snmp = hooks_.snmp()] {
            nodetools::RunSnmp(*snmp, target, a, b, box->cancel, sink);
            box->finished.store(true);
        }).detach();
    } else {
        std::thread([box, sink, target, a, b, local = details_.localIp, wmi = hooks_.wmi()] {
            nodetools::RunWmi(*wmi, target, a, b, local, box->cancel, sink);
            box->finished.store(true);
        }).detach();
    }
    drain_->start();
}

void CEventDetailsDlg::Drain() {
    if (!run_) return;
    std::vector<std::string> lines;
    const bool finished = run_->finished.load();
    if (finished) drain_->stop();
    {
        std::lock_guard g(run_->lock);
        lines.swap(run_->lines);
    }
    if (tabs_->CurSel() != run_->tab) return;  // another tab: the text is dropped
    for (const auto& line : lines) {
        output_->moveCursor(QTextCursor::End);
        // The WMI helper answers in UTF-8; ping and SNMP give the node's and the device's bytes,
        // read as the service's stored texts are.
        const QString text = run_->tab == kWmi ? FromUtf8(line) : FromStored(line);
        output_->insertPlainText(QString(text).remove('\r'));
    }
}

void CEventDetailsDlg::OnDeviceWeb() {
    const WaitCursor wait;
    const QString address = QString::fromStdString(details_.deviceIp);
    if (!nodetools::IsDeviceAddress(details_.deviceIp) ||
        !hooks_.openUrl(QUrl(QString::fromStdString(nodetools::DeviceWebUrl(details_.deviceIp)))))
        hooks_.message(this, QString::fromLatin1(LoadString(str::kDeviceOpenFailed)).arg(address));
}

void CEventDetailsDlg::OnDeviceTelnet() {
    const WaitCursor wait;
    const QString address = QString::fromStdString(details_.deviceIp);
    bool started = false;
    if (nodetools::IsDeviceAddress(details_.deviceIp)) {
        QStringList args;
        for (const auto& arg : nodetools::DeviceTelnetArguments(details_.deviceIp))
            args << QString::fromStdString(arg);
        started = hooks_.startDetached("x-terminal-emulator", args) ||
                  hooks_.startDetached("xterm", args);
    }
    if (!started)
        hooks_.message(this, QString::fromLatin1(LoadString(str::kDeviceOpenFailed)).arg(address));
}

void OpenEventDetails(CTarvellApp& app, const std::string& eventKey, QWidget* parent) {
    CEventDetailsDlg dlg(ReadEventDetails(app, eventKey), parent);
    dlg.exec();
}

}  // namespace tarvell
