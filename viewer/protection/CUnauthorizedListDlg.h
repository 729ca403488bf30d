// "Unauthorized List": the black or the white node list of the settings with its import file;
// OK saves both through the settings edit. GUI thread only.
#pragma once

#include <string>
#include <vector>

#include "viewer/protection/CNodeListDlgBase.h"

namespace tarvell {

class CUnauthorizedListDlg : public CNodeListDlgBase {
    Q_OBJECT
public:
    // Edits one node list of the settings with its import file (black or white list).
    CUnauthorizedListDlg(const QString& caption, const CTarvellDoc& opened,
                         std::vector<std::string> CTarvellDoc::*list,
                         std::string CTarvellDoc::*file, NodeDialogServices services,
                         QWidget* parent = nullptr);
    void accept() override;

private:
    std::vector<std::string> CTarvellDoc::*listField_;
    std::string CTarvellDoc::*fileField_;
};

}  // namespace tarvell
