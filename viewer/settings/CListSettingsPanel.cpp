#include "viewer/settings/CListSettingsPanel.h"

#include <QMenu>
#include <QResizeEvent>
#include <algorithm>

#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/CSortListCtrl.h"
#include "viewer/widgets/Fonts.h"

namespace tarvell {

void CListSettingsPanel::AddList(const QString& name, int top) {
    top_ = top;
    view_ = Named(new CSortListCtrl(this), name);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setIconSize(QSize(16, 16));
    view_->setFont(DesignFont(QStringLiteral("Tahoma"), 13));
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    add_ = new QPushButton(this);
    add_->setFont(DesignFont(QStringLiteral("Tahoma"), 13));
}

void CListSettingsPanel::SetRowActions(QMenu* menu, std::function<void()> open) {
    menu_ = menu;
    connect(view_, &QWidget::customContextMenuRequested, this, [this](QPoint at) {
        const QModelIndex index = view_->indexAt(at);
        if (!index.isValid()) return;  // beside the rows
        view_->SelectRow(index.row());
        menu_->popup(view_->viewport()->mapToGlobal(at));
    });
    connect(view_, &QAbstractItemView::doubleClicked, this,
            [this, open = std::move(open)](const QModelIndex& index) {
                if (!index.isValid()) return;
                view_->SelectRow(index.row());
                open();
            });
}

void CListSettingsPanel::SetAddButton(const QString& text, std::function<void()> add) {
    add_->setText(text);
    connect(add_, &QPushButton::clicked, this, std::move(add));
}

void CListSettingsPanel::resizeEvent(QResizeEvent* e) {
    CSettingsPanelBase::resizeEvent(e);
    if (!view_) return;
    const int w = e->size().width(), h = e->size().height();
    view_->setGeometry(20, top_, std::max(100, w - 40), std::max(60, h - top_ - 50));
    add_->setGeometry(20, h - 40, 110, 25);
}

}  // namespace tarvell
