#include "viewer/summary/SummaryPanels.h"

#include <QPainter>
#include <QResizeEvent>

#include "viewer/core/look/Look.h"
#include "viewer/core/shell/MenuTable.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/core/summary/SummaryRules.h"
#include "viewer/widgets/CFlatToolBarCtrl.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Images.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

// ---- CSummaryDlg

CSummaryDlg::CSummaryDlg(CTarvellApp& app, SendCommand send, QWidget* parent)
    : OverviewPanel(app, std::move(send), parent) {
    const int ppi = logicalDpiX();
    QLabel* title =
        AddLabel(ctl::kPanelTitle, QStringLiteral("System Summary:"), QRect(10, 10, 500, ppi / 5 + 10),
                 DesignFont(QStringLiteral("Arial"), ppi / 5, 700));
    QPalette pal = title->palette();
    pal.setColor(QPalette::WindowText, QColor(120, 85, 155));
    title->setPalette(pal);
    AddLabel(ctl::kServiceState, FromUtf8(LoadString(str::kNotConnected)),
             QRect(12, 20 + ppi / 5, 500, ppi / 7 + 8),
             BodyFont(*this, QStringLiteral("Tahoma"), 700));
    AddLabel(ctl::kSummaryHint,
             QStringLiteral(
                 "Select an item from the list above in order to get more information and take the "
                 "necessary action."),
             QRect(12, 100, 400, 40), BodyFont(*this), true);

    favorites_ = new CFlatToolBarCtrl(this);
    favorites_->setObjectName(QStringLiteral("favorites"));
    favorites_->SetTextColor(ToQColor(look::kText));
    favorites_->SetImageList(&ViewerImages(res::kFavorites));
    const CommandId commands[] = {cmd::kMonitor, cmd::kProtect, cmd::kAlerts, cmd::kSettings};
    int image = 0;
    for (CommandId c : commands) {
        FlatButton b;
        b.command = c;
        b.text = FromUtf8(MenuText(res::kFavoritesMenu, c));
        b.image = image++;
        favorites_->AddButton(b);
    }
    favorites_->SetRows(4);
    // The buttons' commands go to the main frame, which switches the page.
    connect(favorites_, &CFlatToolBarCtrl::commandTriggered, this, [this](CommandId c) {
        if (send_) send_(static_cast<int>(c));
    });
}

void CSummaryDlg::Update() {
    const CTarvellDoc& settings = app_.Document().Fields();
    const std::string title = app_.Document().Title();
    const ServerHealth health = title == kNotConnectedTitle ? ServerHealth{} : app_.Health();
    const std::string problem = HealthStateText(health);
    const auto state = [this] { return app_.ServiceState(); };
    SetTextIfChanged(
        ctl::kServiceState, FromUtf8(problem.empty() ? ServiceStateText(title, state, settings) : problem));
    if (QLabel* state = Label(ctl::kServiceState)) state->setToolTip(FromUtf8(HealthDetailText(health)));
}

void CSummaryDlg::resizeEvent(QResizeEvent* e) {
    OverviewPanel::resizeEvent(e);
    const int side = 3 * logicalDpiX();
    favorites_->setGeometry(2, 100, side, std::min(side, favorites_->sizeHint().height()));
    const int below = 100 + favorites_->height() + 10;
    for (QLabel* label : findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
        if (label->wordWrap()) label->setGeometry(12, below, std::max(100, width() - 24), 48);
}

void CSummaryDlg::paintEvent(QPaintEvent* e) {
    OverviewPanel::paintEvent(e);
    QPainter p(this);
    p.fillRect(QRect(10, 100 - 8, width() - 20, 1), ToQColor(look::kPanelFrame));
}

}  // namespace tarvell
