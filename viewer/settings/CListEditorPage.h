// The settings kit's list editor: a property page that edits one list of the settings document
// with an input, its "Add" button, the list of rows and a "Remove ..." link under it. Every page
// of the settings that edits a list this way derives from it (the Nodes exclusion pages, the SNMP
// communities and networks, the alert channels' targets); the page builds its own input and
// places the three controls, the kit runs the list. GUI thread only.
//
// - Show (OnInitDialog): ResetInput, then the rows of the document's list, one per entry.
// - Add: TypedRow checks the input (telling a refusal itself) and gives the new row; the row is
//   appended, the input cleared, "Add" disabled and the page marked changed.
// - Remove: the selected row goes, and the page is marked changed; nothing when none is selected.
// - OK: the rows' entries, in row order, become the document's list through EditSettings; a
//   failed save is told and keeps the sheet open.
#pragma once

#include <QPushButton>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "viewer/widgets/CPropertySheet.h"

class QLineEdit;

namespace tarvell {

class CIpAddressCtrl;
class CTarvellApp;
class CTarvellDoc;
class LinkLabel;
class Prompt;

class CListEditorPage : public CPropertyPage {
    Q_OBJECT
public:
    using ListField = std::vector<std::string> CTarvellDoc::*;

    void OnInitDialog() override;
    bool OnOK() override;
    // As a click on "Add" (the input is checked again) and on the remove link.
    void OnAdd();
    void OnRemove();

    QPushButton* AddButton() const { return add_; }
    QTreeWidget* List() const { return list_; }
    LinkLabel* RemoveLink() const { return remove_; }

protected:
    CListEditorPage(const QString& caption, CTarvellApp& app, Prompt& prompt, ListField field,
                    QWidget* parent);

    // The three controls, built and placed by the page (in the order of the tab chain, which is
    // the order they are made in); the kit connects them. "Add" starts disabled and follows
    // InputReady.
    void SetControls(QPushButton* add, QTreeWidget* list, LinkLabel* remove);
    // Each change of `edit` re-asks InputReady; with `enterAdds`, Enter adds while "Add" is on.
    void WatchInput(QLineEdit* edit, bool enterAdds);
    void WatchInput(CIpAddressCtrl* address);
    // The texts of one column, in row order.
    std::vector<std::string> ColumnTexts(int column) const;
    int SelectedRow() const;

    // Whether "Add" is offered for what the input holds now.
    virtual bool InputReady() const = 0;
    // The row for the input, or null after telling the user why it is refused.
    virtual QTreeWidgetItem* TypedRow() = 0;
    // Empties the input after an add.
    virtual void ClearInput() = 0;
    // Puts the input to its first state before the rows are shown.
    virtual void ResetInput() {}
    // The rows for the stored entries (the list is empty when called).
    virtual void Fill(const std::vector<std::string>& entries);
    // The row of one stored entry, and the stored entry of one row.
    virtual QTreeWidgetItem* RowOf(const std::string& entry) const;
    virtual std::string EntryOf(const QTreeWidgetItem& row) const;
    // The entries OK stores, in row order.
    virtual std::vector<std::string> Entries() const;
    // Takes row `row` away (a page with a model of its own forgets it there too).
    virtual void RemoveRow(int row);

    CTarvellApp& app_;
    Prompt& prompt_;
    const ListField field_;

private:
    QPushButton* add_ = nullptr;
    QTreeWidget* list_ = nullptr;
    LinkLabel* remove_ = nullptr;
};

}  // namespace tarvell
