#include "viewer/protection/CNodeListDlgBase.h"

#include <QCheckBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cerrno>
#include <cstring>

#include "viewer/protection/CNodePropertiesDlg.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/WaitCursor.h"

namespace tarvell {

namespace {

// The node list file the user picks; empty when cancelled.
std::string PickNodeFile(FilePicker& picker, QWidget* parent) {
    const std::optional<QString> file =
        picker.PickFile(parent, "Text files (*.txt);;All files (*)");
    return file ? file->toStdString() : std::string();
}

}  // namespace

CNodeListDlgBase::CNodeListDlgBase(NodeMode mode, const std::vector<std::string>& entries,
                                   const std::string& file, NodeDialogServices services,
                                   QWidget* parent)
    : CBandedDialog(parent),
      services_(std::move(services)),
      nodes_(mode, entries),
      openedFile_(file) {}

QWidget* CNodeListDlgBase::BuildListPart(const QString& intro, const QString& group,
                                         const QString& fileText) {
    auto* part = new QWidget(this);
    auto* layout = new QVBoxLayout(part);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(intro, part);
    label->setWordWrap(true);
    layout->addWidget(label);
    group_ = new QGroupBox(group, part);
    auto* groupLayout = new QGridLayout(group_);
    list_ = Named(new QTreeWidget(group_), group);
    list_->setColumnCount(2);
    list_->setHeaderLabels({"Node", "Port"});
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setColumnWidth(0, 180);
    groupLayout->addWidget(list_, 0, 0, 5, 1);
    add_ = new QPushButton("Add Node...", group_);
    import_ = new QPushButton("Import Nodes...", group_);
    edit_ = new QPushButton("Edit Node...", group_);
    remove_ = new QPushButton("Remove Nodes", group_);
    QPushButton* buttons[] = {add_, import_, edit_, remove_};
    for (int i = 0; i < 4; ++i) groupLayout->addWidget(buttons[i], i, 1);
    edit_->setEnabled(false);
    remove_->setEnabled(false);
    layout->addWidget(group_);
    fileBox_ = new QCheckBox(fileText, part);
    file_ = Named(new QLineEdit(part), NameFromLabel(fileText));
    browse_ = new QPushButton("Browse File...", part);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(file_);
    fileRow->addWidget(browse_);
    layout->addWidget(fileBox_);
    layout->addLayout(fileRow);

    connect(add_, &QPushButton::clicked, this, &CNodeListDlgBase::AddNode);
    connect(edit_, &QPushButton::clicked, this, &CNodeListDlgBase::EditNode);
    connect(remove_, &QPushButton::clicked, this, &CNodeListDlgBase::RemoveNodes);
    connect(import_, &QPushButton::clicked, this, &CNodeListDlgBase::ImportNodes);
    connect(browse_, &QPushButton::clicked, this, &CNodeListDlgBase::BrowseFile);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
        const bool any = !list_->selectedItems().isEmpty();
        edit_->setEnabled(any);
        remove_->setEnabled(any);
    });
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { EditNode(); });
    connect(fileBox_, &QCheckBox::toggled, this, [this](bool on) {
        file_->setEnabled(on);
        browse_->setEnabled(on);
        if (!on) file_->clear();
    });
    const bool hasFile = !openedFile_.empty();
    file_->setText(Q(openedFile_));
    fileBox_->setChecked(hasFile);
    file_->setEnabled(hasFile);
    browse_->setEnabled(hasFile);
    Fill();
    return part;
}

void CNodeListDlgBase::Fill() {
    list_->setUpdatesEnabled(false);
    list_->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(nodes_.Nodes().size()));
    for (const auto& [node, port] : nodes_.Nodes())
        items.append(new QTreeWidgetItem(
            QStringList{Q(node), port.empty() ? QString() : QString("Enabled")}));
    list_->addTopLevelItems(items);
    list_->setUpdatesEnabled(true);
    group_->setTitle(Q(GroupCaption(S(group_->title()), items.size())));
    edit_->setEnabled(false);
    remove_->setEnabled(false);
}

void CNodeListDlgBase::AddNode() {
    CNodePropertiesDlg dialog(nodes_, {}, {}, services_, this);
    if (dialog.exec() == QDialog::Accepted) Fill();
}

void CNodeListDlgBase::EditNode() {
    QTreeWidgetItem* item = list_->currentItem();
    if (!item) return;
    const std::string node = S(item->text(0));
    const std::string* port = nodes_.PortOf(node);
    if (!port) return;
    CNodePropertiesDlg dialog(nodes_, node, *port, services_, this);
    if (dialog.exec() == QDialog::Accepted) Fill();
}

void CNodeListDlgBase::RemoveNodes() {
    for (QTreeWidgetItem* item : list_->selectedItems()) nodes_.Remove(S(item->text(0)));
    Fill();
}

void CNodeListDlgBase::ImportNodes() {
    if (!services_.picker) return;
    const std::string path = PickNodeFile(*services_.picker, this);
    if (path.empty()) return;
    std::optional<std::vector<NodeListLine>> lines;
    int error = 0;
    {
        WaitCursor wait;
        lines = ReadNodeImportFile(path, services_.devices, services_.ports);
        error = errno;
        if (lines) nodes_.Import(*lines);
        Fill();
    }
    if (!lines && services_.prompt)
        services_.prompt->Ask(
            {"Tarvell could not read the file " + path + " (" +
                 (error == EFBIG ? std::string("larger than 16 MiB") : std::strerror(error)) + ").",
             "", PromptButtons::Ok, PromptIcon::Warning});
}

void CNodeListDlgBase::BrowseFile() {
    if (!services_.picker) return;
    const std::string path = PickNodeFile(*services_.picker, this);
    if (!path.empty()) file_->setText(Q(path));
}

bool CNodeListDlgBase::Save(const std::function<void(CTarvellDoc&)>& apply) {
    const EditResult result =
        services_.editSettings ? services_.editSettings(apply) : EditResult::ReloadFailed;
    if (result == EditResult::Saved) return true;
    Tell(services_.prompt, EditResultMessage(result));
    return false;
}

}  // namespace tarvell
