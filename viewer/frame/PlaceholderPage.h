// Stand-in page windows for the slots whose screens are built elsewhere. Each keeps the
// contract the view relies on: created hidden, refreshed from the data hub on every show for
// its current mode (through a 1 ms timer, with the wait cursor, as the real screens fill their
// lists), its timer stopped when hidden. The protection and alert overviews lay out their two
// panels.
#pragma once

#include <QLabel>
#include <QTimer>
#include <QWidget>

#include "viewer/widgets/ShellPage.h"

namespace tarvell {

class CFlatToolBarCtrl;

class CPlaceholderPage : public QWidget, public ShellPage {
    Q_OBJECT
public:
    CPlaceholderPage(int slot, const PageContext& context, QWidget* parent);

    int Slot() const { return slot_; }
    // How often the page was shown and filled (for tests).
    int Shows() const { return shows_; }
    int Fills() const { return fills_; }
    QString TitleText() const { return title_->text(); }
    QString CountText() const { return count_->text(); }
    bool FillTimerActive() const { return fill_.isActive(); }
    QWidget* Panel(int index) const { return index == 0 ? details_ : information_; }

protected:
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void paintEvent(QPaintEvent*) override;

private:
    void Fill();
    QString PageTitle() const;

    const int slot_;
    PageContext context_;
    QLabel* title_;
    QLabel* count_;
    QTimer fill_;
    QWidget* details_ = nullptr;
    QWidget* information_ = nullptr;
    int shows_ = 0;
    int fills_ = 0;
};

}  // namespace tarvell
