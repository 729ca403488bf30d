#include "viewer/protection/CNodesCountDlg.h"

#include <QLineEdit>
#include <QDialogButtonBox>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "shared/SettingRanges.h"
#include "viewer/widgets/Accessibility.h"

namespace tarvell {

CNodesCountDlg::CNodesCountDlg(int& threshold, const CTarvellDoc& opened,
                               NodeDialogServices services, QWidget* parent)
    : CNodeListDlgBase(NodeMode::Count, opened.NodeLocations, opened.NodeLocationImportFile,
                       std::move(services), parent),
      thresholdOut_(threshold) {
    setWindowTitle("Manage Nodes Count...");
    resize(500, 520);
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        "Set the maximum Nodes/Port threshold or add specific nodes properties to the excluded "
        "list below.",
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* row = new QHBoxLayout;
    auto* thresholdLabel = new QLabel("Use maximum Nodes/Port threshold of:", this);
    row->addWidget(thresholdLabel);
    threshold_ = Labelled(thresholdLabel, new QSpinBox(this));
    threshold_->setRange(1, static_cast<int>(RangeOf("NodesCountThreshold").max));
    threshold_->setValue(threshold);
    row->addWidget(threshold_);
    row->addStretch();
    layout->addLayout(row);
    layout->addWidget(
        BuildListPart({}, "Excluded Nodes", "Enable nodes exclude from external file:"));
    automatic_ = new QCheckBox("Exclude nodes automatically after delete or unblock events.", this);
    allPorts_ = new QRadioButton("Automatically exclude nodes on all ports.", this);
    specificPort_ = new QRadioButton("Automatically exclude nodes on specific port.", this);
    radios_ = new QButtonGroup(this);
    radios_->addButton(allPorts_);
    radios_->addButton(specificPort_);
    layout->addWidget(automatic_);
    layout->addWidget(allPorts_);
    layout->addWidget(specificPort_);
    layout->addWidget(OkCancel());
    connect(automatic_, &QCheckBox::toggled, this, &CNodesCountDlg::SetAutomatic);
    const bool on = opened.UnblockAuthorizeNode != 0 || opened.UnblockAuthorizeLocation != 0;
    automatic_->setChecked(on);
    SetAutomatic(on);
    if (on) (opened.UnblockAuthorizeNode ? allPorts_ : specificPort_)->setChecked(true);
}

void CNodesCountDlg::SetAutomatic(bool on) {
    allPorts_->setEnabled(on);
    specificPort_->setEnabled(on);
    radios_->setExclusive(false);
    allPorts_->setChecked(on);
    specificPort_->setChecked(false);
    radios_->setExclusive(true);
}

void CNodesCountDlg::accept() {
    const int threshold = threshold_->value();
    const std::string path = S(file_->text());
    const bool all = automatic_->isChecked() && allPorts_->isChecked();
    const bool specific = automatic_->isChecked() && specificPort_->isChecked();
    // The threshold is the page's: its OK stores it, so a cancelled sheet leaves the rule as it
    // was. The excluded nodes are the dialog's own and are stored here.
    if (!Save([&](CTarvellDoc& doc) {
            doc.NodeLocationImportFile = path;
            doc.NodeLocations = nodes_.Apply(doc.NodeLocations);
            doc.UnblockAuthorizeNode = all ? 1 : 0;
            doc.UnblockAuthorizeLocation = specific ? 1 : 0;
        }))
        return;
    thresholdOut_ = threshold;
    QDialog::accept();
}

}  // namespace tarvell
