#include "viewer/protection/CProtectionListWnd.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTextCursor>
#include <QTextEdit>

#include "viewer/core/look/Look.h"
#include "viewer/core/shell/MenuTable.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/protection/ProtectionPages.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/CPaintListCtrl.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/HubSignals.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/Painting.h"
#include "viewer/widgets/TextConv.h"
#include "viewer/widgets/WaitCursor.h"

namespace tarvell {
namespace {

constexpr int kImageWidth = 15, kImageHeight = 60;
const QColor kStateOff(255, 0, 0);

QFont LinkFont() { return DesignFont(QStringLiteral("Tahoma"), 13, 400, false, true); }
QFont TextFont() { return DesignFont(QStringLiteral("Tahoma"), 13); }
QFont TitleFont(const QWidget& w) { return BodyFont(w, QStringLiteral("Tahoma"), 700); }
// 160 twips: 8 points.
QFont DetailsFont(bool bold) {
    QFont f(QStringLiteral("Tahoma"));
    f.setPointSize(8);
    f.setBold(bold);
    return f;
}

void SetTextColor(QWidget* w, const QColor& c) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, c);
    w->setPalette(pal);
}

// The two row images: a rounded bar, grey with a red lamp (In-active) or green (Active).
QImage RowImage(bool active) {
    QImage image(kImageWidth, kImageHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(150, 150, 150));
    p.setBrush(active ? QColor(90, 170, 80) : QColor(215, 215, 215));
    p.drawRoundedRect(QRectF(2.5, 8.5, 10, 43), 4, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(active ? QColor(200, 240, 190) : QColor(220, 40, 30));
    p.drawEllipse(QRectF(4.5, 24.5, 6, 6));
    return image;
}

// The status line's lamp and the links' icons.
QImage Lamp(const QColor& c, int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(c.darker(140));
    p.setBrush(c);
    p.drawEllipse(QRectF(1.5, 1.5, side - 3, side - 3));
    return image;
}

void DrawTab(QPainter& p, const QRect& frame, const QColor& inside) {
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(ToQColor(look::kPanelFrame));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(frame, look::kPanelCorner / 2, look::kPanelCorner / 2);
    // Open to the bottom and the right.
    p.fillRect(QRect(frame.left(), frame.bottom() - 4, frame.width() + 1, 6), inside);
    p.fillRect(QRect(frame.right() - 4, frame.top(), 6, frame.height() + 1), inside);
}

}  // namespace

// ---- CProtectionStatusPanel

CProtectionStatusPanel::CProtectionStatusPanel(CTarvellApp& app, Prompt& prompt, QWidget* parent)
    : QWidget(parent), app_(app), prompt_(prompt) {
    title_ = new QLabel(this);
    title_->setFont(TitleFont(*this));
    title_->setGeometry(8, 7, 140, 21);
    SetTextColor(title_, ToQColor(look::kText));
    auto* label = new QLabel(QStringLiteral("Status:"), this);
    label->setFont(TextFont());
    label->setGeometry(150, 9, 45, 18);
    SetTextColor(label, ToQColor(look::kText));
    state_ = new QLabel(this);
    state_->setObjectName(QStringLiteral("state"));
    state_->setFont(TextFont());
    state_->setGeometry(197, 9, 62, 18);
    auto* lamp = new QLabel(this);
    lamp->setObjectName(QStringLiteral("lamp"));
    lamp->setGeometry(262, 10, 16, 16);
    link_ = new LinkLabel(QString(), 0, this);
    link_->setFont(LinkFont());
    link_->SetColor(ToQColor(look::kLink));
    link_->SetUnderlined(true);
    link_->setGeometry(284, 9, 90, 18);
    connect(link_, &LinkLabel::activated, this, [this] { Toggle(); });
    ShowOn(false);
}

void CProtectionStatusPanel::SetSide(ProtectionSide side, const QString& title) {
    side_ = side;
    title_->setText(title);
}

void CProtectionStatusPanel::ShowState(const CTarvellDoc& settings) {
    ShowOn(MasterSwitchOn(side_, settings));
}

void CProtectionStatusPanel::ShowOn(bool on) {
    on_ = on;
    const StatusTexts texts = StatusTextsOf(on);
    if (state_->text() != FromUtf8(texts.state)) state_->setText(FromUtf8(texts.state));
    SetTextColor(state_, on ? ToQColor(look::kText) : kStateOff);
    link_->SetText(FromUtf8(texts.link));
    if (auto* lamp = findChild<QLabel*>(QStringLiteral("lamp")))
        lamp->setPixmap(QPixmap::fromImage(Lamp(on ? QColor(90, 170, 80) : kStateOff, 14)));
}

EditResult CProtectionStatusPanel::Toggle() {
    WaitCursor wait;
    bool on = on_;
    const EditResult result = ToggleMasterSwitch(app_, side_, on);
    ShowOn(on);
    state_->repaint();
    if (result == EditResult::Saved) emit switched(on);
    else prompt_.AskString(EditResultMessage(result), PromptButtons::Ok, PromptIcon::Information);
    return result;
}

QString CProtectionStatusPanel::Title() const { return title_->text(); }
QString CProtectionStatusPanel::StateText() const { return state_->text(); }

void CProtectionStatusPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    DrawTab(p, QRect(QPoint(0, 3), QPoint(135, 30)), Qt::white);
}

// ---- CIntrusionActionsPanel

CIntrusionActionsPanel::CIntrusionActionsPanel(QWidget* parent) : QWidget(parent) {
    auto add = [this](int y, const QString& text, const QColor& icon) {
        auto* image = new QLabel(this);
        image->setPixmap(QPixmap::fromImage(Lamp(icon, 16)));
        image->setGeometry(10, y, 16, 16);
        auto* link = new LinkLabel(text, 0, this);
        link->setFont(LinkFont());
        link->SetColor(ToQColor(look::kLink));
        link->SetUnderlined(true);
        link->setGeometry(32, y - 1, 280, 18);
        return link;
    };
    edit_ = add(8, QStringLiteral("Edit/Modify selected protection..."), QColor(120, 85, 155));
    learn_ = add(32, QStringLiteral("Learn more about selected protection..."), QColor(0, 70, 213));
    connect(edit_, &LinkLabel::activated, this, &CIntrusionActionsPanel::editClicked);
    connect(learn_, &LinkLabel::activated, this, &CIntrusionActionsPanel::learnClicked);
    resize(330, 56);
}

void CIntrusionActionsPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), ToQColor(look::kSelectedRow));
}

// ---- CIntrusionDetailsPanel

CIntrusionDetailsPanel::CIntrusionDetailsPanel(DetailsPanelSetup setup, QWidget* parent)
    : QWidget(parent), setup_(std::move(setup)) {
    details_ = Named(new QTextEdit(this), QStringLiteral("Protection details"));
    details_->setReadOnly(true);
    details_->setFrameShape(QFrame::NoFrame);
    details_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    details_->setAutoFillBackground(true);
    actions_ = new CIntrusionActionsPanel(this);
    actions_->hide();
    connect(actions_, &CIntrusionActionsPanel::editClicked, this, &CIntrusionDetailsPanel::Edit);
    connect(actions_, &CIntrusionActionsPanel::learnClicked, this,
            &CIntrusionDetailsPanel::LearnMore);
    Follow();
}

int CIntrusionDetailsPanel::SelectedRow() const {
    if (!list_ || !list_->Rows()) return -1;
    const int row = list_->SelectedRow();
    return row < 0 ? -1 : static_cast<int>(list_->Rows()->ItemData(row));
}

bool CIntrusionDetailsPanel::HasSelection() const { return SelectedRow() >= 0; }

void CIntrusionDetailsPanel::ShowDetails(const std::vector<TextRun>& runs) {
    if (runs.empty()) return;
    details_->clear();
    QTextCursor cursor(details_->document());
    for (const TextRun& run : runs) {
        QTextCharFormat format;
        format.setFont(DetailsFont(run.bold));
        format.setForeground(QColor(0, 0, 0));
        cursor.insertText(FromUtf8(run.text), format);
    }
}

void CIntrusionDetailsPanel::Follow() {
    selected_ = HasSelection();
    QPalette pal = details_->palette();
    // Without a selection: the window colour of the system, white.
    pal.setColor(QPalette::Base, selected_ ? ToQColor(look::kSelectedRow) : QColor(Qt::white));
    details_->setPalette(pal);
    if (!selected_) {
        details_->clear();
        QTextCharFormat format;
        format.setFont(DetailsFont(false));
        format.setForeground(ToQColor(look::kText));
        QTextCursor(details_->document()).insertText(setup_.defaultText, format);
    }
    actions_->setVisible(selected_ && isVisible());
    update();
}

void CIntrusionDetailsPanel::Edit() {
    const int row = SelectedRow();
    if (row >= 0 && setup_.edit) setup_.edit(row);
}

void CIntrusionDetailsPanel::LearnMore() {
    const int row = SelectedRow();
    if (row >= 0 && setup_.learnMore) setup_.learnMore(row);
}

void CIntrusionDetailsPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QColor fill = selected_ ? ToQColor(look::kSelectedRow) : QColor(Qt::white);
    p.fillRect(rect(), Qt::white);
    p.setPen(ToQColor(look::kPanelFrame));
    p.setBrush(fill);
    p.drawRoundedRect(QRect(0, 3, width() - 1, height() - 4), look::kPanelCorner,
                      look::kPanelCorner);
    p.drawLine(1, 33, width() - 2, 33);
    p.setFont(TitleFont(*this));
    p.setPen(ToQColor(look::kText));
    p.drawText(QRect(10, 6, width() - 20, 26), Qt::AlignLeft | Qt::AlignVCenter, setup_.heading);
}

void CIntrusionDetailsPanel::resizeEvent(QResizeEvent*) {
    const int h = actions_->height();
    details_->setGeometry(10, 42, width() - 20, std::max(0, height() - 45 - h));
    actions_->setGeometry(1, height() - h - 3, width() - 3, h);
}

void CIntrusionDetailsPanel::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    Follow();
}

void CIntrusionDetailsPanel::hideEvent(QHideEvent* e) {
    actions_->hide();
    QWidget::hideEvent(e);
}

// ---- CProtectionListWnd

CProtectionListWnd::CProtectionListWnd(const PageContext& context, QWidget* parent)
    : QWidget(parent), context_(context), images_(QSize(kImageWidth, kImageHeight)) {
    SetMode(cmd::kIntrusionDetection);
    images_.Add(RowImage(false));
    images_.Add(RowImage(true));

    list_ = Named(new CPaintListCtrl(this), QStringLiteral("Protections"));
    list_->hide();
    list_->SetSmallImages(&images_);
    list_->SetTwoLineText(true);
    list_->SetKeepSelection(true);
    list_->SetRowHeight(kImageHeight);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->InsertColumn(0, QStringLiteral("Protection details"), 300);
    list_->installEventFilter(this);
    connect(list_, &QAbstractItemView::clicked, this,
            [this](const QModelIndex& index) { ShowRowDetails(index.row()); });
    connect(list_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex&) {
        if (CIntrusionDetailsPanel* panel = VisibleDetails()) panel->Edit();
    });
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        detection_->Follow();
        prevention_->Follow();
    });

    status_ = new CProtectionStatusPanel(context_.app, context_.prompt, this);
    status_->hide();
    auto panel = [this](ProtectionSide side, const QString& heading, const QString& text) {
        auto* p = new CIntrusionDetailsPanel(
            {heading, text, [this, side](int row) { OpenPage(side, row); },
             [this, side](int row) { LearnMore(side, row); }},
            this);
        p->SetList(list_);
        p->hide();
        return p;
    };
    detection_ =
        panel(ProtectionSide::Detection, QStringLiteral("Detection details"),
              QStringLiteral(
                  "The real-time intrusion detection screen contains Tarvell protection detection "
                  "configuration. At any time you can select a protection in order to check its "
                  "details or perform your preferred task over it."));
    prevention_ =
        panel(ProtectionSide::Prevention, QStringLiteral("Prevention Details"),
              QStringLiteral(
                  "The real-time intrusion prevention screen contains Tarvell protection "
                  "prevention configuration. At any time you can select a protection in order to "
                  "check its details or perform your preferred task over it."));

    fillTimer_.setSingleShot(true);
    connect(&fillTimer_, &QTimer::timeout, this, &CProtectionListWnd::Fill);
    // Another viewer's change (a reader pass) or this viewer's own save: the images and the
    // status line follow while the page is shown; the rows and the selection stay.
    connect(new HubSignals(context_.app, this), &HubSignals::changed, this,
            [this](HubChange change) {
                if (!isVisible() ||
                    (change != HubChange::SettingsReloaded && change != HubChange::SettingsSaved &&
                     change != HubChange::EventsPublished))
                    return;
                const auto settings = ShownSettings(context_.app);
                status_->ShowState(*settings);
                const auto active = ProtectionRowsActive(Side(), *settings);
                for (int row = 0; row < list_->Rows()->rowCount(); ++row) {
                    const auto index = static_cast<int>(list_->Rows()->ItemData(row));
                    if (index >= 0 && index < kProtectionRows)
                        SetRowActive(index, active[static_cast<std::size_t>(index)]);
                }
            });
}

void CProtectionListWnd::SetMode(CommandId mode) {
    ShellPage::SetMode(mode == cmd::kIntrusionPrevention ? cmd::kIntrusionPrevention
                                                         : cmd::kIntrusionDetection);
}

CIntrusionDetailsPanel* CProtectionListWnd::VisibleDetails() const {
    return Side() == ProtectionSide::Prevention ? prevention_ : detection_;
}

void CProtectionListWnd::Fill() {
    fillTimer_.stop();
    WaitCursor wait;
    const ProtectionSide side = Side();
    const auto settings = ShownSettings(context_.app);
    std::vector<ListRow> rows;
    for (int row = 0; row < kProtectionRows; ++row) {
        ListRow r;
        r.cells = {FromUtf8(ProtectionRowText(side, row))};
        r.image = ProtectionRowActive(side, row, *settings) ? 1 : 0;
        r.data = static_cast<quint64>(row);
        rows.push_back(std::move(r));
    }
    list_->Rows()->SetRows(std::move(rows));
    ++fills_;
    detection_->Follow();
    prevention_->Follow();
}

void CProtectionListWnd::SetRowActive(int row, bool active) {
    for (int r = 0; r < list_->Rows()->rowCount(); ++r)
        if (static_cast<int>(list_->Rows()->ItemData(r)) == row)
            list_->Rows()->SetItemImage(r, 0, active ? 1 : 0);
}

bool CProtectionListWnd::RowActive(int row) const {
    for (int r = 0; r < list_->Rows()->rowCount(); ++r)
        if (static_cast<int>(list_->Rows()->ItemData(r)) == row)
            return list_->Rows()->Row(r).image == 1;
    return false;
}

void CProtectionListWnd::ShowRowDetails(int row) {
    if (row < 0 || row >= list_->Rows()->rowCount()) return;
    const std::vector<TextRun> runs = DetailsRuns(list_->Rows()->ItemText(row, 0).toStdString());
    VisibleDetails()->ShowDetails(runs);
}

void CProtectionListWnd::OpenPage(ProtectionSide side, int row) {
    OpenProtectionPage(ModeOfSide(side), row, *this);
}

void CProtectionListWnd::LearnMore(ProtectionSide side, int row) {
    const std::string html = ProtectionPageHtml(side, row);
    if (html.empty() || !context_.showInformation) return;
    context_.showInformation(QStringLiteral("Protection Information"), FromUtf8(html), window());
}

void CProtectionListWnd::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    list_->show();
    status_->show();
    VisibleDetails()->show();
    (VisibleDetails() == detection_ ? prevention_ : detection_)->hide();
    status_->SetSide(Side(), FromUtf8(MenuText(res::kMainMenu, Mode())));
    status_->ShowState(*ShownSettings(context_.app));
    fillTimer_.start(1);
}

void CProtectionListWnd::hideEvent(QHideEvent* e) {
    fillTimer_.stop();
    list_->hide();
    status_->hide();
    detection_->hide();
    prevention_->hide();
    QWidget::hideEvent(e);
}

void CProtectionListWnd::resizeEvent(QResizeEvent*) {
    const int cx = width(), cy = height();
    status_->setGeometry(30, 27, std::max(0, cx - 408), 30);
    detection_->setGeometry(cx - 378, 27, 348, std::max(0, cy - 57));
    prevention_->setGeometry(cx - 378, 27, 348, std::max(0, cy - 57));
    list_->setGeometry(30, 61, std::max(0, cx - 408), std::max(0, cy - 92));
    const int scroll = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    list_->setColumnWidth(0, std::max(0, cx - 408 - scroll));
}

void CProtectionListWnd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    FillPageGradient(p, rect());
    FillRoundedPanel(p, rect().adjusted(20, 20, -21, -21));
    p.fillRect(QRect(30, 60, std::max(0, width() - 60), 1), ToQColor(look::kPanelFrame));
}

bool CProtectionListWnd::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const ListKey k = key == Qt::Key_Down ? ListKey::Down
                          : key == Qt::Key_Up ? ListKey::Up
                                              : ListKey::Other;
        const int selected = list_->SelectedRow();
        const int row = DetailsRowAfterKey(selected, k, list_->Rows()->rowCount());
        if (row >= 0) ShowRowDetails(row);
        // With nothing selected the list would move from a current row it may or may not have
        // set on focus: select the row shown here instead.
        if (row >= 0 && selected < 0) {
            list_->SelectRow(row);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tarvell
