// What the Devices, Nodes and Snmp panels and their one- or two-page sheets share: a panel of
// check boxes and spins over settings fields, the texts, groups and report lists of the pages,
// and the save of a page through EditSettings. The list editor page is CListEditorPage (with
// CAddressListPage for address lists), the panel with a list CListSettingsPanel. GUI thread
// only.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "viewer/core/settings/PanelFields.h"
#include "viewer/settings/CSettingsPanelBase.h"
#include "viewer/settings/SettingsSheets.h"
#include "viewer/widgets/CPropertySheet.h"

namespace tarvell {

class CTarvellApp;
class LinkLabel;
class Prompt;

// A panel whose check boxes (and spins, added by the subclass) are fields of the settings: each
// show loads them from the document; every click is a change. Save stores them.
class CFieldsSettingsPanel : public CSettingsPanelBase {
    Q_OBJECT
public:
    CFieldsSettingsPanel(const QString& title, CommandId category,
                         std::span<const PanelField> fields, const SheetServices& services,
                         QWidget* parent);

    void LoadPanel() override;
    const SettingsPanel* Document() const override { return &values_; }
    QCheckBox* Check(std::size_t field) const { return checks_.at(field); }

protected:
    // The check box of field `field` (a check field of the table).
    QCheckBox* AddFieldCheck(std::size_t field, QRect place);
    // The link that opens `sheet`, active while the field's box is ticked.
    LinkLabel* AddSheetLink(std::size_t field, const QString& sheet, QRect place);
    // Subclasses put loaded spin values into their spins.
    virtual void ShowValues() {}
    void SetValue(std::size_t field, std::int64_t value);
    std::int32_t Value(std::size_t field) const { return values_.Value(field); }

    SheetServices services_;

private:
    FieldsPanel values_;
    std::vector<QCheckBox*> checks_;
};

// ---- page pieces

QLabel* PageText(QWidget* page, const QString& text, QRect place, bool wrap = true);
// A framed group with its title on the frame.
void PageGroup(QWidget* page, const QString& title, QRect frame);
void PageLook(CPropertyPage* page);
// The look, and the page's opening text across its top.
void PageIntro(CPropertyPage* page, const QString& text);
// A report list: full-row selection, text in RGB(83, 83, 83), the columns given.
QTreeWidget* ReportList(QWidget* page, const std::vector<std::pair<QString, int>>& columns,
                        QRect place);
std::vector<std::string> ColumnTexts(const QTreeWidget* list, int column);
// A link in RGB(0, 70, 213), Tahoma 13, underlined.
LinkLabel* PageLink(CPropertyPage* page, const QString& text, QRect place);

// Saves through the one edit path; a failure is said and keeps the sheet open.
bool SavePage(CTarvellApp& app, Prompt& prompt, const std::function<void(CTarvellDoc&)>& edit);
// Says `message` (information) when not 0; true when it was 0.
bool Refuse(Prompt& prompt, unsigned message);

std::string Utf8(const QString& text);

}  // namespace tarvell
