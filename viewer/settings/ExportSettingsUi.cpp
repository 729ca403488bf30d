#include "viewer/settings/ExportSettingsUi.h"

#include <QFrame>
#include <QFormLayout>
#include <QIntValidator>
#include <QLabel>
#include <QAbstractItemView>

#include "platform/odbc/Odbc.h"
#include "shared/CTarvellDoc.h"
#include "viewer/core/hub/CTarvellApp.h"
#include "viewer/core/hub/SettingsEdit.h"
#include "viewer/core/settings/SettingsRules.h"
#include "viewer/core/base/Prompt.h"
#include "viewer/core/base/StringTable.h"
#include "viewer/settings/SettingsSheets.h"
#include "viewer/settings/SettingsPageKit.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/CCheckListCtrl.h"
#include "viewer/widgets/Fonts.h"
#include "viewer/widgets/LinkLabel.h"
#include "viewer/widgets/Pickers.h"
#include "viewer/widgets/QtGeometry.h"
#include "viewer/widgets/ShellPage.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

namespace {

bool Storable(Prompt& prompt, std::initializer_list<std::string_view> texts) {
    const unsigned message = CheckStorable(texts);
    if (message == 0) return true;
    prompt.AskString(message, PromptButtons::Ok, PromptIcon::Warning);
    return false;
}

class DialogChooser : public DataSourceChooser {
public:
    std::optional<DataSourceRequest> Choose(QWidget* parent, DatabaseKind kind,
                                            const std::vector<std::string>& drivers) override {
        CDataSourceDlg dialog(kind, drivers, parent);
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        return dialog.Request();
    }
};

DataSourceChooser* g_chooser = nullptr;

}  // namespace

DataSourceChooser& ExportDataSourceChooser() {
    static DialogChooser dialog;
    return g_chooser ? *g_chooser : dialog;
}

void SetExportDataSourceChooser(DataSourceChooser* chooser) { g_chooser = chooser; }

// ---- CDataSourceDlg

CDataSourceDlg::CDataSourceDlg(DatabaseKind kind, const std::vector<std::string>& drivers,
                               QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Data Source"));
    setFont(DesignFont(QStringLiteral("Tahoma"), 13));
    auto* form = new QFormLayout(this);
    driver_ = new QComboBox(this);
    for (const std::string& d : drivers) driver_->addItem(FromUtf8(d));
    form->addRow(QStringLiteral("Driver:"), driver_);
    auto row = [&](const QString& label, QLineEdit* edit, std::vector<QWidget*>& group) {
        edit->setMaxLength(1024);
        form->addRow(label, edit);
        group.push_back(edit);
        group.push_back(form->labelForField(edit));
    };
    file_ = new QLineEdit(this);
    row(QStringLiteral("Database file:"), file_, fileRow_);
    server_ = new QLineEdit(this);
    row(QStringLiteral("Server:"), server_, serverRows_);
    port_ = new QLineEdit(this);
    port_->setValidator(new QIntValidator(1, 65535, port_));
    row(QStringLiteral("Port:"), port_, serverRows_);
    database_ = new QLineEdit(this);
    row(QStringLiteral("Database:"), database_, serverRows_);
    user_ = new QLineEdit(this);
    row(QStringLiteral("User:"), user_, serverRows_);
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    row(QStringLiteral("Password:"), password_, serverRows_);
    auto* buttons = new QWidget(this);
    auto* ok = new QPushButton(QStringLiteral("OK"), buttons);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), buttons);
    cancel->move(ok->sizeHint().width() + 6, 0);
    buttons->setMinimumSize(ok->sizeHint().width() * 2 + 6, ok->sizeHint().height());
    form->addRow(buttons);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(driver_, &QComboBox::currentIndexChanged, this, [this] { ShowFields(); });
    (void)kind;
    ShowFields();
}

void CDataSourceDlg::ShowFields() {
    const bool file = IsFileDriver(Utf8(driver_->currentText()));
    for (QWidget* w : fileRow_) w->setVisible(file);
    for (QWidget* w : serverRows_) w->setVisible(!file);
}

DataSourceRequest CDataSourceDlg::Request() const {
    DataSourceRequest r;
    r.driver = Utf8(driver_->currentText());
    if (IsFileDriver(r.driver)) {
        r.attributes.push_back({"Database", Utf8(file_->text().trimmed())});
        return r;
    }
    const std::string server = Utf8(server_->text().trimmed());
    r.attributes.push_back({"Server", server});
    // The name some drivers read from a data source for the same thing.
    r.attributes.push_back({"Servername", server});
    if (!port_->text().isEmpty()) r.attributes.push_back({"Port", Utf8(port_->text())});
    if (!database_->text().isEmpty())
        r.attributes.push_back({"Database", Utf8(database_->text().trimmed())});
    if (!user_->text().isEmpty()) r.credentials.push_back({"UID", Utf8(user_->text())});
    if (!password_->text().isEmpty()) r.credentials.push_back({"PWD", Utf8(password_->text())});
    return r;
}

// ---- IntervalEdit

IntervalEdit::IntervalEdit(QWidget* page, QRect edit, std::function<void()> changed) {
    edit_ = new QLineEdit(page);
    edit_->setMaxLength(kExportIntervalChars);
    edit_->setValidator(new QIntValidator(0, kExportIntervalMax, edit_));
    edit_->setGeometry(edit);
    spin_ = new QSpinBox(page);
    spin_->setRange(kExportIntervalMin, kExportIntervalMax);
    spin_->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    spin_->setGeometry(edit.right() + 1, edit.y(), 18, edit.height());
    // Only the arrows show: the edit beside it holds the number.
    spin_->setFrame(false);
    if (auto* inner = spin_->findChild<QLineEdit*>()) inner->setVisible(false);
    QObject::connect(spin_, &QSpinBox::valueChanged, edit_, [this, changed](int v) {
        if (edit_->text() != QString::number(v)) {
            edit_->setText(QString::number(v));
            changed();
        }
    });
    QObject::connect(edit_, &QLineEdit::textEdited, edit_, [this, changed](const QString& text) {
        if (const auto corrected = CorrectedIntervalText(Utf8(text)))
            edit_->setText(FromUtf8(*corrected));
        const QSignalBlocker quiet(spin_);
        spin_->setValue(IntervalOfText(Utf8(edit_->text())));
        changed();
    });
}

void IntervalEdit::SetMinutes(int minutes) {
    const QSignalBlocker quiet(spin_);
    spin_->setValue(minutes);
    edit_->setText(QString::number(spin_->value()));
}

void IntervalEdit::SetLabel(QLabel* label) {
    Labelled(label, edit_);
    Named(spin_, edit_->accessibleName());
}

int IntervalEdit::Minutes() const { return IntervalOfText(Utf8(edit_->text())); }

// ---- HTML General

CSettingsAccessHtml::CSettingsAccessHtml(CTarvellApp& app, Prompt& prompt, FolderPicker& folders,
                                         QWidget* parent)
    : CPropertyPage(QStringLiteral("General"), parent),
      app_(app),
      prompt_(prompt),
      folders_(folders),
      interval_(this, DluQRect(124, 56, 26, 12), [this] { SetModified(); }) {
    PageLook(this);
    PageText(
        this,
        QStringLiteral(
            "Set the preferred HTML properties that will be used for updating the selected pages."),
        DluQRect(7, 7, 221, 24));
    PageGroup(this, QStringLiteral("Update schedule"), DluQRect(7, 38, 221, 40));
    interval_.SetLabel(PageText(this, QStringLiteral("Update HTML pages every:"),
                                DluQRect(13, 58, 110, 9), false));
    PageText(this, QStringLiteral("minutes."), DluQRect(166, 58, 40, 9), false);
    PageGroup(this, QStringLiteral("Folder location"), DluQRect(7, 90, 221, 112));
    PageText(this, QStringLiteral("Note:"), DluQRect(13, 104, 30, 9), false);
    PageText(this,
             QStringLiteral("Please make sure that the selected archive folder is exist and this "
                            "server has granted "
                            "read/write access over it."),
             DluQRect(13, 116, 209, 26));
    QLabel* folderLabel = PageText(this, QStringLiteral("Select the location of the HTML folder:"),
                                   DluQRect(13, 152, 209, 9), false);
    folder_ = Labelled(folderLabel, new QLineEdit(this));
    folder_->setMaxLength(1024);
    folder_->setGeometry(DluQRect(13, 166, 152, 12));
    browse_ = new QPushButton(QStringLiteral("Browse..."), this);
    browse_->setGeometry(DluQRect(172, 165, 50, 14));
    connect(folder_, &QLineEdit::textEdited, this, [this](const QString& t) {
        if (!t.isEmpty()) SetModified();
    });
    connect(browse_, &QPushButton::clicked, this, [this] {
        if (const auto folder = folders_.PickFolder(this, QStringLiteral("Select HTML folder:"))) {
            folder_->setText(*folder);
            SetModified();
        }
    });
}

void CSettingsAccessHtml::OnInitDialog() {
    const CTarvellDoc& doc = app_.Document().Fields();
    interval_.SetMinutes(IntervalPosition(doc.HtmlInterval));
    folder_->setText(FromUtf8(doc.HtmlFolder));
}

bool CSettingsAccessHtml::OnOK() {
    const std::string folder = Utf8(folder_->text());
    if (!Storable(prompt_, {folder})) return false;
    const int minutes = interval_.Minutes();
    return SavePage(app_, prompt_, [&](CTarvellDoc& doc) {
        doc.HtmlInterval = minutes;
        doc.HtmlFolder = folder;
    });
}

// ---- SQL General

CSettingsAccessSql::CSettingsAccessSql(CTarvellApp& app, Prompt& prompt, QWidget* parent)
    : CPropertyPage(QStringLiteral("General"), parent),
      app_(app),
      prompt_(prompt),
      interval_(this, DluQRect(124, 56, 26, 12), [this] { SetModified(); }) {
    PageLook(this);
    PageText(this,
             QStringLiteral("Set the preferred SQL properties that will be used for updating the "
                            "selected database tables."),
             DluQRect(7, 7, 221, 24));
    PageGroup(this, QStringLiteral("Update schedule"), DluQRect(7, 38, 221, 40));
    interval_.SetLabel(PageText(this, QStringLiteral("Update SQL tables every:"),
                                DluQRect(13, 58, 110, 9), false));
    PageText(this, QStringLiteral("minutes."), DluQRect(166, 58, 40, 9), false);
    PageGroup(this, QStringLiteral("Database location"), DluQRect(7, 90, 221, 112));
    serverRadio_ = new QRadioButton(QString::fromLatin1(kServerRadio), this);
    serverRadio_->setGeometry(DluQRect(13, 104, 200, 11));
    fileRadio_ = new QRadioButton(QString::fromLatin1(kFileRadio), this);
    fileRadio_->setGeometry(DluQRect(13, 120, 200, 11));
    auto* radios = new QButtonGroup(this);
    radios->addButton(serverRadio_);
    radios->addButton(fileRadio_);
    QLabel* locationLabel =
        PageText(this, QStringLiteral("Select the location of the SQL database:"),
                 DluQRect(13, 152, 209, 9), false);
    location_ = Labelled(locationLabel, new QLineEdit(this));
    location_->setMaxLength(4096);
    location_->setGeometry(DluQRect(13, 166, 152, 12));
    browse_ = new QPushButton(QStringLiteral("Browse..."), this);
    browse_->setGeometry(DluQRect(172, 165, 50, 14));
    connect(location_, &QLineEdit::textEdited, this, [this](const QString& t) {
        if (!t.isEmpty()) SetModified();
    });
    connect(browse_, &QPushButton::clicked, this, [this] { Browse(); });
}

void CSettingsAccessSql::ShowLocation(const std::string& real) {
    real_ = real;
    location_->setText(FromUtf8(MaskPassword(real)));
    location_->setCursorPosition(0);
}

std::string CSettingsAccessSql::Location() const {
    return UnmaskPassword(Utf8(location_->text()), real_);
}

void CSettingsAccessSql::OnInitDialog() {
    const CTarvellDoc& doc = app_.Document().Fields();
    interval_.SetMinutes(IntervalPosition(doc.SqlInterval));
    ShowLocation(doc.SqlDatabase);
    (DatabaseKindOf(doc.SqlDatabase) == DatabaseKind::File ? fileRadio_ : serverRadio_)
        ->setChecked(true);
}

void CSettingsAccessSql::Browse() {
    const DatabaseKind kind = fileRadio_->isChecked() ? DatabaseKind::File : DatabaseKind::Server;
    std::vector<std::string> installed;
    {
        odbc::Environment env;
        installed = env.Drivers();
    }
    const auto request = ExportDataSourceChooser().Choose(this, kind, DriversFor(kind, installed));
    if (!request) return;
    const ChosenLocation chosen = ChooseDataSource(ViewerOdbcIniPath(), *request, kind);
    if (chosen.message) prompt_.AskString(chosen.message, PromptButtons::Ok, PromptIcon::Warning);
    if (!chosen.location) return;
    ShowLocation(*chosen.location);
    SetModified();
}

bool CSettingsAccessSql::OnOK() {
    const std::string location = Location();
    if (!Storable(prompt_, {location})) return false;
    const int minutes = interval_.Minutes();
    return SavePage(app_, prompt_, [&](CTarvellDoc& doc) {
        doc.SqlInterval = minutes;
        doc.SqlDatabase = location;
    });
}

// ---- Field pages

CExportFieldsPage::CExportFieldsPage(Kind kind, CTarvellApp& app, Prompt& prompt, QWidget* parent)
    : CPropertyPage(kind == Kind::Html ? QStringLiteral("Pages") : QStringLiteral("Tables"),
                    parent),
      kind_(kind),
      app_(app),
      prompt_(prompt) {
    PageLook(this);
    const bool html = kind == Kind::Html;
    PageText(
        this,
        html ? QStringLiteral("Set the preferred HTML fields that will be used for updating each "
                              "selected page.")
             : QStringLiteral("Set the preferred SQL fields that will be used for updating each "
                              "selected table."),
        DluQRect(7, 7, 221, 24));
    QLabel* collectionLabel = PageText(
        this, html ? QStringLiteral("Select html page:") : QStringLiteral("Select sql table:"),
        DluQRect(7, 36, 100, 9), false);
    collection_ = Labelled(collectionLabel, new QComboBox(this));
    collection_->setGeometry(DluQRect(7, 47, 100, 14));
    description_ =
        Labelled(PageText(this, QStringLiteral("Description:"), DluQRect(7, 68, 100, 9), false),
                 new QPlainTextEdit(this));
    description_->setReadOnly(true);
    description_->setGeometry(DluQRect(7, 79, 100, 60));
    QLabel* fieldsLabel = PageText(
        this, html ? QStringLiteral("Select html fields:") : QStringLiteral("Select sql fields:"),
        DluQRect(118, 36, 110, 9), false);
    int listTop = 47;
    if (!html) {
        keep_ = new QCheckBox(QStringLiteral("Keep unexist records"), this);
        keep_->setGeometry(DluQRect(118, 47, 110, 11));
        listTop = 61;
    }
    list_ = Named(new CCheckListCtrl(this), NameFromLabel(fieldsLabel->text()));
    list_->InsertColumn(0, QString(), 128);
    list_->SetHeaderVisible(false);
    list_->setMouseTracking(true);
    list_->setGeometry(DluQRect(118, listTop, 110, 178 - listTop));
    checkAll_ = MakeLink(QStringLiteral("Check all"));
    checkAll_->SetColor(QColor(0, 70, 213));
    checkAll_->SetUnderlined(true);
    checkAll_->setGeometry(DluQRect(130, 184, 45, 10));
    uncheckAll_ = MakeLink(QStringLiteral("Uncheck all"));
    uncheckAll_->SetColor(QColor(0, 70, 213));
    uncheckAll_->SetUnderlined(true);
    uncheckAll_->setGeometry(DluQRect(182, 184, 46, 10));
    for (auto [link, icon] : {std::pair{checkAll_, QStringLiteral("\u2611")},
                              std::pair{uncheckAll_, QStringLiteral("\u2610")}}) {
        auto* mark = PageText(this, icon,
                              QRect(link->x() - 16, link->y() - 2, 14, link->height() + 4), false);
        mark->setStyleSheet(QStringLiteral("color: rgb(0,70,213);"));
    }

    connect(collection_, &QComboBox::currentIndexChanged, this, [this] {
        ShowDescription(ExportCollectionDescription(Current()));
        FillRows();
    });
    // Descriptions on hover: the field rows, and the collections while the drop-down is open.
    connect(list_, &QTreeWidget::itemEntered, this, [this](QTreeWidgetItem* item, int) {
        const int row = list_->indexOfTopLevelItem(item);
        if (row < 0 || row >= static_cast<int>(kExportFields)) return;
        const QString before = description_->toPlainText();
        ShowDescription(ExportFieldsOf(Current())[static_cast<std::size_t>(row)].description);
        if (description_->toPlainText() != before && list_->SelectedRow() != row)
            list_->clearSelection();
    });
    collection_->view()->setMouseTracking(true);
    connect(collection_->view(), &QAbstractItemView::entered, this,
            [this](const QModelIndex& index) {
                if (index.row() >= 0 && index.row() < 2)
                    ShowDescription(ExportCollectionDescription(
                        kExportCollections[static_cast<std::size_t>(index.row())]));
            });
    // Clicks and Space both count.
    connect(list_, &CCheckListCtrl::itemToggled, this, [this](int row, bool on) {
        SetSlot(choice_.Of(Current()), Current(), static_cast<std::size_t>(row), on);
        SetModified();
    });
    connect(checkAll_, &LinkLabel::activated, this, [this] { SetAll(true); });
    connect(uncheckAll_, &LinkLabel::activated, this, [this] { SetAll(false); });
    if (keep_)
        connect(keep_, &QCheckBox::toggled, this, [this](bool on) {
            bool& keep = choice_.keep[static_cast<std::size_t>(Current())];
            if (keep == on) return;  // shown for another collection, not changed
            keep = on;
            SetModified();
        });
}

ExportCollection CExportFieldsPage::Current() const {
    return collection_->currentIndex() == 1 ? ExportCollection::Alerts : ExportCollection::Events;
}

void CExportFieldsPage::ShowDescription(const char* text) {
    const QString t = QString::fromLatin1(text);
    if (description_->toPlainText() != t) description_->setPlainText(t);
}

void CExportFieldsPage::OnInitDialog() {
    const CTarvellDoc& doc = app_.Document().Fields();
    choice_ = kind_ == Kind::Html ? HtmlFieldsOf(doc) : SqlFieldsOf(doc);
    const QSignalBlocker quiet(collection_);
    collection_->clear();
    for (ExportCollection c : kExportCollections)
        collection_->addItem(QString::fromLatin1(ExportCollectionName(c)));
    collection_->setCurrentIndex(0);
    ShowDescription(ExportCollectionDescription(ExportCollection::Events));
    FillRows();
}

void CExportFieldsPage::FillRows() {
    list_->DeleteAllItems();
    const ExportCollection c = Current();
    for (std::size_t i = 0; i < kExportFields; ++i) {
        const int row =
            list_->InsertItem(static_cast<int>(i), QString::fromLatin1(ExportFieldsOf(c)[i].name));
        list_->SetCheck(row, SlotOn(choice_.Of(c), i));
    }
    if (keep_) keep_->setChecked(choice_.keep[static_cast<std::size_t>(c)]);
}

void CExportFieldsPage::SetAll(bool on) {
    SetAllSlots(choice_.Of(Current()), Current(), on);
    for (int row = 0; row < list_->ItemCount(); ++row) list_->SetCheck(row, on);
    SetModified();
}

bool CExportFieldsPage::OnOK() {
    const ExportFieldChoice choice = choice_;
    const bool html = kind_ == Kind::Html;
    return SavePage(app_, prompt_, [&](CTarvellDoc& doc) {
        if (html) StoreHtmlFields(doc, choice);
        else StoreSqlFields(doc, choice);
    });
}

// ---- Sheets

void AddHtmlOptionsPages(CPropertySheet& sheet, CTarvellApp& app, Prompt& prompt,
                         FolderPicker& folders) {
    sheet.AddPage(new CSettingsAccessHtml(app, prompt, folders));
    sheet.AddPage(new CSettingsAccessPages(app, prompt));
}

void AddSqlOptionsPages(CPropertySheet& sheet, CTarvellApp& app, Prompt& prompt) {
    sheet.AddPage(new CSettingsAccessSql(app, prompt));
    sheet.AddPage(new CSettingsAccessTables(app, prompt));
}

void RegisterExportSheets() {
    RegisterSettingsSheet(QStringLiteral("HTML Options"), [](const SheetServices& s) {
        CPropertySheet sheet(QStringLiteral("HTML Options"), s.parent);
        AddHtmlOptionsPages(sheet, s.context.app, s.context.prompt, s.folders);
        return sheet.DoModal() == kSheetOk;
    });
    RegisterSettingsSheet(QStringLiteral("SQL Options"), [](const SheetServices& s) {
        CPropertySheet sheet(QStringLiteral("SQL Options"), s.parent);
        AddSqlOptionsPages(sheet, s.context.app, s.context.prompt);
        return sheet.DoModal() == kSheetOk;
    });
}

}  // namespace tarvell
