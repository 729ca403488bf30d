#include "SheetDemo.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <cstdio>

#include "viewer/widgets/CCheckListCtrl.h"
#include "viewer/widgets/CIpAddressCtrl.h"
#include "viewer/widgets/CPropertySheet.h"
#include "viewer/widgets/CThemeTabCtrl.h"
#include "viewer/widgets/LinkLabel.h"

namespace tarvell {
namespace {

class RangePage : public CPropertyPage {
public:
    RangePage() : CPropertyPage(QStringLiteral("Ip Ranges")) {
        auto* grid = new QGridLayout(this);
        auto* heading = new QLabel(
            QStringLiteral(
                "Set the address ranges of the nodes that will be left out of discovery."),
            this);
        heading->setWordWrap(true);
        grid->addWidget(heading, 0, 0, 1, 3);
        enable_ = new QCheckBox(QStringLiteral("Enable address range exclusion."), this);
        grid->addWidget(enable_, 1, 0, 1, 3);
        grid->addWidget(new QLabel(QStringLiteral("From address:"), this), 2, 0);
        from_ = new CIpAddressCtrl(this);
        grid->addWidget(from_, 2, 1);
        grid->addWidget(new QLabel(QStringLiteral("To address:"), this), 3, 0);
        to_ = new CIpAddressCtrl(this);
        grid->addWidget(to_, 3, 1);
        devices_ = MakeLink(QStringLiteral("Select Devices..."));
        grid->addWidget(devices_, 4, 0);
        remove_ = MakeLink(QStringLiteral("Remove range"));
        grid->addWidget(remove_, 4, 1);
        grid->setColumnStretch(2, 1);
        grid->setRowStretch(5, 1);
        connect(enable_, &QCheckBox::toggled, this, [this](bool on) {
            devices_->SetActive(on);
            SetModified();
        });
        connect(from_, &CIpAddressCtrl::addressChanged, this, [this] { SetModified(); });
        connect(to_, &CIpAddressCtrl::addressChanged, this, [this] { SetModified(); });
    }
    void OnInitDialog() override {
        from_->SetText(QStringLiteral("192.168.10.1"));
        devices_->SetActive(false);  // until the range is enabled
    }

private:
    QCheckBox* enable_;
    CIpAddressCtrl* from_;
    CIpAddressCtrl* to_;
    LinkLabel* devices_;
    LinkLabel* remove_;
};

class DevicesPage : public CPropertyPage {
public:
    DevicesPage() : CPropertyPage(QStringLiteral("Devices")) {
        auto* grid = new QGridLayout(this);
        grid->addWidget(new QLabel(QStringLiteral("Select the devices the ranges apply to:"), this),
                        0, 0, 1, 2);
        list_ = new CCheckListCtrl(this);
        list_->InsertColumn(0, QStringLiteral("Device Name"), 145);
        list_->InsertColumn(1, QStringLiteral("Device Ip"), 145);
        grid->addWidget(list_, 1, 0, 1, 2);
        grid->addWidget(MakeLink(QStringLiteral("Exclude all")), 2, 0);
        grid->addWidget(MakeLink(QStringLiteral("Unexclude all")), 2, 1);
        grid->setColumnStretch(1, 1);
        connect(list_, &CCheckListCtrl::itemToggled, this, [this] { SetModified(); });
    }
    void OnInitDialog() override {
        for (int i = 0; i < 5; ++i) {
            const int row = list_->InsertItem(i, QStringLiteral("floor-%1-switch").arg(i + 1));
            list_->SetItemText(row, 1, QStringLiteral("10.1.%1.2").arg(i + 1));
            list_->SetCheck(row, i % 2 == 0);
        }
    }

private:
    CCheckListCtrl* list_;
};

bool Save(QWidget& w, const QDir& dir, const char* name) {
    QApplication::processEvents();
    const QString path = dir.filePath(QString::fromLatin1(name));
    if (w.grab().save(path, "PNG")) return true;
    std::fprintf(stderr, "Picture %s could not be written; no further pictures are written\n",
                 path.toLocal8Bit().constData());
    return false;
}

}  // namespace

bool WriteSheetPictures(const QDir& dir) {
    CPropertySheet sheet(QStringLiteral("Ip Options"));
    sheet.AddPage(new RangePage);
    sheet.AddPage(new DevicesPage);
    sheet.show();
    if (!Save(sheet, dir, "kit-sheet.png")) return false;
    sheet.SetActivePage(1);
    const bool ok = Save(sheet, dir, "kit-sheet-devices.png");
    sheet.EndSheet(-1);
    return ok;
}

}  // namespace tarvell
