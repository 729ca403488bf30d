// The node list part that the Unauthorized List and Manage Nodes Count dialogs share: the list
// with Add, Edit, Remove and Import, and the import file with its box and "Browse...". GUI thread
// only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "viewer/core/protection/NodeLists.h"
#include "viewer/protection/CBandedDialog.h"
#include "viewer/protection/NodeDialogServices.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace tarvell {

class CNodeListDlgBase : public CBandedDialog {
    Q_OBJECT
public:
    void AddNode();
    void EditNode();
    void RemoveNodes();
    void ImportNodes();
    void BrowseFile();

    QGroupBox* group_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QPushButton *add_ = nullptr, *import_ = nullptr, *edit_ = nullptr, *remove_ = nullptr,
                *browse_ = nullptr;
    QCheckBox* fileBox_ = nullptr;
    QLineEdit* file_ = nullptr;

protected:
    CNodeListDlgBase(NodeMode mode, const std::vector<std::string>& entries,
                     const std::string& file, NodeDialogServices services, QWidget* parent);
    QWidget* BuildListPart(const QString& intro, const QString& group, const QString& fileText);
    void Fill();
    // Saves through the settings edit; false (message shown) when it failed.
    bool Save(const std::function<void(CTarvellDoc&)>& apply);

    NodeDialogServices services_;
    NodeListEdit nodes_;
    std::string openedFile_;
};

}  // namespace tarvell
