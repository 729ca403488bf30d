// Shows the popup thread's alerts on the GUI thread. The popup thread calls Show (through
// ShowFunction): it posts the popup to the GUI thread and waits until the popup has closed, the
// thread is asked to stop, or the presenter shuts down. Every widget lives on the GUI thread; the
// popup thread only decides what to show.
//
// Shutdown (GUI thread) closes an open popup (and its information page) and makes every later Show
// return at once, so a popup thread that waits for the GUI is never joined by the GUI thread while
// it waits. The owner calls Shutdown, then stops the popup thread, before the presenter and the
// application object go.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "viewer/alerts/CAlertPopupDlg.h"
#include "viewer/alerts/SoundPlayer.h"
#include "viewer/core/hub/CTarvellApp.h"

namespace tarvell {

class ManualResetEvent;

class PopupPresenter : public QObject {
    Q_OBJECT
public:
    // `soundDevice`: the ALSA output of the popup sound, empty for the player's default;
    // `log`: nullptr for the system log.
    explicit PopupPresenter(CTarvellApp& app, InformationOpener openInformation = {},
                            QString soundDevice = {}, EventLog* log = nullptr,
                            QObject* parent = nullptr);
    ~PopupPresenter() override;

    // ---- popup thread
    // The popup's result: 0 closed, kPopupGone when the alert was gone; kPopupNotShown when the
    // wait ended by a stop or the shutdown before the popup closed.
    static constexpr int kPopupNotShown = -2;
    int Show(const std::string& key, const ManualResetEvent& stop);
    PopupShow ShowFunction();

    // ---- GUI thread
    void Shutdown();
    CAlertPopupDlg* Current() const { return current_; }
    SoundPlayer& Sound() { return sound_; }

signals:
    void opened(tarvell::CAlertPopupDlg* popup);

private:
    void Open(std::uint64_t ticket, const std::string& key);
    void Finish(std::uint64_t ticket, int result);

    CTarvellApp& app_;
    InformationOpener openInformation_;
    SoundPlayer sound_;
    QPointer<CAlertPopupDlg> current_;  // GUI thread
    std::mutex lock_;
    std::condition_variable changed_;
    bool shutdown_ = false;        // [lock_]
    std::uint64_t requested_ = 0;  // [lock_] the last Show's ticket
    std::uint64_t abandoned_ = 0;  // [lock_] no one waits for tickets up to here
    std::uint64_t finished_ = 0;   // [lock_] the last closed ticket
    int result_ = kPopupNotShown;  // [lock_] of finished_
};

}  // namespace tarvell
