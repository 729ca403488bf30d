// The alert popup: a small frameless, top-most tool window of 186 x 161 dialog units that slides
// in at the bottom right of the screen and shows one alert: its kind band and icon, its heading,
// its body, a close icon and "Learn more about this alert...". It closes on the close icon (at
// once), or after PopupTimeout() seconds (sliding out; 0 = never). Sliding runs on timer steps;
// nothing here sleeps. GUI thread only.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "viewer/core/alerts/AlertText.h"

class QLabel;
class QPlainTextEdit;

namespace tarvell {

class CTarvellApp;
class LinkLabel;
class SoundPlayer;

inline constexpr int kPopupGone = -1;  // the alert no longer exists

// Opens an information page (title, HTML) in a window of its own, modal to the application and
// left open when the popup goes; returns that window. The frame supplies it.
using InformationOpener = std::function<QWidget*(const QString& title, const QString& html)>;

class CAlertPopupDlg : public QDialog {
    Q_OBJECT
public:
    // `sound` may be nullptr (no sound); it must outlive the popup. Without `openInformation`
    // "Learn more" shows nothing.
    CAlertPopupDlg(CTarvellApp& app, std::string key, SoundPlayer* sound = nullptr,
                   InformationOpener openInformation = {}, QWidget* parent = nullptr);
    ~CAlertPopupDlg() override;

    // Looks the alert up and, when it exists, fills the popup and starts the slide in; false
    // (the popup stays hidden and its result is kPopupGone) when it is gone.
    bool Begin();

    const std::string& Key() const { return key_; }
    AlertKind Kind() const { return kind_; }
    QString Heading() const;
    QString Body() const;
    QRect CloseIconRect() const;
    int CloseImage() const { return closeImage_; }
    bool SlidingIn() const { return sliding_ && !slidingOut_; }
    bool SlidingOut() const { return slidingOut_; }
    bool TimeoutRunning() const { return timeout_.isActive(); }
    QWidget* Information() const { return info_; }

    // "Learn more about this alert...": the type's information page, while this popup's timer
    // keeps running.
    void LearnMore();

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    // A click gives the popup the keyboard (it shows without it); Escape then closes it.
    void mousePressEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void StartSlide(std::vector<Point> steps, bool out);
    void Step();
    void SlidIn();
    void TimedOut();
    void SetCloseImage(int index);

    CTarvellApp& app_;
    const std::string key_;
    SoundPlayer* sound_;
    AlertKind kind_;
    QLabel* title_;
    QLabel* kindIcon_;
    QLabel* heading_;
    QPlainTextEdit* body_;
    QLabel* programIcon_;
    LinkLabel* learnMore_;
    QLabel* close_;
    int closeImage_ = 0;
    QTimer slide_;
    QTimer timeout_;
    std::vector<Point> steps_;
    std::size_t step_ = 0;
    bool sliding_ = false;
    bool slidingOut_ = false;
    bool soundStarted_ = false;
    InformationOpener openInformation_;
    QPointer<QWidget> info_;
};

}  // namespace tarvell
