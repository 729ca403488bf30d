// The splash shown each time the main frame is shown: "Loading Tarvell..." for three seconds,
// then the readers are started (once per process; later calls do nothing) and it closes.
#pragma once

#include <QDialog>
#include <QTimer>
#include <functional>

namespace tarvell {

inline constexpr int kSplashMs = 3000;

class CSplashDlg : public QDialog {
    Q_OBJECT
public:
    CSplashDlg(std::function<void()> startReaders, int durationMs, QWidget* parent);

protected:
    void showEvent(QShowEvent*) override;
    void paintEvent(QPaintEvent*) override;

private:
    std::function<void()> startReaders_;
    QTimer timer_;
};

}  // namespace tarvell
