#include "viewer/protection/CUnauthorizedListDlg.h"

#include <QLineEdit>
#include <QDialogButtonBox>
#include <QDialog>
#include <QVBoxLayout>

namespace tarvell {

CUnauthorizedListDlg::CUnauthorizedListDlg(const QString& caption, const CTarvellDoc& opened,
                                           std::vector<std::string> CTarvellDoc::*list,
                                           std::string CTarvellDoc::*file,
                                           NodeDialogServices services, QWidget* parent)
    : CNodeListDlgBase(NodeMode::List, opened.*list, opened.*file, std::move(services), parent),
      listField_(list),
      fileField_(file) {
    setWindowTitle(caption);
    resize(480, 420);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        BuildListPart("Add hexadecimal MAC or dotted IP address with optional port or import list "
                      "from external file.",
                      "Current nodes", "Enable nodes updating from external file:"));
    layout->addWidget(OkCancel());
}

void CUnauthorizedListDlg::accept() {
    const std::string path = S(file_->text());
    if (!Save([&](CTarvellDoc& doc) {
            doc.*listField_ = nodes_.Apply(doc.*listField_);
            doc.*fileField_ = path;
        }))
        return;
    QDialog::accept();
}

}  // namespace tarvell
