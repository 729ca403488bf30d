#include "viewer/widgets/CPropertySheet.h"

#include <QPushButton>
#include <QShowEvent>
#include <algorithm>

#include "viewer/core/look/Look.h"
#include "viewer/widgets/CThemeTabCtrl.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

namespace {
constexpr int kMargin = 7;   // around the tabs and between the buttons
constexpr int kPagePad = 6;  // between the tab pane and the page
const QSize kButtonSize(75, 23);
}  // namespace

CPropertyPage::CPropertyPage(const QString& caption, QWidget* parent)
    : QWidget(parent), caption_(caption) {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, ToQColor(look::kText));
    pal.setColor(QPalette::Text, ToQColor(look::kText));
    pal.setColor(QPalette::ButtonText, ToQColor(look::kText));
    setPalette(pal);
    setFont(BodyFont(*this));
    hide();
}

void CPropertyPage::OnCreate() {
    initializing_ = true;
    OnInitDialog();
    initializing_ = false;
}

void CPropertyPage::SetModified(bool modified) {
    if (sheet_ == nullptr || initializing_) return;
    sheet_->rules_.SetModified(index_, modified);
    sheet_->Sync();
}

bool CPropertyPage::IsModified() const {
    return sheet_ != nullptr && sheet_->rules_.IsModified(index_);
}

LinkLabel* CPropertyPage::MakeLink(const QString& text, CommandId command, QWidget* parent) {
    auto* link = new LinkLabel(text, command, parent != nullptr ? parent : this);
    link->SetColor(ToQColor(look::kPageLink));
    link->SetUnderlined(true);
    return link;
}

CPropertySheet::CPropertySheet(const QString& caption, QWidget* parent, int startPage)
    : QDialog(parent), startPage_(startPage) {
    setWindowTitle(caption);
    setFont(BodyFont(*this));
    tabs_ = new CThemeTabCtrl(this);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    apply_ = new QPushButton(QStringLiteral("&Apply"), this);
    ok_->setDefault(true);
    ok_->setAutoDefault(true);
    apply_->setEnabled(false);
    connect(ok_, &QPushButton::clicked, this, &CPropertySheet::PressOk);
    connect(cancel_, &QPushButton::clicked, this, &CPropertySheet::PressCancel);
    connect(apply_, &QPushButton::clicked, this, &CPropertySheet::PressApply);
    connect(tabs_, &CThemeTabCtrl::currentChanged, this, [this](int index) {
        if (!SetActivePage(index)) tabs_->SetCurSel(rules_.Current());
    });
}

void CPropertySheet::AddPage(CPropertyPage* page) {
    if (page == nullptr || rules_.Current() >= 0) return;
    page->setParent(this);
    page->hide();
    page->sheet_ = this;
    page->index_ = rules_.AddPage(page);
    pages_.push_back(page);
    tabs_->AddTab(page->Caption());
}

CPropertyPage* CPropertySheet::Page(int index) const {
    return index >= 0 && index < PageCount() ? pages_[static_cast<std::size_t>(index)] : nullptr;
}

bool CPropertySheet::SetActivePage(int index) {
    const bool shown = rules_.SetActivePage(index);
    Sync();
    return shown;
}

void CPropertySheet::EndSheet(int result) {
    rules_.EndSheet(result);
    Sync();
}

void CPropertySheet::PressOk() {
    rules_.Ok();
    Sync();
}

void CPropertySheet::PressApply() {
    rules_.Apply();
    Sync();
}

void CPropertySheet::PressCancel() {
    rules_.Cancel();
    Sync();
}

void CPropertySheet::Sync() {
    apply_->setEnabled(rules_.IsApplyEnabled());
    if (rules_.IsEnded()) {
        if (!closing_) {
            closing_ = true;
            QDialog::done(rules_.Result());
        }
        return;
    }
    const int current = rules_.Current();
    if (current >= 0 && tabs_->CurSel() != current) tabs_->SetCurSel(current);
    for (int i = 0; i < PageCount(); ++i)
        pages_[static_cast<std::size_t>(i)]->setVisible(i == current);
    Place();
}

QSize CPropertySheet::sizeHint() const {
    QSize page(200, 120);
    for (const CPropertyPage* p : pages_)
        page = page.expandedTo(p->sizeHint()).expandedTo(p->minimumSize());
    // The tab control around the page: its tabs above the pane, 4 pixels of pane at the sides.
    const int paneTop = tabs_->DisplayRect().top() - tabs_->rect().top();
    const QSize tabs(page.width() + 2 * kPagePad + 8, paneTop + page.height() + 2 * kPagePad + 4);
    const int buttonsWidth = 3 * kButtonSize.width() + 4 * kMargin;
    return QSize(std::max({tabs.width() + 2 * kMargin, buttonsWidth,
                           tabs_->sizeHint().width() + 2 * kMargin}),
                 tabs.height() + 3 * kMargin + kButtonSize.height());
}

void CPropertySheet::showEvent(QShowEvent* e) {
    if (rules_.Current() < 0 && !rules_.IsEnded()) {
        rules_.Start(startPage_);
        Sync();
    }
    QDialog::showEvent(e);
}

void CPropertySheet::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    Place();
}

void CPropertySheet::Place() {
    const int cx = width(), cy = height();
    const QSize b = kButtonSize.expandedTo(ok_->sizeHint());
    const int by = cy - kMargin - b.height();
    int x = cx - kMargin - b.width();
    for (QPushButton* button : {apply_, cancel_, ok_}) {
        button->setGeometry(x, by, b.width(), b.height());
        x -= kMargin + b.width();
    }
    tabs_->setGeometry(kMargin, kMargin, std::max(0, cx - 2 * kMargin),
                       std::max(0, by - 2 * kMargin));
    if (CPropertyPage* page = ActivePage())
        page->setGeometry(tabs_->DisplayRect()
                              .translated(tabs_->pos())
                              .adjusted(kPagePad, kPagePad, -kPagePad, -kPagePad));
}

}  // namespace tarvell
