#include "viewer/frame/CBannerBar.h"

#include <QMouseEvent>
#include <QPainter>

#include "viewer/core/shell/CommandRouter.h"
#include "viewer/core/look/Look.h"
#include "viewer/core/shell/MenuTable.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/CFlatToolBarCtrl.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Images.h"
#include "viewer/widgets/Painting.h"
#include "viewer/widgets/TextConv.h"
#include "viewer/widgets/WaitCursor.h"

namespace tarvell {

namespace {
constexpr int kTextBarRightGap = 450;
constexpr int kIconBarWidth = 215;
constexpr int kStateIconLeft = 280;  // from the right edge
constexpr QSize kStateIconSize{51, 20};
}  // namespace

CBannerBar::CBannerBar(const CommandRouter& router, Prompt& prompt, Hooks hooks, QWidget* parent)
    : QWidget(parent), router_(router), prompt_(prompt), hooks_(std::move(hooks)) {
    setFixedHeight(kBannerHeight);
    const QColor text = ToQColor(look::kLink);

    textBar_ = new CFlatToolBarCtrl(this);
    textBar_->setObjectName(QStringLiteral("bannerText"));
    textBar_->SetTextColor(text);
    for (CommandId id : {cmd::kFileMenu, cmd::kOptionsMenu, cmd::kToolsMenu, cmd::kHelpMenu}) {
        textBar_->AddButton({cmd::kSpacer, QString(), -1, false, false, false});
        textBar_->AddButton(
            {id, FromUtf8(MenuText(res::kMainMenuTexts, id)), -1, true, true, false});
    }
    connect(textBar_, &CFlatToolBarCtrl::dropDown, this, [this](CommandId id, QRect r) {
        emit dropDown(id, QRect(textBar_->mapToGlobal(r.topLeft()), r.size()));
    });

    iconBar_ = new CFlatToolBarCtrl(this);
    iconBar_->setObjectName(QStringLiteral("bannerIcons"));
    iconBar_->SetTextColor(text);
    iconBar_->SetListStyle(false);
    iconBar_->SetImageList(&ViewerImages(res::kToolbarNormal));
    iconBar_->SetHotImageList(&ViewerImages(res::kToolbarHot));
    const CommandId pages[] = {cmd::kMonitor, cmd::kProtect, cmd::kAlerts};
    for (int i = 0; i < 3; ++i) {
        if (i > 0) iconBar_->AddButton({cmd::kDivider, QString(), -1, true, false, false});
        iconBar_->AddButton(
            {pages[i], FromUtf8(MenuText(res::kMainToolbar, pages[i])), i + 1, true, false, false});
    }
    connect(iconBar_, &CFlatToolBarCtrl::commandTriggered, this,
            [this](CommandId id) { router_.Send(id); });

    stateIcon_ = new QLabel(this);
    stateIcon_->setObjectName(QStringLiteral("serviceState"));
    stateIcon_->setCursor(Qt::PointingHandCursor);
    stateIcon_->setFixedSize(kStateIconSize);
    MakeAccessibleButton(stateIcon_, FromUtf8(MenuText(res::kMainToolbar, cmd::kService)));
    stateIcon_->installEventFilter(this);
    stateIcon_->hide();
}

void CBannerBar::RefreshServerState() {
    ShowServerState(hooks_.queryState ? hooks_.queryState() : -1);
}

void CBannerBar::ShowServerState(int state) {
    if (!icon_.Update(state)) return;
    const ImageList& images = ViewerImages(res::kServiceState);
    if (images.Count() > icon_.Image())
        stateIcon_->setPixmap(QPixmap::fromImage(images.Image(icon_.Image())));
    stateIcon_->setVisible(icon_.Visible());
    repaint();
}

void CBannerBar::OnServiceCommand() {
    WaitCursor wait;
    const int state = hooks_.queryState ? hooks_.queryState() : -1;
    const bool users = hooks_.hasViewerUsers && hooks_.hasViewerUsers();
    const std::string rights = users && hooks_.permissions ? hooks_.permissions() : std::string();
    const ServiceClick click = ServiceClickAction(state, users, rights);
    if (click.message != 0) {
        prompt_.AskString(click.message, PromptButtons::Ok, PromptIcon::Information);
        return;
    }
    router_.Send(click.send);
}

bool CBannerBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == stateIcon_ && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        router_.Send(cmd::kService);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void CBannerBar::showEvent(QShowEvent*) { RefreshServerState(); }

void CBannerBar::resizeEvent(QResizeEvent*) {
    const int cx = width();
    textBar_->setGeometry(0, 0, std::max(0, cx - kTextBarRightGap), kBannerHeight);
    iconBar_->setGeometry(cx - kIconBarWidth, 0, kIconBarWidth, kBannerHeight);
    stateIcon_->move(cx - kStateIconLeft, 10);
}

void CBannerBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    FillGradientColumns(p, r, look::kPageLeft, look::kPageRight);
    p.setPen(ToQColor(look::kBandEdge));
    p.drawLine(0, r.bottom(), r.right(), r.bottom());

    // The maker's word, then the product's name at x 85 or, when the maker's face is wider than
    // that leaves room for, just after the word (the stand-in faces are wider than Tahoma).
    const QFont maker = DesignFont(QStringLiteral("Impact"), 20, 400, true, true);
    p.setFont(maker);
    p.setPen(ToQColor(look::kMakerGrey));
    const QString makerWord = QStringLiteral("Quenmark");
    p.drawText(QRect(QPoint(10, 25), QPoint(299, 49)),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, makerWord);
    const int productLeft = LogoNextLeft(maker, makerWord, 10, 85);
    p.setFont(DesignFont(QStringLiteral("Arial"), 26, 700));
    p.setPen(ToQColor(look::kProductRed));
    p.drawText(QRect(QPoint(productLeft, 30), QSize(215, 30)),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, QStringLiteral("Tarvell"));
    if (icon_.Visible()) {
        // The caption sits on the line of the page buttons' captions beside it.
        p.setFont(DesignFont(QStringLiteral("Tahoma"), logicalDpiX() / 7));
        p.setPen(ToQColor(look::kLink));
        const int cx = width();
        QRect line(QPoint(cx - 280, 30), QPoint(cx - 227, 59));
        const int first = iconBar_->CommandToIndex(cmd::kMonitor);
        if (const QRect text = iconBar_->TextRect(first); !text.isEmpty())
            line = QRect(cx - 280, iconBar_->y() + text.top(), 54, text.height());
        p.drawText(line, Qt::AlignCenter | Qt::TextSingleLine,
                   FromUtf8(MenuText(res::kMainToolbar, cmd::kService)));
    }
}

}  // namespace tarvell
