#include "viewer/protection/CWmiPropertiesDlg.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

#include "viewer/core/base/Prompt.h"
#include "viewer/protection/CWmiValueDlg.h"
#include "viewer/widgets/Accessibility.h"
#include "viewer/widgets/TextConv.h"

namespace tarvell {

CWmiPropertiesDlg::CWmiPropertiesDlg(std::vector<WmiConditionRow>& rows, int index, Prompt& prompt,
                                     QWidget* parent)
    : QDialog(parent), rows_(rows), index_(index), prompt_(prompt) {
    setWindowTitle(QStringLiteral("WMI Properties"));
    resize(420, 440);
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("Select WMI property from the list below"), this);
    auto* inner = new QVBoxLayout(group);
    auto* propertyLabel = new QLabel(QStringLiteral("WMI property:"), group);
    inner->addWidget(propertyLabel);
    property_ = Labelled(propertyLabel, new QComboBox(group));
    property_->setEditable(true);
    property_->setInsertPolicy(QComboBox::NoInsert);
    for (const WmiProperty& p : WmiProperties()) property_->addItem(FromUtf8(p.name));
    inner->addWidget(property_);
    auto* descriptionLabel = new QLabel(QStringLiteral("Description:"), group);
    inner->addWidget(descriptionLabel);
    description_ = Labelled(descriptionLabel, new QTextEdit(group));
    description_->setReadOnly(true);
    description_->setMaximumHeight(90);
    inner->addWidget(description_);
    auto* valuesLabel = new QLabel(QStringLiteral("Available values:"), group);
    inner->addWidget(valuesLabel);
    list_ = Labelled(valuesLabel, new QListWidget(group));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    inner->addWidget(list_);
    auto* row = new QHBoxLayout;
    add_ = new QPushButton(QStringLiteral("Add..."), group);
    edit_ = new QPushButton(QStringLiteral("Edit..."), group);
    remove_ = new QPushButton(QStringLiteral("Remove"), group);
    row->addStretch(1);
    for (QPushButton* b : {add_, edit_, remove_}) row->addWidget(b);
    inner->addLayout(row);
    layout->addWidget(group);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    if (index_ >= 0 && index_ < static_cast<int>(rows_.size())) {
        const WmiConditionRow& condition = rows_[static_cast<std::size_t>(index_)];
        const QString name = FromUtf8(WmiRowProperty(condition));
        const int at = name.isEmpty() ? -1 : property_->findText(name);
        property_->setCurrentIndex(at);
        if (at < 0) property_->setEditText(QString());
        for (std::string& v : SplitWmiValues(WmiRowValue(condition)))
            InsertWmiValue(values_, std::move(v));
    } else {
        property_->setCurrentIndex(0);
    }
    Fill();
    Describe();
    Sync();
    connect(property_, &QComboBox::activated, this, [this] { Describe(); });
    connect(list_, &QListWidget::itemSelectionChanged, this, [this] { Sync(); });
    connect(add_, &QPushButton::clicked, this, [this] { RunValue(-1); });
    connect(edit_, &QPushButton::clicked, this, [this] {
        if (list_->currentRow() >= 0) RunValue(list_->currentRow());
    });
    connect(remove_, &QPushButton::clicked, this, [this] {
        const int at = list_->currentRow();
        if (at < 0 || at >= static_cast<int>(values_.size())) return;
        values_.erase(values_.begin() + at);
        Fill();
        Sync();
    });
}

void CWmiPropertiesDlg::RunValue(int index) {
    CWmiValueDlg dialog(values_, index, prompt_, this);
    if (dialog.exec() != QDialog::Accepted) return;
    Fill();
    Sync();
}

void CWmiPropertiesDlg::Fill() {
    list_->clear();
    for (const std::string& v : values_) list_->addItem(FromStored(v));
}

void CWmiPropertiesDlg::Sync() {
    const bool hit = !list_->selectedItems().isEmpty();
    edit_->setEnabled(hit);
    remove_->setEnabled(hit);
}

void CWmiPropertiesDlg::Describe() {
    const int at = property_->currentIndex();
    if (at >= 0 && at < kWmiCodes)
        description_->setPlainText(
            FromUtf8(WmiProperties()[static_cast<std::size_t>(at)].description));
}

void CWmiPropertiesDlg::accept() {
    WmiConditionRow condition;
    if (const int message =
            MakeWmiCondition(ToStored(property_->currentText()), values_, condition)) {
        prompt_.AskString(static_cast<unsigned>(message), PromptButtons::Ok,
                          PromptIcon::Information);
        return;
    }
    if (index_ >= 0 && index_ < static_cast<int>(rows_.size()))
        rows_[static_cast<std::size_t>(index_)] = std::move(condition);
    else rows_.push_back(std::move(condition));
    QDialog::accept();
}

}  // namespace tarvell
