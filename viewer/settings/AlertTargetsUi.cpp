#include "viewer/settings/AlertTargetsUi.h"

#include <QEventLoop>
#include <QHeaderView>
#include <QLabel>
#include <thread>

#include "platform/Clock.h"
#include "shared/CTarvellDoc.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/hub/ViewerDocument.h"
#include "viewer/core/look/Look.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/settings/SettingsPageKit.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/CIpAddressCtrl.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/QtGeometry.h"
#include "viewer/widgets/TextConv.h"
#include "viewer/widgets/WaitCursor.h"

namespace tarvell {

namespace {

QString Latin(std::string_view text) { return FromUtf8(text); }

// Two columns, each half the width less a scroll-bar arrow; single, full-row selection.
QTreeWidget* TwoColumnList(QWidget* parent, const QString& first, const QString& second,
                           QRect place) {
    auto* list = new QTreeWidget(parent);
    list->setGeometry(place);
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setHeaderLabels({first, second});
    list->setStyleSheet(QStringLiteral("QTreeWidget { color: rgb(83,83,83); }"));
    const int column = (place.width() - 4) / 2 - 16;
    list->setColumnWidth(0, column);
    list->setColumnWidth(1, column);
    return list;
}

int SelectedIndex(const QTreeWidget* list) {
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.front());
}

}  // namespace

void RunOffGuiThread(const std::function<void()>& work) {
    WaitCursor wait;
    QEventLoop loop;
    std::thread worker([&] {
        work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
}

void Inform(Prompt& prompt, std::string_view utf8) {
    prompt.Ask({std::string(utf8), {}, PromptButtons::Ok, PromptIcon::Information});
}

// ---- CSetFiltersDlg

CSetFiltersDlg::CSetFiltersDlg(const std::string& target, TargetList& targets, Prompt& prompt,
                               QWidget* parent)
    : QDialog(parent), target_(target), targets_(targets), prompt_(prompt) {
    setWindowTitle(QStringLiteral("Set Filters"));
    setFont(DesignFont(QStringLiteral("Tahoma"), 13));
    setFixedSize(380, 390);
    PageGroup(this, QStringLiteral("Filter properties"), QRect(10, 14, 360, 110));
    type_ = Labelled(PageText(this, QStringLiteral("Filter type:"), QRect(20, 28, 200, 16)),
                     new QComboBox(this));
    for (std::string_view name : FilterTypeNames()) type_->addItem(Latin(name));
    type_->setCurrentIndex(-1);
    type_->setGeometry(20, 46, 220, 22);
    add_ = new QPushButton(QStringLiteral("Add Filter"), this);
    add_->setGeometry(260, 45, 100, 24);
    add_->setEnabled(false);
    value_ = Labelled(PageText(this, QStringLiteral("Filter value (use * as wild card character):"),
                               QRect(20, 74, 340, 16)),
                      new QLineEdit(this));
    value_->setGeometry(20, 92, 340, 22);
    PageGroup(this, QStringLiteral("Current filters"), QRect(10, 140, 360, 190));
    rows_ = Named(TwoColumnList(this, QStringLiteral("Type"), QStringLiteral("Value"),
                                QRect(20, 154, 340, 150)),
                  QStringLiteral("Current filters"));
    auto* remove = new LinkLabel(QStringLiteral("Remove filter"), 0, this);
    remove->SetColor(ToQColor(look::kPageLink));
    remove->SetUnderlined(true);
    remove->setGeometry(20, 308, 120, 16);
    remove_ = remove;
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok->setGeometry(190, 348, 85, 26);
    cancel->setGeometry(285, 348, 85, 26);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CSetFiltersDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(type_, &QComboBox::currentIndexChanged, this, [this] { UpdateAdd(); });
    connect(value_, &QLineEdit::textChanged, this, [this] { UpdateAdd(); });
    connect(add_, &QPushButton::clicked, this, &CSetFiltersDlg::AddFilter);
    connect(remove_, &LinkLabel::activated, this, &CSetFiltersDlg::RemoveFilter);

    for (const TargetFilter& f : ParseFilters(targets_.Filters(target_)))
        new QTreeWidgetItem(rows_, {Latin(FilterTypeNames()[static_cast<std::size_t>(f.type)]),
                                    FromUtf8(f.pattern)});
}

void CSetFiltersDlg::UpdateAdd() {
    add_->setEnabled(type_->currentIndex() >= 0 && !value_->text().isEmpty());
}

void CSetFiltersDlg::AddFilter() {
    if (!add_->isEnabled()) return;
    if (const unsigned refused = CheckFilterPattern(Utf8(value_->text()))) {
        prompt_.AskString(refused, PromptButtons::Ok, PromptIcon::Information);
        return;
    }
    new QTreeWidgetItem(rows_, {type_->currentText(), value_->text()});
    value_->clear();
    type_->setCurrentIndex(-1);
    add_->setEnabled(false);
}

void CSetFiltersDlg::RemoveFilter() {
    const int row = SelectedIndex(rows_);
    if (row >= 0) delete rows_->takeTopLevelItem(row);
}

void CSetFiltersDlg::accept() {
    std::vector<TargetFilter> filters;
    for (int i = 0; i < rows_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = rows_->topLevelItem(i);
        const int type = FilterTypeOfName(Utf8(item->text(0)));
        if (type >= 0) filters.push_back({type, Utf8(item->text(1))});
    }
    targets_.SetFilters(target_, FormatFilters(filters));
    QDialog::accept();
}

// ---- CTargetPage

CTargetPage::CTargetPage(TargetFamily family, CTarvellApp& app, Prompt& prompt,
                         ServiceControl* service, QWidget* parent)
    : CListEditorPage(Latin(FamilyInfo(family).caption), app, prompt, FamilyInfo(family).field,
                      parent),
      info_(FamilyInfo(family)),
      service_(service) {
    setMinimumSize(DluQRect(0, 0, 235, 210).size());
    setFont(DesignFont(QStringLiteral("Tahoma"), 13));
    setAutoFillBackground(true);
    QLabel* input = PageText(this, Latin(info_.inputLabel), QRect(12, 12, 240, 16));
    if (info_.ipInput) {
        ip_ = Labelled(input, new CIpAddressCtrl(this));
        ip_->setGeometry(12, 30, 180, 24);
    } else {
        edit_ = Labelled(input, new QLineEdit(this));
        edit_->setGeometry(12, 30, 190, 24);
    }
    auto* add = new QPushButton(Latin(info_.addButton), this);
    add->setGeometry(210, 30, 140, 25);
    QTreeWidget* list = Named(TwoColumnList(this, Latin(info_.column), QStringLiteral("Filters"),
                                            QRect(12, 64, 338, 200)),
                              Caption());
    LinkLabel* remove = MakeLink(Latin(info_.removeLink));
    remove->setGeometry(12, 272, 120, 16);
    SetControls(add, list, remove);
    if (ip_) WatchInput(ip_);
    else WatchInput(edit_, false);
    test_ = MakeLink(Latin(info_.testLink));
    test_->setGeometry(140, 272, 120, 16);
    filters_ = new QPushButton(QStringLiteral("Set Filters..."), this);
    filters_->setGeometry(250, 268, 100, 25);
    filters_->setEnabled(false);

    connect(test_, &LinkLabel::activated, this, &CTargetPage::OnTest);
    connect(filters_, &QPushButton::clicked, this, &CTargetPage::EditFilters);
    connect(list, &QTreeWidget::itemSelectionChanged, this,
            [this] { filters_->setEnabled(SelectedRow() >= 0); });
    connect(list, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (SelectedRow() >= 0) RowDoubleClicked();
    });
}

QString CTargetPage::TypedText() const { return ip_ ? ip_->Text() : edit_->text(); }

bool CTargetPage::InputReady() const { return ip_ ? !ip_->IsBlank() : !edit_->text().isEmpty(); }

void CTargetPage::ShowRows() {
    List()->clear();
    for (int row = 0; row < targets_.Count(); ++row)
        new QTreeWidgetItem(List(),
                            {FromUtf8(targets_.Target(row)),
                             targets_.HasFilters(row) ? QStringLiteral("Enabled") : QString()});
    filters_->setEnabled(false);
}

void CTargetPage::Fill(const std::vector<std::string>& entries) {
    Load(entries);
    ShowRows();
}

QTreeWidgetItem* CTargetPage::TypedRow() {
    if (!AddButton()->isEnabled()) return nullptr;
    const std::string typed = Utf8(TypedText());
    if (const unsigned refused = CheckTargetText(typed)) {
        prompt_.AskString(refused, PromptButtons::Ok, PromptIcon::Information);
        return nullptr;
    }
    if (targets_.Contains(typed)) {
        prompt_.AskString(str::kItemExists, PromptButtons::Ok, PromptIcon::Information);
        return nullptr;
    }
    const std::optional<std::string> target = TargetToAdd(typed);
    if (!target || !targets_.Add(*target)) return nullptr;
    return new QTreeWidgetItem(QStringList{FromUtf8(*target), QString()});
}

void CTargetPage::ClearInput() {
    if (ip_) ip_->ClearAddress();
    else edit_->clear();
}

void CTargetPage::RemoveRow(int row) {
    const std::string target = targets_.Target(row);
    targets_.Remove(row);
    CListEditorPage::RemoveRow(row);
    Forget(target);
    filters_->setEnabled(SelectedRow() >= 0);
}

bool CTargetPage::EditFilters() {
    const int row = SelectedRow();
    if (row < 0) return false;
    CSetFiltersDlg dialog(targets_.Target(row), targets_, prompt_, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    List()->topLevelItem(row)->setText(
        1, targets_.HasFilters(row) ? QStringLiteral("Enabled") : QString());
    SetModified();
    return true;
}

void CTargetPage::OnTest() {
    const bool pending = Sheet() ? Sheet()->IsApplyEnabled() : IsModified();
    switch (TestDecision(pending, targets_.Count())) {
        case TestStep::AskApply:
            prompt_.AskString(str::kApplyBeforeTest, PromptButtons::Ok, PromptIcon::Information);
            return;
        case TestStep::NoTargets: Inform(prompt_, info_.emptyMessage); return;
        case TestStep::Send: break;
    }
    unsigned message = str::kTestFailed;
    if (service_) {
        const std::string handOver = ViewerDocument::HandOverPath(app_.Server().Folder);
        const int code = info_.controlCode;
        ServiceControl& service = *service_;
        RunOffGuiThread([&] { message = SendTargetTest(service, code, handOver, DefaultClock()); });
    }
    prompt_.AskString(message, PromptButtons::Ok, PromptIcon::Information);
}

}  // namespace tarvell
