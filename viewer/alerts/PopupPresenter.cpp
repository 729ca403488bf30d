#include "viewer/alerts/PopupPresenter.h"

#include <QMetaObject>
#include <chrono>

#include "platform/ManualResetEvent.h"

namespace tarvell {
namespace {

constexpr auto kStopLook = std::chrono::milliseconds(20);  // how often a waiting Show looks at stop

}  // namespace

PopupPresenter::PopupPresenter(CTarvellApp& app, InformationOpener openInformation,
                               QString soundDevice, EventLog* log, QObject* parent)
    : QObject(parent),
      app_(app),
      openInformation_(std::move(openInformation)),
      sound_(std::move(soundDevice), log) {}

PopupPresenter::~PopupPresenter() { Shutdown(); }

int PopupPresenter::Show(const std::string& key, const ManualResetEvent& stop) {
    std::unique_lock<std::mutex> guard(lock_);
    if (shutdown_ || stop.IsSet()) return kPopupNotShown;
    const std::uint64_t ticket = ++requested_;
    guard.unlock();
    QMetaObject::invokeMethod(
        this, [this, ticket, key] { Open(ticket, key); }, Qt::QueuedConnection);
    guard.lock();
    while (finished_ < ticket && !shutdown_ && !stop.IsSet()) changed_.wait_for(guard, kStopLook);
    if (finished_ < ticket) {
        abandoned_ = ticket;  // a popup not yet opened is not opened any more
        return kPopupNotShown;
    }
    return result_;
}

PopupShow PopupPresenter::ShowFunction() {
    return [this](const std::string& key, const CAlertItem&, const ManualResetEvent& stop) {
        Show(key, stop);
    };
}

void PopupPresenter::Open(std::uint64_t ticket, const std::string& key) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (shutdown_ || ticket <= abandoned_) return;
    }
    auto* popup = new CAlertPopupDlg(app_, key, &sound_, openInformation_);
    if (!popup->Begin()) {
        delete popup;
        Finish(ticket, kPopupGone);
        return;
    }
    current_ = popup;
    connect(popup, &QDialog::finished, this, [this, popup, ticket](int result) {
        if (current_ == popup) current_ = nullptr;
        popup->deleteLater();
        Finish(ticket, result);
    });
    emit opened(popup);
}

void PopupPresenter::Finish(std::uint64_t ticket, int result) {
    std::lock_guard<std::mutex> guard(lock_);
    finished_ = ticket;
    result_ = result;
    changed_.notify_all();
}

void PopupPresenter::Shutdown() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        shutdown_ = true;
        changed_.notify_all();
    }
    if (CAlertPopupDlg* popup = current_) {
        current_ = nullptr;
        popup->disconnect(this);
        if (QWidget* info = popup->Information()) delete info;
        delete popup;
    }
    sound_.Stop();
}

}  // namespace tarvell
