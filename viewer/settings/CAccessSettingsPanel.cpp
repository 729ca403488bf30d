#include "viewer/settings/CAccessSettingsPanel.h"

#include <QFrame>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QPainter>

#include "shared/CTarvellDoc.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/look/Look.h"
#include "viewer/core/settings/ExportSettings.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/settings/SettingsPageKit.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/CIpAddressCtrl.h"
#include "viewer/widgets/CSortListCtrl.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/ShellPage.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

namespace {

void Tell(Prompt& prompt, unsigned message) {
    prompt.AskString(message, PromptButtons::Ok, PromptIcon::Information);
}

void AccessPageLook(CPropertyPage* page) {
    page->setMinimumSize(444, 384);
    page->setFont(DesignFont(QStringLiteral("Tahoma"), 13));
    page->setAutoFillBackground(true);
}

class PickListChooser : public HostChooser {
public:
    std::optional<QString> Choose(QWidget* parent, const QString& title,
                                  const std::vector<std::string>& offered) override {
        QStringList items;
        for (const std::string& name : offered) items << FromUtf8(name);
        bool ok = false;
        const QString chosen =
            QInputDialog::getItem(parent, QStringLiteral("Browse"), title, items, 0, true, &ok);
        if (!ok || chosen.isEmpty()) return std::nullopt;
        return chosen;
    }
};

HostChooser* g_hostChooser = nullptr;

// The users list's one image.
const QPixmap& UserImage() {
    static const QPixmap image = [] {
        QPixmap pm(16, 16);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QColor(90, 60, 130));
        p.setBrush(QColor(102, 51, 153));
        p.drawEllipse(QRectF(5, 1.5, 6, 6));
        p.drawRoundedRect(QRectF(2.5, 8.5, 11, 6.5), 3, 3);
        return pm;
    }();
    return image;
}

class UserRowsModel : public ListRowsModel {
public:
    using ListRowsModel::ListRowsModel;
    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::DecorationRole && index.column() == 0) return UserImage();
        return ListRowsModel::data(index, role);
    }
};

}  // namespace

HostChooser& AccessHostChooser() {
    static PickListChooser list;
    return g_hostChooser ? *g_hostChooser : list;
}
void SetAccessHostChooser(HostChooser* chooser) { g_hostChooser = chooser; }

// ---- General

CSettingsAccessUser::CSettingsAccessUser(Prompt& prompt, ViewerUsers& users,
                                         std::vector<std::string> domains,
                                         std::vector<std::string> computers, QWidget* parent)
    : CPropertyPage(QStringLiteral("General"), parent),
      prompt_(prompt),
      users_(users),
      domains_(std::move(domains)),
      computers_(std::move(computers)) {
    AccessPageLook(this);
    PageText(this,
             QStringLiteral("Set the preferred properties of the user that will be used to access "
                            "the selected Tarvell server."),
             QRect(12, 10, 420, 34));
    PageGroup(this, QStringLiteral("User"), QRect(12, 56, 420, 200));
    name_ = Labelled(PageText(this, QStringLiteral("User name:"), QRect(24, 72, 100, 20)),
                     new QLineEdit(QStringLiteral("Everyone"), this));
    name_->setGeometry(130, 70, 190, 22);
    everyone_ = new QPushButton(QStringLiteral("Everyone"), this);
    everyone_->setGeometry(330, 69, 90, 24);

    auto line = [this](const QString& text, int y, QCheckBox*& box, QLineEdit*& edit,
                       QPushButton*& browse) {
        box = new QCheckBox(text, this);
        box->setGeometry(24, y, 104, 22);
        edit = Named(new QLineEdit(this), NameFromLabel(text));
        edit->setGeometry(130, y, 190, 22);
        edit->setEnabled(false);
        browse = new QPushButton(QStringLiteral("Browse..."), this);
        browse->setGeometry(330, y - 1, 90, 24);
        browse->setEnabled(false);
    };
    line(QStringLiteral("Use domain:"), 104, domainBox_, domain_, domainBrowse_);
    line(QStringLiteral("Use computer:"), 136, computerBox_, computer_, computerBrowse_);
    ipBox_ = new QCheckBox(QStringLiteral("Use Ip:"), this);
    ipBox_->setGeometry(44, 168, 84, 22);
    ip_ = Named(new CIpAddressCtrl(this), QStringLiteral("Ip"));
    ip_->setGeometry(130, 168, 190, 22);
    macBox_ = new QCheckBox(QStringLiteral("Use Mac:"), this);
    macBox_->setGeometry(44, 200, 84, 22);
    mac_ = Named(new QLineEdit(this), QStringLiteral("Mac"));
    mac_->setMaxLength(kMacChars);
    mac_->setGeometry(130, 200, 190, 22);
    for (QWidget* w : std::initializer_list<QWidget*>{ipBox_, ip_, macBox_, mac_})
        w->setEnabled(false);

    PageGroup(this, QStringLiteral("Description"), QRect(12, 272, 420, 100));
    description_ = Named(new QPlainTextEdit(this), QStringLiteral("Description"));
    description_->setGeometry(24, 288, 396, 74);

    const auto modified = [this] { SetModified(true); };
    connect(name_, &QLineEdit::textEdited, this, modified);
    connect(domain_, &QLineEdit::textEdited, this, modified);
    connect(computer_, &QLineEdit::textEdited, this, modified);
    connect(mac_, &QLineEdit::textEdited, this, modified);
    connect(ip_, &CIpAddressCtrl::addressChanged, this, modified);
    connect(description_, &QPlainTextEdit::textChanged, this, modified);
    connect(everyone_, &QPushButton::clicked, this, [this] {
        name_->setText(FromUtf8(LoadString(str::kEveryone)));
        SetModified(true);
    });
    // Each box's value, whatever changed it (a click, the space key, an assistive technology);
    // the boxes a handler sets in turn do not run theirs.
    const auto react = [this](QCheckBox* box, void (CSettingsAccessUser::*handler)(bool)) {
        connect(box, &QCheckBox::toggled, this, [this, handler](bool on) {
            if (reacting_) return;
            reacting_ = true;
            (this->*handler)(on);
            reacting_ = false;
            SetModified(true);
        });
    };
    react(domainBox_, &CSettingsAccessUser::OnDomain);
    react(computerBox_, &CSettingsAccessUser::OnComputer);
    react(ipBox_, &CSettingsAccessUser::OnIp);
    react(macBox_, &CSettingsAccessUser::OnMac);
    connect(domainBrowse_, &QPushButton::clicked, this, [this] { Browse(true); });
    connect(computerBrowse_, &QPushButton::clicked, this, [this] { Browse(false); });
}

void CSettingsAccessUser::OnDomain(bool on) {
    domain_->setEnabled(on);
    domainBrowse_->setEnabled(on);
    if (on) {
        computerBox_->setChecked(false);
        OnComputer(false);
        domain_->setFocus();
    } else {
        domain_->clear();
    }
}

void CSettingsAccessUser::OnComputer(bool on) {
    computer_->setEnabled(on);
    computerBrowse_->setEnabled(on);
    ipBox_->setEnabled(on);
    macBox_->setEnabled(on);
    if (on) {
        domainBox_->setChecked(false);
        OnDomain(false);
        computer_->setFocus();
    } else {
        computer_->clear();
    }
    ipBox_->setChecked(false);
    OnIp(false);
    macBox_->setChecked(false);
    OnMac(false);
}

void CSettingsAccessUser::OnIp(bool on) {
    if (!on) {
        ip_->ClearAddress();
        ip_->setEnabled(false);
        return;
    }
    computer_->clear();
    mac_->clear();
    for (QWidget* w : std::initializer_list<QWidget*>{computerBrowse_, computer_, mac_})
        w->setEnabled(false);
    computerBox_->setChecked(false);
    macBox_->setChecked(false);
    ip_->setEnabled(true);
    ip_->Field(0)->setFocus();
}

void CSettingsAccessUser::OnMac(bool on) {
    if (!on) {
        mac_->clear();
        mac_->setEnabled(false);
        return;
    }
    computer_->clear();
    ip_->ClearAddress();
    for (QWidget* w : std::initializer_list<QWidget*>{computerBrowse_, computer_, ip_})
        w->setEnabled(false);
    computerBox_->setChecked(false);
    ipBox_->setChecked(false);
    mac_->setEnabled(true);
    mac_->setFocus();
}

void CSettingsAccessUser::Browse(bool domain) {
    const auto chosen = AccessHostChooser().Choose(
        this,
        domain ? QStringLiteral("Select domain name:") : QStringLiteral("Select computer name:"),
        domain ? domains_ : computers_);
    if (!chosen) return;
    (domain ? domain_ : computer_)->setText(*chosen);
    SetModified(true);
}

UserForm CSettingsAccessUser::Form() const {
    UserForm form;
    form.name = Utf8(name_->text());
    form.kind = domainBox_->isChecked()     ? QualifierKind::Domain
                : computerBox_->isChecked() ? QualifierKind::Computer
                : ipBox_->isChecked()       ? QualifierKind::Ip
                : macBox_->isChecked()      ? QualifierKind::Mac
                                            : QualifierKind::None;
    form.domain = Utf8(domain_->text());
    form.computer = Utf8(computer_->text());
    // An untouched address field reads as the address it shows.
    form.ip = ip_->IsBlank() ? std::string("0.0.0.0") : Utf8(ip_->Text());
    form.mac = Utf8(mac_->text());
    form.description = Utf8(description_->toPlainText());
    return form;
}

bool CSettingsAccessUser::Checked() {
    // A refused OK may already have appended this page's entry: it is taken back first.
    if (added_ && *added_ < users_.size()) {
        users_.erase(users_.begin() + static_cast<std::ptrdiff_t>(*added_));
        added_.reset();
    }
    const unsigned message = CheckUser(Form(), users_);
    if (message) Tell(prompt_, message);
    return message == 0;
}

bool CSettingsAccessUser::OnKillActive() { return Checked(); }

bool CSettingsAccessUser::OnOK() {
    if (!Checked()) return false;
    ::tarvell::AddUser(users_, Form());
    added_ = users_.size() - 1;
    return true;
}

// ---- Permissions

CSettingsAccessPermissions::CSettingsAccessPermissions(Prompt& prompt, ViewerUsers& users,
                                                       std::string identity,
                                                       std::function<std::string()> generalIdentity,
                                                       QWidget* parent)
    : CPropertyPage(QStringLiteral("Permissions"), parent),
      prompt_(prompt),
      users_(users),
      identity_(std::move(identity)),
      generalIdentity_(std::move(generalIdentity)) {
    AccessPageLook(this);
    PageText(this,
             QStringLiteral("Set the preferred permissions of the user that will be used to access "
                            "the selected Tarvell server."),
             QRect(12, 10, 420, 34));
    tree_ = Named(new QTreeWidget(this), QStringLiteral("Permissions"));
    tree_->setHeaderHidden(true);
    tree_->setRootIsDecorated(true);
    tree_->setGeometry(12, 52, 420, 290);
    for (std::size_t i = 0; i < kPermissionItems; ++i) {
        const PermissionItem& p = PermissionItems()[i];
        auto* item = p.parent < 0 ? new QTreeWidgetItem(tree_)
                                  : new QTreeWidgetItem(items_[static_cast<std::size_t>(p.parent)]);
        item->setText(0, FromUtf8(PermissionText(i)));
        item->setData(0, Qt::UserRole, static_cast<int>(i));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
        if (p.parent < 0) {
            QFont bold = item->font(0);
            bold.setBold(true);
            item->setFont(0, bold);
        }
        items_.push_back(item);
    }
    const QColor linkColor(0, 70, 213);
    checkAll_ = MakeLink(QStringLiteral("Check all"));
    uncheckAll_ = MakeLink(QStringLiteral("Uncheck all"));
    for (LinkLabel* link : {checkAll_, uncheckAll_}) {
        link->setFont(DesignFont(QStringLiteral("Tahoma"), 13));
        link->SetColor(linkColor);
        link->SetUnderlined(true);
    }
    checkAll_->setGeometry(32, 350, 100, 18);
    uncheckAll_->setGeometry(162, 350, 100, 18);

    connect(tree_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) {
        const auto index = static_cast<std::size_t>(item->data(0, Qt::UserRole).toInt());
        const bool on = item->checkState(0) == Qt::Checked;
        if (on == model_.Checked(index)) return;
        model_.Click(index, on);
        Show();
        SetModified(true);
    });
    connect(checkAll_, &LinkLabel::activated, this, [this] {
        model_.CheckAll();
        Show();
        SetModified(true);
    });
    connect(uncheckAll_, &LinkLabel::activated, this, [this] {
        model_.UncheckAll();
        Show();
        SetModified(true);
    });
}

std::string CSettingsAccessPermissions::Identity() const {
    return identity_.empty() && generalIdentity_ ? generalIdentity_() : identity_;
}

void CSettingsAccessPermissions::OnInitDialog() {
    const auto found = FindUser(users_, Identity());
    model_.Load(found ? &users_[*found] : nullptr);
    notFound_ = !found;
    Show();
    tree_->scrollToItem(items_.front());
}

bool CSettingsAccessPermissions::OnSetActive() {
    // A user not found starts with every item: a change the sheet's Apply may store.
    if (notFound_) SetModified(true);
    notFound_ = false;
    return true;
}

void CSettingsAccessPermissions::Show() {
    const QSignalBlocker quiet(tree_);
    for (std::size_t i = 0; i < kPermissionItems; ++i) {
        items_[i]->setCheckState(0, model_.Checked(i) ? Qt::Checked : Qt::Unchecked);
        if (model_.HasChildren(i)) items_[i]->setExpanded(model_.Expanded(i));
    }
}

bool CSettingsAccessPermissions::AccessGuard() {
    if (AccessKept(users_, Identity(), model_.Checked(AccessSettingsItem()))) return true;
    Tell(prompt_, str::kAccessHolderNeeded);
    return false;
}

bool CSettingsAccessPermissions::OnKillActive() { return AccessGuard(); }

bool CSettingsAccessPermissions::OnOK() {
    if (!AccessGuard()) return false;
    StorePermissions(users_, Identity(), model_.PermissionString());
    return true;
}

// ---- The panel

CAccessSettingsPanel::CAccessSettingsPanel(const SheetServices& services, QWidget* parent)
    : CListSettingsPanel(QStringLiteral("Access Settings"), cmd::kSettingsAccess, parent),
      context_(services.context),
      folders_(services.folders),
      files_(services.files) {
    AddText(QStringLiteral("Export Options"), QRect(20, 45, 300, 18), true);
    AddText(QStringLiteral("Use the check boxes to have Tarvell automatically export its database "
                           "using your preferred methods."),
            QRect(20, 66, 600, 32));
    html_ = AddCheck(QString(), QRect(20, 100, 20, 20));
    htmlLink_ = AddLinkedTo(html_, QStringLiteral("Enable Tarvell HTML database export..."),
                            QRect(40, 101, 300, 18));
    sql_ = AddCheck(QString(), QRect(20, 124, 20, 20));
    sqlLink_ = AddLinkedTo(sql_, QStringLiteral("Enable Tarvell SQL database export..."),
                           QRect(40, 125, 300, 18));
    AddText(QStringLiteral("Users Options"), QRect(20, 156, 300, 18), true);
    AddText(QStringLiteral("Use the list below to add or modify Tarvell users and permissions "
                           "(right click for options)."),
            QRect(20, 177, 600, 18));

    // AddCheck already tells the window of the change; a load is not the user's.
    connect(html_, &QCheckBox::toggled, this, [this](bool on) {
        if (on && !loading_) Seed(true);
    });
    connect(sql_, &QCheckBox::toggled, this, [this](bool on) {
        if (on && !loading_) Seed(false);
    });
    const auto open = [this](const QString& caption) {
        OpenSettingsSheet(caption, SheetServices{context_, folders_, files_, this});
    };
    connect(htmlLink_, &LinkLabel::activated, this,
            [open] { open(QStringLiteral("HTML Options")); });
    connect(sqlLink_, &LinkLabel::activated, this, [open] { open(QStringLiteral("SQL Options")); });

    AddList(QStringLiteral("Users"), 201);
    rows_ = new UserRowsModel(List());
    List()->setModel(rows_);
    List()->InsertColumn(0, QStringLiteral("Name"), 175);
    List()->InsertColumn(1, QStringLiteral("Description"), 350);

    menu_ = new QMenu(QStringLiteral("Users"), this);
    QAction* permissions = menu_->addAction(QStringLiteral("Permissions"));
    QFont bold = permissions->font();
    bold.setBold(true);
    permissions->setFont(bold);
    menu_->setDefaultAction(permissions);
    menu_->addSeparator();
    QAction* remove = menu_->addAction(QStringLiteral("Delete"));
    connect(permissions, &QAction::triggered, this, &CAccessSettingsPanel::EditPermissions);
    connect(remove, &QAction::triggered, this, &CAccessSettingsPanel::DeleteSelected);
    SetRowActions(menu_, [this] { EditPermissions(); });
    SetAddButton(QStringLiteral("Add User..."), [this] { AddUser(); });
}

void CAccessSettingsPanel::LoadPanel() { Load(context_.app.Document().Fields()); }

void CAccessSettingsPanel::Load(const CTarvellDoc& doc) {
    loading_ = true;
    html_->setChecked(doc.HtmlExportOn != 0);
    sql_->setChecked(doc.SqlExportOn != 0);
    loading_ = false;
    users_ = UsersToShow(doc.ViewerUsers);
    Refill();
}

void CAccessSettingsPanel::Store(CTarvellDoc& doc) const {
    doc.HtmlExportOn = html_->isChecked() ? 1 : 0;
    doc.SqlExportOn = sql_->isChecked() ? 1 : 0;
    doc.ViewerUsers = users_;
}

unsigned CAccessSettingsPanel::Check() const {
    for (const std::string& entry : users_)
        if (const unsigned message = CheckStorable({entry})) return message;
    return 0;
}

void CAccessSettingsPanel::Refill() {
    std::vector<ListRow> rows;
    for (const std::string& entry : users_) {
        QString description = FromUtf8(DescriptionOf(entry));
        description.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        ListRow row;
        row.cells = {FromUtf8(IdentityOf(entry)), description};
        row.image = 0;
        rows.push_back(std::move(row));
    }
    rows_->SetRows(std::move(rows));
}

void CAccessSettingsPanel::Seed(bool html) {
    const unsigned message = html ? SeedHtmlExport(context_.app) : SeedSqlExport(context_.app);
    if (message) context_.prompt.AskString(message, PromptButtons::Ok, PromptIcon::Warning);
}

void CAccessSettingsPanel::EditPermissions() {
    const int row = List()->SelectedRow();
    if (row < 0) return;
    const QString name = rows_->ItemText(row, 0);
    ViewerUsers working = users_;
    CPropertySheet sheet(name, this);
    sheet.AddPage(new CSettingsAccessPermissions(context_.prompt, working, Utf8(name)));
    if (sheet.DoModal() != kSheetOk) return;
    users_ = std::move(working);
    Refill();
    emit changed();
}

void CAccessSettingsPanel::DeleteSelected() {
    const int row = List()->SelectedRow();
    if (row < 0) return;
    if (const unsigned message = DeleteUser(users_, Utf8(rows_->ItemText(row, 0)))) {
        Tell(context_.prompt, message);
        return;
    }
    Refill();
    emit changed();
}

void CAccessSettingsPanel::AddUser() {
    ServerMap servers;
    context_.app.CopyServers(servers);
    std::vector<std::string> folders;
    for (const auto& [name, server] : servers) folders.push_back(server.Folder);
    const MachineIdentity identity = context_.app.Identity();

    ViewerUsers working = users_;
    CPropertySheet sheet(QStringLiteral("Add User"), this);
    auto* general =
        new CSettingsAccessUser(context_.prompt, working, HostChoices(true, identity, folders),
                                HostChoices(false, identity, folders));
    sheet.AddPage(general);
    sheet.AddPage(
        new CSettingsAccessPermissions(context_.prompt, working, std::string(),
                                       [general] { return IdentityOf(general->Form()); }));
    if (sheet.DoModal() != kSheetOk) return;
    users_ = std::move(working);
    Refill();
    emit changed();
}

void RegisterAccessPanel() {
    RegisterSettingsPanel(cmd::kSettingsAccess, [](const SheetServices& s) {
        return new CAccessSettingsPanel(s, s.parent);
    });
}

}  // namespace tarvell
