#include "viewer/frame/CTarvellView.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QPainter>
#include <QUrl>

#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/look/Look.h"
#include "viewer/core/shell/MenuTable.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/widgets/CFlatToolBarCtrl.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/Images.h"
#include "viewer/widgets/Painting.h"
#include "viewer/widgets/TextConv.h"
#include "viewer/widgets/WaitCursor.h"

namespace tarvell {

namespace {
constexpr int kBandBottom = 80;
constexpr int kPageTop = 75;        // the light page colour starts here
constexpr int kDropDownLeft = 167;  // from the right edge
constexpr int kBackLeft = 217;
constexpr int kToolbarHeight = 45;
constexpr DropDownBar kBars[3] = {DropDownBar::Monitor, DropDownBar::Protect, DropDownBar::Alerts};
}  // namespace

CTarvellView::CTarvellView(const PageContext& context, Hooks hooks, QWidget* parent)
    : QWidget(parent), context_(context), hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("view"));
    for (int slot = 1; slot <= kPageSlots; ++slot) {
        QWidget* page = CreatePage(slot, context_, this);
        if (page) page->hide();
        pages_[static_cast<std::size_t>(slot - 1)] = page;
    }
    const QColor white(255, 255, 255);
    for (int i = 0; i < 3; ++i) {
        auto* bar = new CFlatToolBarCtrl(this);
        bar->setObjectName(QStringLiteral("dropDown%1").arg(i + 1));
        bar->SetTextColor(white);
        for (CommandId id : DropDownCommands(kBars[i]))
            bar->AddButton({id, FromUtf8(MenuText(res::kMainMenu, id)), -1, true, false, false});
        bar->SetRows(2);
        bar->hide();
        connect(bar, &CFlatToolBarCtrl::commandTriggered, this,
                [this](CommandId id) { context_.router.Send(id); });
        dropDowns_[static_cast<std::size_t>(i)] = bar;
    }
    back_ = new CFlatToolBarCtrl(this);
    back_->setObjectName(QStringLiteral("back"));
    back_->SetTextColor(white);
    back_->SetImageList(&ViewerImages(res::kBackButton));
    back_->AddButton({0, QString(), 0, true, false, false});
    back_->hide();
    connect(back_, &CFlatToolBarCtrl::commandTriggered, this, [this](CommandId id) {
        if (id != 0) context_.router.Send(id);
    });

    for (CommandId id : PageCommands()) commands_.On(id, [this, id] { ShowPage(id); });
    commands_.On(cmd::kUpdateNow, [this] { UpdateNow(); });
    commands_.On(cmd::kHelp, [this] { Help(); });
    commands_.SetNext([this]() -> CommandTarget* {
        auto* page = dynamic_cast<ShellPage*>(VisiblePage());
        return page ? page->Commands() : nullptr;
    });
}

QWidget* CTarvellView::Page(int slot) const {
    return slot >= 1 && slot <= kPageSlots ? pages_[static_cast<std::size_t>(slot - 1)] : nullptr;
}

QWidget* CTarvellView::VisiblePage() const { return Page(state_.VisibleSlot()); }

CFlatToolBarCtrl* CTarvellView::DropDownToolbar(DropDownBar bar) const {
    const int i = static_cast<int>(bar);
    return i >= 1 && i <= 3 ? dropDowns_[static_cast<std::size_t>(i - 1)] : nullptr;
}

void CTarvellView::HideAllPages() {
    for (QWidget* page : pages_)
        if (page) page->hide();
}

bool CTarvellView::ShowPage(CommandId command) {
    const auto route = RouteOf(command);
    if (!route) return false;
    WaitCursor wait;
    state_.Apply(command);
    for (int i = 0; i < 3; ++i)
        dropDowns_[static_cast<std::size_t>(i)]->setVisible(state_.DropDown() == kBars[i]);
    if (state_.BackShown())
        back_->SetButtonInfo(0, state_.BackCommand(), FromUtf8(state_.BackText()));
    back_->setVisible(state_.BackShown());
    ApplyToolbarPermissions();
    update(QRect(QPoint(5, 5), QPoint(width() - 6, kPageTop - 1)));
    QWidget* page = Page(route->slot);
    if (route->inner && page) {
        if (auto* modePage = dynamic_cast<ShellPage*>(page)) modePage->SetMode(command);
        page->setProperty("mode", static_cast<uint>(command));
    }
    // Hidden and shown again even when it was visible: it rebuilds itself for the new mode.
    HideAllPages();
    if (page) page->show();
    return true;
}

void CTarvellView::ApplyToolbarPermissions() {
    const bool users = !context_.app.Document().Fields().ViewerUsers.empty();
    const std::string rights = users ? context_.app.GetUserPermissions() : std::string();
    for (int i = 0; i < 3; ++i)
        for (CommandId id : DropDownCommands(kBars[i]))
            dropDowns_[static_cast<std::size_t>(i)]->HideButton(id,
                                                                !CommandGranted(id, users, rights));
}

void CTarvellView::UpdateNow() {
    WaitCursor wait;
    context_.app.ReloadDocument();  // its outcome shows in the title; the pages go on
    context_.app.LoadEvents();
    context_.app.LoadAlerts();
    if (hooks_.refreshServiceState) hooks_.refreshServiceState();
    ApplyToolbarPermissions();
    if (state_.RefreshOnUpdate()) {
        if (QWidget* page = VisiblePage()) {
            page->hide();
            page->show();
        }
    }
}

QString CTarvellView::HelpPath() const {
    const QString program =
        hooks_.programPath ? hooks_.programPath() : QCoreApplication::applicationFilePath();
    return QString::fromStdString(HelpFilePath(program.toStdString()));
}

bool CTarvellView::Help() {
    const QString path = HelpPath();
    if (!QFileInfo(path).isFile()) return false;
    if (hooks_.openHelp) return hooks_.openHelp(path);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void CTarvellView::resizeEvent(QResizeEvent*) {
    const int cx = width();
    const int cy = height();
    for (auto* bar : dropDowns_)
        bar->setGeometry(cx - kDropDownLeft, 30, kDropDownLeft, kToolbarHeight);
    back_->setGeometry(cx - kBackLeft, 25, kBackLeft, kToolbarHeight);
    for (QWidget* page : pages_)
        if (page) page->setGeometry(0, kHeaderHeight, cx, std::max(0, cy - kHeaderHeight));
}

void CTarvellView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int w = width();
    FillGradientColumns(p, QRect(0, kPageTop, w, std::max(0, height() - kPageTop)), look::kPageLeft,
                        look::kPageRight);
    // The band, its corners rounded by shortening the first and last three columns.
    const QColor left = ToQColor(look::kBandLeft);
    const QColor right = ToQColor(look::kBandRight);
    const QColor edge = ToQColor(look::kBandEdge);
    for (int x = 0; x < w; ++x) {
        const double t = w > 1 ? static_cast<double>(x) / (w - 1) : 0.0;
        const QColor c(left.red() + static_cast<int>((right.red() - left.red()) * t),
                       left.green() + static_cast<int>((right.green() - left.green()) * t),
                       left.blue() + static_cast<int>((right.blue() - left.blue()) * t));
        const int fromEdge = std::min(x, w - 1 - x);
        const int shorten = fromEdge < 3 ? 3 - fromEdge : 0;
        const int bottom = kBandBottom - shorten;
        p.setPen(c);
        p.drawLine(x, 0, x, bottom - 1);
        p.setPen(edge);
        p.drawPoint(x, bottom);
    }
    p.setPen(Qt::white);
    QFont title = DesignFont(QStringLiteral("Tahoma"), 28);
    title.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    p.setFont(title);
    p.drawText(QRect(QPoint(60, 30), QPoint(399, 144)),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, FromUtf8(state_.Title()));
    if (state_.FavoriteIndex() >= 0)
        ViewerImages(res::kToolbarHot).Draw(p, state_.FavoriteIndex(), QPoint(15, 25));
    if (!state_.BackShown() && state_.DropDown() != DropDownBar::None) {
        p.setFont(DesignFont(QStringLiteral("Tahoma"), 13, 700));
        p.setPen(Qt::white);
        p.drawText(QPoint(w - 195, 15 + QFontMetrics(p.font()).ascent()),
                   FromUtf8(LoadString(str::kTakeMeTo)));
        DrawDottedDivider(p, w - 213 - 2, 20, 70, look::kHeaderDotDark, look::kHeaderDotLight);
    }
}

}  // namespace tarvell
